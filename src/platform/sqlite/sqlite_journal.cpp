#include "platform/sqlite/sqlite_journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace kelmora::platform {

namespace {

constexpr int kSchemaVersion = 1;
// How long a change waits for another process (the commands that reprint) to let go of the file.
constexpr int kBusyMilliseconds = 3000;

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
    " creado INTEGER NOT NULL, desde INTEGER NOT NULL, actualizado INTEGER NOT NULL)",
    "CREATE INDEX IF NOT EXISTS documentos_estado ON documentos(estado, id)",
    "CREATE INDEX IF NOT EXISTS documentos_seguido ON documentos(seguido, id)",
    "CREATE INDEX IF NOT EXISTS documentos_creado ON documentos(creado)",
};

// Every column but the bytes, for the lists.
const QString kColumns = QStringLiteral(
    "id, respuesta, lista, posicion, clase, mesa, pedido, impresora_pedida, impresora, formato, trabajo, seguido,"
    " estado, motivo, reimpresion, creado, desde, actualizado");

qint64 toMs(const QDateTime& at) { return at.isValid() ? at.toMSecsSinceEpoch() : 0; }
// Qt SQL binds a null string as NULL, which the NOT NULL text columns refuse: an empty one is stored.
QVariant text(const QString& value) { return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value); }
QDateTime fromMs(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms); }

QString stateList(const QList<DocumentState>& states) {
    QStringList quoted;
    for (const DocumentState state : states) quoted.append(u'\'' + stateName(state) + u'\'');
    return quoted.join(u',');
}

JournalDocument readRow(const QSqlQuery& q, bool withBytes) {
    JournalDocument d;
    d.id = q.value(0).toLongLong();
    d.answerId = q.value(1).toLongLong();
    d.list = q.value(2).toString();
    d.position = q.value(3).toInt();
    d.kind = q.value(4).toString();
    d.table = q.value(5).toString();
    d.order = q.value(6).toString();
    d.requestedPrinter = q.value(7).toString();
    d.printer = q.value(8).toString();
    d.format = q.value(9).toString();
    d.jobId = q.value(10).toInt();
    d.followed = q.value(11).toInt() != 0;
    d.state = stateNamed(q.value(12).toString()).value_or(DocumentState::Failed);
    d.reason = q.value(13).toString();
    d.reprint = q.value(14).toInt() != 0;
    d.created = fromMs(q.value(15).toLongLong());
    d.since = fromMs(q.value(16).toLongLong());
    d.updated = fromMs(q.value(17).toLongLong());
    if (withBytes) d.bytes = q.value(18).toByteArray();
    return d;
}

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

bool SqliteJournal::prepare(const QString& path, QString* error) {
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
        return false;
    };
    // A damaged file fails here; so does one that another process holds with a write lock.
    if (!run(QStringLiteral("PRAGMA quick_check"))) return false;
    if (!q.next() || q.value(0).toString() != u"ok") {
        *error = QStringLiteral("el archivo está dañado");
        return false;
    }
    if (path != u":memory:" && !run(QStringLiteral("PRAGMA journal_mode=WAL"))) return false;
    if (!run(QStringLiteral("PRAGMA synchronous=FULL"))) return false;
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
        std::unique_ptr<SqliteJournal> journal(new SqliteJournal(connection, true));
        if (journal->prepare(path, &error)) {
            opened.journal = std::move(journal);
            return opened;
        }
        // Closed as it is: folding the log back would wait out the lock of whoever holds the file.
        QSqlDatabase::database(connection, false).close();
        journal.reset();
        // A file that cannot be used as it is: kept aside for whoever wants to look at it.
        if (QFile::exists(path)) {
            const QString aside = setAside(path, QDateTime::currentDateTime());
            if (!aside.isEmpty()) {
                std::unique_ptr<SqliteJournal> fresh(new SqliteJournal(connection, true));
                QString freshError;
                if (fresh->prepare(path, &freshError)) {
                    opened.journal = std::move(fresh);
                    opened.problem = QStringLiteral("El diario de trabajos %1 no se pudo usar (%2): se guardó aparte "
                                                    "como %3 y se empezó uno nuevo")
                                         .arg(QDir::toNativeSeparators(path), error, QDir::toNativeSeparators(aside));
                    return opened;
                }
                error = freshError;
            }
        }
    } else {
        error = QStringLiteral("la carpeta no se puede escribir");
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
    std::unique_ptr<SqliteJournal> journal(
        new SqliteJournal(QStringLiteral("kelmora-journal-") + QUuid::createUuid().toString(QUuid::Id128), true));
    QString why;
    if (!journal->prepare(path, &why)) {
        QSqlDatabase::database(journal->connection_, false).close();
        *error = QStringLiteral("No se puede leer el diario de trabajos %1: %2").arg(QDir::toNativeSeparators(path), why);
        return nullptr;
    }
    return journal;
}

qint64 SqliteJournal::addAnswer(const QString& payload, QList<JournalDocument>& documents, const QDateTime& at) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    db.transaction();
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
    return db.commit() ? answer : 0;
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

void SqliteJournal::update(const JournalDocument& d) {
    QSqlQuery q(QSqlDatabase::database(connection_));
    q.prepare(QStringLiteral(
        "UPDATE documentos SET impresora_pedida = ?, impresora = ?, formato = ?, datos = ?, trabajo = ?, seguido = ?,"
        " estado = ?, motivo = ?, reimpresion = ?, desde = ?, actualizado = ? WHERE id = ?"));
    for (const QVariant& value :
         {text(d.requestedPrinter), text(d.printer), text(d.format),
          d.bytes.isNull() ? QVariant(QMetaType(QMetaType::QByteArray)) : QVariant(d.bytes), QVariant(d.jobId),
          QVariant(d.followed ? 1 : 0), QVariant(stateName(d.state)), text(d.reason), QVariant(d.reprint ? 1 : 0),
          QVariant(toMs(d.since)), QVariant(toMs(d.updated)), QVariant(d.id)}) {
        q.addBindValue(value);
    }
    q.exec();
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
