#include "platform/sqlite/journal_salvage.h"

#include "platform/sqlite/journal_rows.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <QVariant>
#include <QtEndian>

#include <algorithm>

namespace kelmora::platform::journal_salvage {

using paper::DocumentState;
using paper::JournalDocument;
using paper::isUnderWay;
using paper::stateNamed;

namespace {

constexpr int kSalvageChunk = 200;
// Ids looked up one by one past damaged pages, before leaping in growing strides: a journal holds
// some thousands of rows, and a damaged file should not hold up the start for long.
constexpr int kSalvageLookups = 5000;

// The unfinished documents as the indexes name them, apart from the table's pages; nullopt when
// they cannot be read whole.
std::optional<QSet<qint64>> unfinishedInIndexes(QSqlDatabase& db, const QString& states) {
    QSet<qint64> ids;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    for (const QString& sql :
         {QStringLiteral("SELECT id FROM documentos INDEXED BY documentos_estado WHERE estado IN (") + states + u')',
          QStringLiteral("SELECT id FROM documentos INDEXED BY documentos_seguido WHERE seguido = 1")}) {
        if (!q.exec(sql)) return std::nullopt;
        while (q.next()) ids.insert(q.value(0).toLongLong());
        if (q.lastError().isValid()) return std::nullopt;
    }
    return ids;
}

void readDamaged(QSqlDatabase& db, qint64 knownLast, Salvage& s) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // Garbage in a page is more often refused than read as rows.
    q.exec(QStringLiteral("PRAGMA cell_size_check=ON"));
    // The highest ids it gave, from whatever still reads: the sequence, the last rows, an index.
    // A garbled page can yield any number; one no journal reaches would stop ids for good.
    constexpr qint64 kPlausibleId = 1'000'000'000'000;
    const auto raise = [](qint64& highest, const QVariant& id) {
        if (id.toLongLong() <= kPlausibleId) highest = std::max(highest, id.toLongLong());
    };
    if (q.exec(QStringLiteral("SELECT name, seq FROM sqlite_sequence"))) {
        while (q.next()) {
            if (q.value(0).toString() == u"respuestas") raise(s.lastAnswer, q.value(1));
            if (q.value(0).toString() == u"documentos") raise(s.lastDocument, q.value(1));
        }
    }
    for (const char* from : {"documentos", "documentos INDEXED BY documentos_estado",
                             "documentos INDEXED BY documentos_seguido", "documentos INDEXED BY documentos_creado"}) {
        if (q.exec(QStringLiteral("SELECT MAX(id) FROM ") + QLatin1String(from)) && q.next()) {
            raise(s.lastDocument, q.value(0));
        }
    }
    if (q.exec(QStringLiteral("SELECT MAX(id) FROM respuestas")) && q.next()) raise(s.lastAnswer, q.value(0));
    q.finish();
    // How far to look past damage.
    const qint64 end = std::max(knownLast, s.lastDocument);

    const QString owedStates = journal_rows::stateList(
        {DocumentState::Pending, DocumentState::Sending, DocumentState::Sent, DocumentState::Held});
    const QString unfinished = QStringLiteral("estado IN (") + owedStates + QStringLiteral(") OR seguido = 1");
    // The bytes only of the documents carried over: fewer pages to read, fewer to fail.
    QSqlQuery scan(db);
    scan.setForwardOnly(true);
    QSqlQuery one(db);
    one.setForwardOnly(true);
    const auto prepare = [&](const QString& rowColumns) {
        const QString columns =
            rowColumns + QStringLiteral(", CASE WHEN ") + unfinished + QStringLiteral(" THEN datos END");
        return scan.prepare(QStringLiteral("SELECT ") + columns +
                            QStringLiteral(" FROM documentos NOT INDEXED WHERE id > ? ORDER BY id LIMIT %1")
                                .arg(kSalvageChunk)) &&
               one.prepare(QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM documentos WHERE id = ?"));
    };
    // A journal of an earlier version has no count of lost jobs: none, for its rows.
    if (!prepare(journal_rows::kColumns) &&
        !prepare(QString(journal_rows::kColumns).replace(QStringLiteral("perdidas"), QStringLiteral("0")))) {
        return;
    }
    s.readable = true;

    qint64 after = 0;  // every id up to here is read or given up
    QSet<qint64> carried;
    // A row from a garbled page may read without error: one out of order or with no state is refused.
    const auto take = [&](const QSqlQuery& row, bool inOrder = true) {
        if ((inOrder && row.value(0).toLongLong() <= after) || row.value(1).toLongLong() <= 0 ||
            !stateNamed(row.value(12).toString())) {
            return false;
        }
        const JournalDocument d = journal_rows::readRow(row, true);
        after = std::max(after, d.id);
        s.lastDocument = std::max(s.lastDocument, d.id);
        s.lastAnswer = std::max(s.lastAnswer, d.answerId);
        if (isUnderWay(d.state) || d.state == DocumentState::Held || d.followed) {
            s.answers[d.answerId].documents.append(d);
            carried.insert(d.id);
        }
        return true;
    };
    int lookups = 0;
    qint64 stride = 1;
    for (;;) {
        scan.bindValue(0, after);
        int rows = 0;
        bool sound = scan.exec();
        while (sound && scan.next()) {
            sound = take(scan);
            if (sound) ++rows;
        }
        sound = sound && !scan.lastError().isValid();
        scan.finish();
        s.incomplete = s.incomplete || !sound;
        if (sound && rows < kSalvageChunk) break;  // the table ends here
        if (sound) continue;
        if (rows > 0) stride = 1;
        // The row past `after`, or its page, cannot be read: the ids past it are looked up one by
        // one, a row found resuming the scan, and once that has taken long, leapt over.
        if (after >= end) break;
        if (lookups < kSalvageLookups) {
            ++lookups;
            const qint64 id = after + 1;
            one.bindValue(0, id);
            bool failed = !one.exec();
            if (!failed && one.next()) {
                failed = !take(one);
            } else {
                failed = failed || one.lastError().isValid();
            }
            if (failed) ++s.unreadable;
            after = id;
            one.finish();
        } else {
            after = std::min(end, after + stride);
            stride *= 2;
            s.leapt = true;
        }
    }

    // Those the indexes name and the scan missed, leaping or refusing a row, get one more look.
    if (const std::optional<QSet<qint64>> owed = unfinishedInIndexes(db, owedStates)) {
        int unread = 0;
        QList<qint64> missed(owed->cbegin(), owed->cend());
        std::sort(missed.begin(), missed.end());
        for (const qint64 id : std::as_const(missed)) {
            if (carried.contains(id)) continue;
            one.bindValue(0, id);
            if (!one.exec() || !one.next() || !take(one, false) || !carried.contains(id)) ++unread;
            one.finish();
        }
        s.unfinishedUnread = unread;
    }

    QSqlQuery answer(db);
    answer.setForwardOnly(true);
    answer.prepare(QStringLiteral("SELECT recibida, carga FROM respuestas WHERE id = ?"));
    for (auto it = s.answers.begin(); it != s.answers.end(); ++it) {
        answer.bindValue(0, it.key());
        if (answer.exec() && answer.next() && !answer.value(1).isNull()) {
            it->read = true;
            it->received = journal_rows::fromMs(answer.value(0).toLongLong());
            it->payload = answer.value(1).toString();
        }
        answer.finish();
    }
}

QString counted(qint64 n, const char* one, const char* many) {
    return QString::number(n) + u' ' + QString::fromUtf8(n == 1 ? one : many);
}

}  // namespace

qint64 readLastGiven(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    bool isNumber = false;
    const qint64 id = file.read(32).trimmed().toLongLong(&isNumber);
    return isNumber && id > 0 ? id : 0;
}

bool writtenOnlyInLog(const QString& path) {
    if (QFileInfo(path + QStringLiteral("-wal")).size() <= 0) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return !file.exists();
    return file.read(16) != QByteArray("SQLite format 3\0", 16);
}

Salvage salvage(const QString& path, qint64 knownLast) {
    Salvage s;
    const QString connection = QStringLiteral("kelmora-salvage-") + QUuid::createUuid().toString(QUuid::Id128);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) readDamaged(db, knownLast, s);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return s;
}

Salvage salvageLog(const QString& aside, qint64 knownLast) {
    QTemporaryDir scratch;
    QFile log(aside + QStringLiteral("-wal"));
    if (!scratch.isValid() || !log.open(QIODevice::ReadOnly)) return {};
    const QByteArray header = log.peek(32);
    qint64 pageSize = header.size() == 32 ? qFromBigEndian<quint32>(header.constData() + 8) : 0;
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0) pageSize = 4096;
    const QString copy = scratch.filePath(QStringLiteral("copia.db"));
    QFile main(aside);
    QByteArray start = main.open(QIODevice::ReadOnly) ? main.read(pageSize) : QByteArray();
    start.append(QByteArray(pageSize - start.size(), '\0'));
    QFile target(copy);
    if (!target.open(QIODevice::WriteOnly) || target.write(start) != start.size()) return {};
    while (!main.atEnd()) target.write(main.read(1 << 20));
    target.close();
    if (!QFile::copy(log.fileName(), copy + QStringLiteral("-wal"))) return {};
    return salvage(copy, knownLast);
}

QString idRange(qint64 from, qint64 to) {
    return from == to ? QStringLiteral("el %1").arg(to) : QStringLiteral("del %1 al %2").arg(from).arg(to);
}

QString carryOver(Journal& journal, const Salvage& s, qint64 lastGiven) {
    if (!s.readable) return QStringLiteral("no se pudo leer nada de él");
    qint64 documents = 0;
    qint64 answers = 0;
    qint64 withoutText = 0;
    qint64 unwritten = 0;
    for (auto it = s.answers.cbegin(); it != s.answers.cend(); ++it) {
        // An answer whose row is lost keeps its id and an empty text: its documents print without it.
        const QDateTime received = it->read ? it->received : it->documents.first().created;
        if (journal.restore(it.key(), received, it->payload, it->documents)) {
            documents += it->documents.size();
            ++answers;
            if (!it->read) ++withoutText;
        } else {
            unwritten += it->documents.size();
        }
    }
    QString line = documents == 0 ? QStringLiteral("no se recuperó ningún documento sin terminar")
                                  : QStringLiteral("%1 %2 sin terminar de %3")
                                        .arg(documents == 1 ? QStringLiteral("se recuperó")
                                                            : QStringLiteral("se recuperaron"),
                                             counted(documents, "documento", "documentos"),
                                             counted(answers, "respuesta", "respuestas"));
    if (withoutText > 0) line += QStringLiteral(" (%1 sin su texto)").arg(withoutText);
    if (s.unfinishedUnread) {
        if (*s.unfinishedUnread > 0) {
            line += QStringLiteral(", %1 sin terminar no se %2 leer")
                        .arg(counted(*s.unfinishedUnread, "documento", "documentos"),
                             *s.unfinishedUnread == 1 ? QStringLiteral("pudo") : QStringLiteral("pudieron"));
        }
    } else if (s.unreadable > 0) {
        line += QStringLiteral(", %1%2 no se %3 leer")
                    .arg(s.leapt ? QStringLiteral("al menos ") : QString(),
                         counted(s.unreadable, "documento", "documentos"),
                         s.unreadable == 1 && !s.leapt ? QStringLiteral("pudo") : QStringLiteral("pudieron"));
    } else if (s.incomplete) {
        line += QStringLiteral(", y parte de él no se pudo leer");
    }
    if (unwritten > 0) {
        line += QStringLiteral(", %1 no se %2 escribir en el nuevo")
                    .arg(counted(unwritten, "documento", "documentos"),
                         unwritten == 1 ? QStringLiteral("pudo") : QStringLiteral("pudieron"));
    }
    if (lastGiven > s.lastDocument) {
        line += QStringLiteral(", y faltaban sus últimos documentos (%1)").arg(idRange(s.lastDocument + 1, lastGiven));
    }
    return line;
}

}  // namespace kelmora::platform::journal_salvage
