#include "platform/sqlite/sqlite_journal.h"

#include "platform/files.h"
#include "platform/sqlite/journal_rows.h"
#include "platform/sqlite/journal_salvage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

namespace kelmora::platform {

using paper::DocumentState;
using paper::JournalDocument;
using paper::stateName;

using journal_rows::kColumns;
using journal_rows::readRow;
using journal_rows::stateList;
using journal_rows::text;
using journal_rows::toMs;

namespace {

// 2: documentos.perdidas, how often the printing system forgot the document's job.
constexpr int kSchemaVersion = 2;
// How long a change waits for another process (the commands that reprint) to let go of the file.
constexpr int kBusyMilliseconds = 3000;
// Why a file is refused when its check finds damage; said once, the line about it needs no more.
const QString kDamaged = QStringLiteral("el archivo está dañado");

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS respuestas ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " recibida INTEGER NOT NULL,"
    " carga TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS documentos ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " respuesta INTEGER NOT NULL REFERENCES respuestas(id),"
    " lista TEXT NOT NULL, posicion INTEGER NOT NULL, clase TEXT NOT NULL,"
    " mesa TEXT NOT NULL DEFAULT '', pedido TEXT NOT NULL DEFAULT '',"
    " impresora_pedida TEXT NOT NULL DEFAULT '', impresora TEXT NOT NULL DEFAULT '',"
    " formato TEXT NOT NULL DEFAULT '', datos BLOB,"
    " trabajo INTEGER NOT NULL DEFAULT 0, seguido INTEGER NOT NULL DEFAULT 0,"
    " estado TEXT NOT NULL, motivo TEXT NOT NULL DEFAULT '', reimpresion INTEGER NOT NULL DEFAULT 0,"
    " creado INTEGER NOT NULL, desde INTEGER NOT NULL, actualizado INTEGER NOT NULL,"
    " perdidas INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS documentos_estado ON documentos(estado, id)",
    "CREATE INDEX IF NOT EXISTS documentos_seguido ON documentos(seguido, id)",
    "CREATE INDEX IF NOT EXISTS documentos_creado ON documentos(creado)",
};

// Moves a journal file that cannot be used out of the way, with its WAL companions; the name it
// got, empty when even that failed.
QString setAside(const QString& path, const QDateTime& now) {
    const QString aside = path + QStringLiteral(".danado-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    if (!QFile::rename(path, aside)) return {};
    for (const char* suffix : {"-wal", "-shm"}) {
        if (QFile::exists(path + QLatin1String(suffix))) QFile::rename(path + QLatin1String(suffix), aside + QLatin1String(suffix));
    }
    return aside;
}

}  // namespace

SqliteJournal::SqliteJournal(QString connection, bool durable)
    : connection_(std::move(connection)), durable_(durable) {}

SqliteJournal::~SqliteJournal() {
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        if (db.isOpen()) {
            // Folds the WAL back into the file, so a clean stop leaves one file behind.
            QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection_);
}

bool SqliteJournal::prepare(const QString& path, QString* error, bool* damaged) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyMilliseconds));
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    const auto run = [&](const QString& sql) {
        if (q.exec(sql)) return true;
        *error = q.lastError().text();
        // SQLITE_CORRUPT, SQLITE_NOTADB: worth reading what is left; a lock (SQLITE_BUSY) is not damage.
        const QString code = q.lastError().nativeErrorCode();
        if (damaged && (code == u"11" || code == u"26")) *damaged = true;
        return false;
    };
    // A damaged file fails here; so does one that another process holds with a write lock.
    if (!run(QStringLiteral("PRAGMA quick_check"))) return false;
    if (!q.next() || q.value(0).toString() != u"ok") {
        *error = kDamaged;
        if (damaged) *damaged = true;
        return false;
    }
    if (path != u":memory:" && !run(QStringLiteral("PRAGMA journal_mode=WAL"))) return false;
    if (!run(QStringLiteral("PRAGMA synchronous=FULL"))) return false;
    synchronousFull_ = true;
    if (!run(QStringLiteral("BEGIN IMMEDIATE"))) return false;
    for (const char* statement : kSchema) {
        if (!run(QString::fromLatin1(statement))) {
            q.exec(QStringLiteral("ROLLBACK"));
            return false;
        }
    }
    if (!run(QStringLiteral("PRAGMA user_version"))) return false;
    const int version = q.next() ? q.value(0).toInt() : 0;
    if (version > kSchemaVersion) {
        q.exec(QStringLiteral("ROLLBACK"));
        *error = QStringLiteral("lo escribió una versión más nueva del programa");
        return false;
    }
    if (version == 1 &&
        !run(QStringLiteral("ALTER TABLE documentos ADD COLUMN perdidas INTEGER NOT NULL DEFAULT 0"))) {
        q.exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    if (!run(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion))) return false;
    return run(QStringLiteral("COMMIT"));
}

SqliteJournal::Opened SqliteJournal::open(const QString& path) {
    const QString connection = QStringLiteral("kelmora-journal-") + QUuid::createUuid().toString(QUuid::Id128);
    Opened opened;
    QString error;
    const QFileInfo info(path);
    const bool folderWritable = QFileInfo(info.absolutePath()).isWritable() && (!info.exists() || info.isWritable());
    if (folderWritable) {
        const QString lastGivenPath = path + kLastGivenSuffix;
        const qint64 lastGiven = journal_salvage::readLastGiven(lastGivenPath);
        const bool onlyInLog = journal_salvage::writtenOnlyInLog(path);
        // Damaged, rather than locked or from a newer program; and what is known of the damage.
        bool damaged = onlyInLog;
        QString damage;
        if (onlyInLog) {
            damage = QStringLiteral("vacío, con lo último escrito solo en su -wal");
            // An empty one where it was deleted, to be set aside with its log like a file cut short.
            if (!QFile::exists(path)) QFile(path).open(QIODevice::WriteOnly);
        } else {
            std::unique_ptr<SqliteJournal> journal(new SqliteJournal(connection, true));
            if (journal->prepare(path, &error, &damaged)) {
                journal->keepLastGiven(lastGivenPath, lastGiven);
                const qint64 last = journal->lastIds().document;
                journal->noteGiven(last);
                if (lastGiven > last) {
                    // Its log lost, or the file replaced by an older copy: what it held is gone, but
                    // its ids were given to print jobs and are not given again.
                    journal->continueAbove(0, lastGiven);
                    opened.problem =
                        QStringLiteral("El diario de trabajos %1 perdió sus últimos documentos (%2): "
                                       "los que no se hubieran impreso no se imprimirán")
                            .arg(QDir::toNativeSeparators(path), journal_salvage::idRange(last + 1, lastGiven));
                }
                opened.journal = std::move(journal);
                return opened;
            }
            // Closed as it is: folding the log back would wait out the lock of whoever holds the file.
            QSqlDatabase::database(connection, false).close();
            journal.reset();
            if (damaged && error != kDamaged) damage = error;
        }
        // A file that cannot be used as it is: kept aside for whoever wants to look at it, and a
        // damaged one first read for the documents the service still owes to paper.
        if (QFile::exists(path)) {
            std::optional<journal_salvage::Salvage> saved;
            if (damaged && !onlyInLog) saved = journal_salvage::salvage(path, lastGiven);
            const QString aside = setAside(path, QDateTime::currentDateTime());
            if (!aside.isEmpty()) {
                if (onlyInLog) saved = journal_salvage::salvageLog(aside, lastGiven);
                std::unique_ptr<SqliteJournal> fresh(new SqliteJournal(connection, true));
                QString freshError;
                if (fresh->prepare(path, &freshError)) {
                    fresh->keepLastGiven(lastGivenPath, lastGiven);
                    const QString native = QDir::toNativeSeparators(path);
                    if (saved) {
                        const QString carried = journal_salvage::carryOver(*fresh, *saved, lastGiven);
                        fresh->continueAbove(saved->lastAnswer, std::max(saved->lastDocument, lastGiven));
                        const QString why = damage.isEmpty() ? QString() : QStringLiteral(" (") + damage + u')';
                        opened.problem = QStringLiteral("El diario de trabajos %1 estaba dañado%2: se guardó "
                                                        "aparte como %3 y se empezó uno nuevo; %4")
                                             .arg(native, why, QDir::toNativeSeparators(aside), carried);
                    } else {
                        fresh->continueAbove(0, lastGiven);
                        opened.problem = QStringLiteral("El diario de trabajos %1 no se pudo usar (%2): se guardó "
                                                        "aparte como %3 y se empezó uno nuevo")
                                             .arg(native, error, QDir::toNativeSeparators(aside));
                    }
                    opened.journal = std::move(fresh);
                    return opened;
                }
                error = freshError;
            }
        }
        if (onlyInLog && error.isEmpty()) error = damage;
    } else if (const QString file = accessProblem(path, true); !file.isEmpty()) {
        // The folder may be fine: the file is someone else's (a test run as root, say).
        error = QStringLiteral("el archivo ") + file;
    } else {
        const QString folder = accessProblem(info.absolutePath(), true);
        error = folder.isEmpty() ? QStringLiteral("la carpeta no se puede escribir") : QStringLiteral("la carpeta ") + folder;
    }
    std::unique_ptr<SqliteJournal> memory(new SqliteJournal(connection, false));
    QString memoryError;
    memory->prepare(QStringLiteral(":memory:"), &memoryError);
    opened.journal = std::move(memory);
    opened.problem = QStringLiteral("No se puede escribir el diario de trabajos %1 (%2): se imprime sin diario, y lo "
                                    "que quede sin imprimir se pierde si el servicio se detiene")
                         .arg(QDir::toNativeSeparators(path), error);
    return opened;
}

std::unique_ptr<SqliteJournal> SqliteJournal::openExisting(const QString& path, QString* error) {
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("No hay diario de trabajos en %1").arg(QDir::toNativeSeparators(path));
        return nullptr;
    }
    // Left for the service to set aside: opening it would delete the log that holds its data.
    if (journal_salvage::writtenOnlyInLog(path)) {
        *error = QStringLiteral("No se puede leer el diario de trabajos %1: está vacío, con lo último escrito "
                                "solo en su -wal")
                     .arg(QDir::toNativeSeparators(path));
        return nullptr;
    }
    std::unique_ptr<SqliteJournal> journal(
        new SqliteJournal(QStringLiteral("kelmora-journal-") + QUuid::createUuid().toString(QUuid::Id128), true));
    QString why;
    if (!journal->prepare(path, &why)) {
        QSqlDatabase::database(journal->connection_, false).close();
        *error = QStringLiteral("No se puede leer el diario de trabajos %1: %2").arg(QDir::toNativeSeparators(path), why);
        return nullptr;
    }
    journal->keepLastGiven(path + kLastGivenSuffix, journal_salvage::readLastGiven(path + kLastGivenSuffix));
    return journal;
}

void SqliteJournal::keepLastGiven(const QString& path, qint64 given) {
    lastGivenPath_ = path;
    lastGiven_ = given;
}

void SqliteJournal::noteGiven(qint64 document) {
    if (lastGivenPath_.isEmpty() || document <= lastGiven_) return;
    // Replaced whole, so that a crash leaves the old number or the new one; a number that lags
    // only misses a loss, never invents one. No sync: the journal's own commit came first.
    const QString temporary = lastGivenPath_ + u'.' + QString::number(QCoreApplication::applicationPid());
    QFile file(temporary);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    written = written && file.write(QByteArray::number(document) + '\n') > 0;
    file.close();
    std::error_code failed;
    if (written) {
        std::filesystem::rename(QFileInfo(temporary).filesystemAbsoluteFilePath(),
                                QFileInfo(lastGivenPath_).filesystemAbsoluteFilePath(), failed);
    }
    if (!written || failed) {
        QFile::remove(temporary);
        return;
    }
    lastGiven_ = document;
}

void SqliteJournal::continueAbove(qint64 answer, qint64 document) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery q(db);
    for (const auto& [table, id] : {std::pair{QStringLiteral("respuestas"), answer},
                                    std::pair{QStringLiteral("documentos"), document}}) {
        if (id <= 0) continue;
        q.prepare(QStringLiteral("UPDATE sqlite_sequence SET seq = MAX(seq, ?) WHERE name = ?"));
        q.addBindValue(id);
        q.addBindValue(table);
        if (q.exec() && q.numRowsAffected() == 0) {
            q.prepare(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)"));
            q.addBindValue(table);
            q.addBindValue(id);
            q.exec();
        }
    }
    noteGiven(lastIds().document);
}

qint64 SqliteJournal::addAnswer(const QString& payload, QList<JournalDocument>& documents, const QDateTime& at) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    setDurable(db, true);
    if (!db.transaction()) return 0;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO respuestas (recibida, carga) VALUES (?, ?)"));
    q.addBindValue(toMs(at));
    q.addBindValue(text(payload));
    if (!q.exec()) {
        db.rollback();
        return 0;
    }
    const qint64 answer = q.lastInsertId().toLongLong();
    q.prepare(QStringLiteral(
        "INSERT INTO documentos (respuesta, lista, posicion, clase, mesa, pedido, impresora_pedida, estado, reimpresion,"
        " creado, desde, actualizado) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (JournalDocument& d : documents) {
        d.answerId = answer;
        d.created = d.since = d.updated = at;
        for (const QVariant& value :
             {QVariant(answer), text(d.list), QVariant(d.position), text(d.kind), text(d.table),
              text(d.order), text(d.requestedPrinter), QVariant(stateName(d.state)), QVariant(d.reprint ? 1 : 0),
              QVariant(toMs(at)), QVariant(toMs(at)), QVariant(toMs(at))}) {
            q.addBindValue(value);
        }
        if (!q.exec()) {
            db.rollback();
            return 0;
        }
        d.id = q.lastInsertId().toLongLong();
    }
    if (!db.commit()) return 0;
    if (!documents.isEmpty()) noteGiven(documents.constLast().id);
    return answer;
}

QString SqliteJournal::answerPayload(qint64 answerId) {
    QSqlQuery q(QSqlDatabase::database(connection_));
    q.prepare(QStringLiteral("SELECT carga FROM respuestas WHERE id = ?"));
    q.addBindValue(answerId);
    return q.exec() && q.next() ? q.value(0).toString() : QString();
}

QList<JournalDocument> SqliteJournal::select(const QString& where, const QVariantList& values, const QString& order) {
    QSqlQuery q(QSqlDatabase::database(connection_));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT ") + kColumns + QStringLiteral(" FROM documentos WHERE ") + where +
              QStringLiteral(" ORDER BY ") + order);
    for (const QVariant& value : values) q.addBindValue(value);
    QList<JournalDocument> found;
    if (!q.exec()) return found;
    while (q.next()) found.append(readRow(q, false));
    return found;
}

std::optional<JournalDocument> SqliteJournal::document(qint64 id) {
    QSqlQuery q(QSqlDatabase::database(connection_));
    q.prepare(QStringLiteral("SELECT ") + kColumns + QStringLiteral(", datos FROM documentos WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec() || !q.next()) return std::nullopt;
    return readRow(q, true);
}

QList<JournalDocument> SqliteJournal::documentsIn(const QList<DocumentState>& states) {
    return select(QStringLiteral("estado IN (") + stateList(states) + u')', {}, QStringLiteral("id"));
}

QList<JournalDocument> SqliteJournal::followedDocuments() {
    return select(QStringLiteral("seguido = 1"), {}, QStringLiteral("id"));
}

QList<JournalDocument> SqliteJournal::recentDocuments(const QDateTime& since, bool onlyNotPrinted) {
    QString where = QStringLiteral("creado >= ?");
    if (onlyNotPrinted) where += QStringLiteral(" AND estado NOT IN ('impreso', 'descartado')");
    return select(where, {toMs(since)}, QStringLiteral("id DESC"));
}

int SqliteJournal::unprintedCount() {
    QSqlQuery q(QSqlDatabase::database(connection_));
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM documentos WHERE estado IN (") +
                stateList({DocumentState::Held, DocumentState::Failed, DocumentState::Expired}) + u')') ||
        !q.next()) {
        return 0;
    }
    return q.value(0).toInt();
}

// A document copied from a list comes without its bytes: those already stored stay.
bool SqliteJournal::update(const JournalDocument& d, bool durable) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    setDurable(db, durable);
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "UPDATE documentos SET impresora_pedida = ?, impresora = ?, formato = ?, datos = COALESCE(?, datos),"
        " trabajo = ?, seguido = ?, estado = ?, motivo = ?, reimpresion = ?, desde = ?, actualizado = ?, perdidas = ?"
        " WHERE id = ?"));
    for (const QVariant& value :
         {text(d.requestedPrinter), text(d.printer), text(d.format),
          d.bytes.isNull() ? QVariant(QMetaType(QMetaType::QByteArray)) : QVariant(d.bytes), QVariant(d.jobId),
          QVariant(d.followed ? 1 : 0), QVariant(stateName(d.state)), text(d.reason), QVariant(d.reprint ? 1 : 0),
          QVariant(toMs(d.since)), QVariant(toMs(d.updated)), QVariant(d.lostJobs), QVariant(d.id)}) {
        q.addBindValue(value);
    }
    return q.exec();
}

void SqliteJournal::setDurable(QSqlDatabase& db, bool durable) {
    // In WAL mode a commit under NORMAL reaches the disk with the next one under FULL: the follow-up
    // states of a rush cost no sync of their own, and a process that dies loses none of them.
    if (!durable_ || durable == synchronousFull_) return;
    QSqlQuery(db).exec(durable ? QStringLiteral("PRAGMA synchronous=FULL") : QStringLiteral("PRAGMA synchronous=NORMAL"));
    synchronousFull_ = durable;
}

bool SqliteJournal::restore(qint64 answerId, const QDateTime& received, const QString& payload,
                            const QList<JournalDocument>& documents) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    setDurable(db, true);
    if (!db.transaction()) return false;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO respuestas (id, recibida, carga) VALUES (?, ?, ?)"));
    q.addBindValue(answerId);
    q.addBindValue(toMs(received));
    q.addBindValue(text(payload));
    bool ok = q.exec();
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO documentos (id, respuesta, lista, posicion, clase, mesa, pedido, impresora_pedida,"
        " impresora, formato, datos, trabajo, seguido, estado, motivo, reimpresion, creado, desde, actualizado,"
        " perdidas) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const JournalDocument& d : documents) {
        if (!ok) break;
        for (const QVariant& value :
             {QVariant(d.id), QVariant(answerId), text(d.list), QVariant(d.position), text(d.kind), text(d.table),
              text(d.order), text(d.requestedPrinter), text(d.printer), text(d.format),
              d.bytes.isNull() ? QVariant(QMetaType(QMetaType::QByteArray)) : QVariant(d.bytes), QVariant(d.jobId),
              QVariant(d.followed ? 1 : 0), QVariant(stateName(d.state)), text(d.reason), QVariant(d.reprint ? 1 : 0),
              QVariant(toMs(d.created)), QVariant(toMs(d.since)), QVariant(toMs(d.updated)), QVariant(d.lostJobs)}) {
            q.addBindValue(value);
        }
        ok = q.exec();
    }
    if (ok && db.commit()) {
        qint64 highest = 0;
        for (const JournalDocument& d : documents) highest = std::max(highest, d.id);
        noteGiven(highest);
        return true;
    }
    db.rollback();
    return false;
}

Journal::LastIds SqliteJournal::lastIds() {
    // The sequence remembers ids of rows pruned since; the rows, ids written without it.
    LastIds last;
    QSqlQuery q(QSqlDatabase::database(connection_));
    if (q.exec(QStringLiteral("SELECT (SELECT MAX(id) FROM respuestas), (SELECT MAX(id) FROM documentos),"
                              " (SELECT seq FROM sqlite_sequence WHERE name = 'respuestas'),"
                              " (SELECT seq FROM sqlite_sequence WHERE name = 'documentos')")) &&
        q.next()) {
        last.answer = std::max(q.value(0).toLongLong(), q.value(2).toLongLong());
        last.document = std::max(q.value(1).toLongLong(), q.value(3).toLongLong());
    }
    return last;
}

int SqliteJournal::prune(const QDateTime& before) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    db.transaction();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("DELETE FROM documentos WHERE actualizado < ? AND seguido = 0 AND estado IN (") +
              stateList({DocumentState::Printed, DocumentState::Discarded, DocumentState::Expired,
                         DocumentState::Failed}) +
              u')');
    q.addBindValue(toMs(before));
    const int removed = q.exec() ? q.numRowsAffected() : 0;
    q.exec(QStringLiteral("DELETE FROM respuestas WHERE id NOT IN (SELECT DISTINCT respuesta FROM documentos)"));
    db.commit();
    return removed;
}

}  // namespace kelmora::platform
