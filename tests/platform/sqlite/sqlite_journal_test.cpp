// The journal in SQLite: what it keeps across a restart, what pruning forgets, and how it copes
// with a file it cannot use.
#include "platform/sqlite/sqlite_journal.h"

#include "json/qt_printers.h"
#include "shell/diario_memoria.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <QVariant>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include <unistd.h>

namespace kelmora::platform {

using paper::DocumentState;
using paper::JournalDocument;
using paper::stateName;
namespace {

const QDateTime kAt(QDate(2024, 3, 3), QTime(20, 15, 30, 250));

JournalDocument document(const QString& list, int position, const QString& kind, const QString& table,
                         const QString& order, const QString& printer) {
    JournalDocument d;
    d.list = list;
    d.position = position;
    d.kind = kind;
    d.table = table;
    d.order = order;
    d.requestedPrinter = printer;
    return d;
}

QList<JournalDocument> threeDocuments() {
    return {document(QStringLiteral("comanda"), 0, QStringLiteral("Comanda"), QStringLiteral("Mesa 7"),
                     QStringLiteral("3001"), QStringLiteral("Cocina")),
            document(QStringLiteral("anulaciones"), 0, QStringLiteral("Anulacion"), QStringLiteral("Mesa 4"), {},
                     QStringLiteral("Bar")),
            document(QStringLiteral("abrirCajon"), 0, QStringLiteral("Cajon"), {}, {}, QStringLiteral("Facturas"))};
}

// Every field, so that two documents compare whole.
QString describe(const JournalDocument& d) {
    return QStringLiteral("%1 a%2 %3#%4 %5 [%6] [%7] want=%8 got=%9 fmt=%10 bytes=%11 job=%12 followed=%13 %14 (%15) "
                          "reprint=%16 created=%17 since=%18 updated=%19")
        .arg(d.id)
        .arg(d.answerId)
        .arg(d.list)
        .arg(d.position)
        .arg(d.kind, d.table, d.order, d.requestedPrinter, d.printer, d.format,
             QString::fromLatin1(d.bytes.toHex()))
        .arg(d.jobId)
        .arg(d.followed)
        .arg(stateName(d.state), d.reason)
        .arg(d.reprint)
        .arg(d.created.toString(Qt::ISODateWithMs), d.since.toString(Qt::ISODateWithMs),
             d.updated.toString(Qt::ISODateWithMs));
}

QStringList describe(const QList<JournalDocument>& documents) {
    QStringList lines;
    for (const JournalDocument& d : documents) lines << describe(d);
    return lines;
}

QList<qint64> ids(const QList<JournalDocument>& documents) {
    QList<qint64> list;
    for (const JournalDocument& d : documents) list << d.id;
    return list;
}

// A connection of its own to the file, as another process would have.
class OtherConnection {
public:
    explicit OtherConnection(const QString& path)
        : name_(QStringLiteral("other-") + QUuid::createUuid().toString(QUuid::Id128)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
    }
    ~OtherConnection() {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }
    // The first column of the first row, or the error's text.
    QString query(const QString& sql) {
        QSqlQuery q(QSqlDatabase::database(name_));
        if (!q.exec(sql)) return QStringLiteral("error: ") + q.lastError().text();
        return q.next() ? q.value(0).toString() : QString();
    }

private:
    QString name_;
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The files the journal set aside in a folder.
QStringList setAside(const QDir& dir) {
    return dir.entryList({SqliteJournal::kFileName + QStringLiteral(".danado-*")}, QDir::Files, QDir::Name);
}

// Everything the journal was told survives closing and opening it again: the answer's text, the
// documents with their bytes, states, jobs and times; the lists give them in their order and
// without bytes.
TEST(SqliteJournal, KeepsAnswersDocumentsAndStatesAcrossReopening) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(SqliteJournal::kFileName);
    const QString payload = QStringLiteral(u"{\"comanda\":[{\"nomMesa\":\"Mesa ñ \U0001F372\",\"nota\":\"a\\\"b\"}]}");
    QByteArray bytes("\x1b\x70\x00\x3c\xf0", 5);
    for (int i = 0; i < 256; ++i) bytes.append(static_cast<char>(i));

    QList<JournalDocument> first = threeDocuments();
    QList<JournalDocument> second{document(QStringLiteral("factura"), 2, QStringLiteral("Factura"),
                                           QStringLiteral("Mesa 9"), QStringLiteral("90"), {})};
    qint64 firstAnswer = 0;
    qint64 secondAnswer = 0;
    QStringList expected;
    {
        SqliteJournal::Opened opened = SqliteJournal::open(path);
        ASSERT_TRUE(opened.journal);
        EXPECT_TRUE(opened.journal->durable());
        EXPECT_EQ(opened.problem, QString());
        SqliteJournal& journal = *opened.journal;

        firstAnswer = journal.addAnswer(payload, first, kAt);
        secondAnswer = journal.addAnswer(QStringLiteral("{}"), second, kAt.addSecs(60));
        ASSERT_GT(firstAnswer, 0);
        EXPECT_GT(secondAnswer, firstAnswer);
        EXPECT_EQ(ids(first + second), (QList<qint64>{1, 2, 3, 4}));
        for (const JournalDocument& d : std::as_const(first)) {
            EXPECT_EQ(d.answerId, firstAnswer);
            EXPECT_EQ(d.created, kAt);
            EXPECT_EQ(d.since, kAt);
            EXPECT_EQ(d.updated, kAt);
        }

        JournalDocument sent = first[1];
        sent.printer = QStringLiteral("Bar");
        sent.format = QStringLiteral("application/vnd.cups-raw");
        sent.bytes = bytes;
        sent.jobId = 4711;
        sent.followed = true;
        sent.state = DocumentState::Sent;
        sent.reason = QStringLiteral("ya lo había tomado el sistema de impresión");
        sent.reprint = true;
        sent.since = kAt.addSecs(5);
        sent.updated = kAt.addSecs(6);
        journal.update(sent);
        // A list's copy carries no bytes: writing it keeps those sent.
        JournalDocument listed = sent;
        listed.bytes = QByteArray();
        journal.update(listed, false);
        JournalDocument held = first[0];
        held.state = DocumentState::Held;
        held.reason = QStringLiteral("La impresora Cocina está fuera de línea");
        held.updated = kAt.addSecs(7);
        journal.update(held);
        JournalDocument printed = first[2];
        printed.state = DocumentState::Printed;
        printed.updated = kAt.addSecs(8);
        journal.update(printed);
        expected = describe(QList<JournalDocument>{held, sent, printed, second[0]});

        // Written ahead: another process may read while the service writes.
        OtherConnection other(path);
        EXPECT_EQ(other.query(QStringLiteral("PRAGMA journal_mode")), QStringLiteral("wal"));
    }
    // A clean stop folds the log back into the one file.
    EXPECT_FALSE(QFile::exists(path + QStringLiteral("-wal")));

    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "openExisting" : "open");
        QString error;
        std::unique_ptr<SqliteJournal> journal =
            existing ? SqliteJournal::openExisting(path, &error) : SqliteJournal::open(path).journal;
        ASSERT_TRUE(journal);
        EXPECT_EQ(error, QString());
        EXPECT_EQ(journal->answerPayload(firstAnswer), payload);
        EXPECT_EQ(journal->answerPayload(secondAnswer), QStringLiteral("{}"));
        EXPECT_EQ(journal->answerPayload(99), QString());

        QStringList stored;
        for (qint64 id = 1; id <= 4; ++id) stored << describe(journal->document(id).value_or(JournalDocument{}));
        EXPECT_EQ(stored, expected);
        EXPECT_EQ(journal->document(2)->bytes, bytes);
        EXPECT_FALSE(journal->document(5).has_value());

        const QList<JournalDocument> sent = journal->documentsIn({DocumentState::Sent});
        ASSERT_EQ(sent.size(), 1);
        EXPECT_TRUE(sent[0].bytes.isEmpty());
        EXPECT_EQ(sent[0].jobId, 4711);
        EXPECT_EQ(ids(journal->documentsIn({DocumentState::Pending, DocumentState::Held})), (QList<qint64>{1, 4}));
        EXPECT_EQ(ids(journal->documentsIn({})), QList<qint64>{});
        EXPECT_EQ(ids(journal->followedDocuments()), QList<qint64>{2});
        EXPECT_EQ(ids(journal->recentDocuments(kAt, false)), (QList<qint64>{4, 3, 2, 1}));
        EXPECT_EQ(ids(journal->recentDocuments(kAt.addSecs(1), false)), QList<qint64>{4});
        EXPECT_EQ(ids(journal->recentDocuments(kAt, true)), (QList<qint64>{4, 2, 1}));
        for (const JournalDocument& d : journal->recentDocuments(kAt, false)) EXPECT_TRUE(d.bytes.isEmpty());
        EXPECT_EQ(journal->unprintedCount(), 1);
    }
}

// The same steps on the journal in SQLite and on the one in memory: the same answers, and pruning
// forgets only old documents that need nothing more, then the answers left without documents.
TEST(SqliteJournal, ListsAndPruningAgreeWithTheMemoryJournal) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SqliteJournal::Opened opened = SqliteJournal::open(dir.filePath(SqliteJournal::kFileName));
    ASSERT_TRUE(opened.journal);
    shell::DiarioMemoria memory;

    const QDateTime old = kAt.addDays(-10);
    const QDateTime cut = kAt.addDays(-7);
    const auto run = [&](Journal& journal) {
        QStringList seen;
        // An old answer whose documents all finished; an old one with a document still to print;
        // a recent one.
        QList<JournalDocument> finished{threeDocuments()};
        QList<JournalDocument> mixed{threeDocuments() + threeDocuments()};
        QList<JournalDocument> recent{threeDocuments()};
        const qint64 a = journal.addAnswer(QStringLiteral("{\"a\":1}"), finished, old);
        const qint64 b = journal.addAnswer(QStringLiteral("{\"b\":2}"), mixed, old);
        const qint64 c = journal.addAnswer(QStringLiteral("{\"c\":3}"), recent, kAt);
        const auto set = [&](JournalDocument& d, DocumentState state, bool followed, const QDateTime& when) {
            d.state = state;
            d.followed = followed;
            d.jobId = followed ? 10 + static_cast<int>(d.id) : 0;
            d.updated = when;
            journal.update(d);
        };
        set(finished[0], DocumentState::Printed, false, old);
        set(finished[1], DocumentState::Discarded, false, old);
        set(finished[2], DocumentState::Expired, false, old);
        set(mixed[0], DocumentState::Failed, false, old);
        set(mixed[1], DocumentState::Pending, false, old);
        set(mixed[2], DocumentState::Held, false, old);
        set(mixed[3], DocumentState::Sent, true, old);
        // Failed while its job is still followed: its paper may yet come out.
        set(mixed[4], DocumentState::Failed, true, old);
        // Printed, but changed just after the cut.
        set(mixed[5], DocumentState::Printed, false, cut.addSecs(1));
        set(recent[0], DocumentState::Printed, false, kAt);
        set(recent[1], DocumentState::Sending, false, kAt);

        seen << QStringLiteral("unprinted %1").arg(journal.unprintedCount());
        seen << QStringLiteral("followed ") + QString::number(journal.followedDocuments().size());
        seen << describe(journal.recentDocuments(old, true));
        seen << QStringLiteral("pruned %1").arg(journal.prune(cut));
        seen << describe(journal.documentsIn({DocumentState::Pending, DocumentState::Sending, DocumentState::Sent,
                                              DocumentState::Printed, DocumentState::Held, DocumentState::Failed,
                                              DocumentState::Expired, DocumentState::Discarded}));
        seen << QStringLiteral("answers [%1] [%2] [%3]")
                    .arg(journal.answerPayload(a), journal.answerPayload(b), journal.answerPayload(c));
        seen << QStringLiteral("pruned again %1").arg(journal.prune(cut));
        return seen;
    };
    const QStringList fromSqlite = run(*opened.journal);
    const QStringList fromMemory = run(memory);
    EXPECT_EQ(fromSqlite, fromMemory);

    // What is left: the old answer with work in it, less its one finished document; the recent one whole.
    const qsizetype pruned = fromSqlite.indexOf(QStringLiteral("pruned 4"));
    ASSERT_GE(pruned, 0) << fromSqlite.join(u'\n').toStdString();
    QList<qint64> left;
    for (const JournalDocument& d : opened.journal->recentDocuments(old, false)) left.prepend(d.id);
    EXPECT_EQ(left, (QList<qint64>{5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_TRUE(fromSqlite.contains(QStringLiteral("answers [] [{\"b\":2}] [{\"c\":3}]")));
    EXPECT_TRUE(fromSqlite.contains(QStringLiteral("pruned again 0")));
    EXPECT_TRUE(fromSqlite.contains(QStringLiteral("unprinted 4")));
}

// A file that is not a sound journal is kept aside, untouched, and a fresh journal started in its
// place, with one line that says so: garbage, one from a newer program.
TEST(SqliteJournal, AFileThatCannotBeUsedIsSetAsideAndAFreshOneStarted) {
    const auto check = [](const char* what, const std::function<void(const QString& path)>& spoil,
                          const QString& reason, const QString& ending) {
        SCOPED_TRACE(what);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath(SqliteJournal::kFileName);
        spoil(path);
        const QByteArray before = readFile(path);

        SqliteJournal::Opened opened = SqliteJournal::open(path);
        ASSERT_TRUE(opened.journal);
        EXPECT_TRUE(opened.journal->durable());
        const QStringList aside = setAside(QDir(dir.path()));
        ASSERT_EQ(aside.size(), 1);
        const QRegularExpression named(QStringLiteral("^trabajos\\.db\\.danado-\\d{8}-\\d{6}-\\d{3}$"));
        EXPECT_TRUE(named.match(aside[0]).hasMatch()) << aside[0].toStdString();
        EXPECT_EQ(readFile(dir.filePath(aside[0])), before);
        EXPECT_TRUE(opened.problem.startsWith(QStringLiteral("El diario de trabajos ")));
        EXPECT_TRUE(opened.problem.contains(reason)) << opened.problem.toStdString();
        EXPECT_TRUE(opened.problem.endsWith(QStringLiteral(" se guardó aparte como ") +
                                            QDir::toNativeSeparators(dir.filePath(aside[0])) + ending))
            << opened.problem.toStdString();
        EXPECT_FALSE(opened.problem.contains(u'\n'));

        // The fresh one works, and is the one found on the next start.
        QList<JournalDocument> documents = threeDocuments();
        EXPECT_EQ(opened.journal->documentsIn({DocumentState::Pending}).size(), 0);
        EXPECT_EQ(opened.journal->addAnswer(QStringLiteral("{}"), documents, kAt), 1);
        opened.journal.reset();
        SqliteJournal::Opened again = SqliteJournal::open(path);
        EXPECT_EQ(again.problem, QString());
        EXPECT_EQ(again.journal->documentsIn({DocumentState::Pending}).size(), 3);
        EXPECT_EQ(setAside(QDir(dir.path())).size(), 1);
    };

    check("garbage", [](const QString& path) { writeFile(path, QByteArray(8192, 'x')); },
          QStringLiteral("estaba dañado ("), QStringLiteral(" y se empezó uno nuevo; no se pudo leer nada de él"));
    check(
        "newer program",
        [](const QString& path) {
            { SqliteJournal::open(path); }
            OtherConnection other(path);
            other.query(QStringLiteral("PRAGMA user_version=99"));
        },
        QStringLiteral("no se pudo usar (lo escribió una versión más nueva del programa)"),
        QStringLiteral(" y se empezó uno nuevo"));
}

// Garbage written over the middle of a journal of 300 documents: every unfinished one that can
// still be read goes on in the fresh journal as it was, id, bytes and answer included, the
// finished ones stay behind, what could not be read is counted, and new ids follow the old ones.
TEST(SqliteJournal, ADamagedJournalCarriesOverTheUnfinishedDocumentsItCanRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(SqliteJournal::kFileName);
    QList<JournalDocument> written;
    QMap<qint64, QString> payloads;
    // One in six printed, the others sent and followed, held, pending, or failed with their job
    // still followed.
    const DocumentState states[] = {DocumentState::Printed, DocumentState::Sent, DocumentState::Held,
                                    DocumentState::Pending, DocumentState::Pending, DocumentState::Failed};
    {
        SqliteJournal::Opened opened = SqliteJournal::open(path);
        for (int a = 0; a < 6; ++a) {
            QList<JournalDocument> documents;
            for (int i = 0; i < 50; ++i) {
                documents << document(QStringLiteral("comanda"), i, QStringLiteral("Comanda"),
                                      QStringLiteral("Mesa %1").arg(i % 9), QString::number(a * 100 + i),
                                      QStringLiteral("Cocina"));
            }
            const QString payload = QStringLiteral("{\"respuesta\":%1}").arg(a);
            payloads[opened.journal->addAnswer(payload, documents, kAt.addSecs(a * 60))] = payload;
            for (JournalDocument& d : documents) {
                d.format = QStringLiteral("application/vnd.cups-raw");
                d.bytes = QByteArray(100 + d.id % 50, static_cast<char>(d.id));
                d.updated = d.since = kAt.addSecs(a * 60 + 1);
                d.state = states[d.id % 6];
                d.followed = d.id % 6 == 1 || d.id % 6 == 5;
                d.jobId = d.followed ? static_cast<int>(d.id) + 1000 : 0;
                ASSERT_TRUE(opened.journal->update(d, false));
                written << d;
            }
        }
    }
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_GT(file.size(), 16 * 4096);
        file.seek(file.size() / 2 + 1000);
        file.write(QByteArray(8192, '\xab'));
    }
    const QByteArray damaged = readFile(path);

    SqliteJournal::Opened opened = SqliteJournal::open(path);
    ASSERT_TRUE(opened.journal);
    // Kept aside as it was; reading it may have left an empty log and index beside it.
    const QStringList aside = setAside(QDir(dir.path()));
    ASSERT_FALSE(aside.isEmpty());
    EXPECT_EQ(readFile(dir.filePath(aside[0])), damaged);
    SqliteJournal& journal = *opened.journal;
    int carried = 0;
    int lost = 0;
    QSet<qint64> answers;
    for (const JournalDocument& original : std::as_const(written)) {
        const std::optional<JournalDocument> now = journal.document(original.id);
        if (original.state == DocumentState::Printed) {
            EXPECT_FALSE(now.has_value()) << original.id;
        } else if (!now) {
            ++lost;
        } else {
            ++carried;
            answers.insert(now->answerId);
            EXPECT_EQ(describe(*now), describe(original));
            EXPECT_EQ(journal.answerPayload(now->answerId), payloads.value(original.answerId));
        }
    }
    const QRegularExpressionMatch told =
        QRegularExpression(QStringLiteral("^El diario de trabajos .* estaba dañado: se guardó aparte como "
                                          ".* y se empezó uno nuevo; se recuperaron (\\d+) documentos sin terminar de "
                                          "(\\d+) respuestas, (\\d+) documentos sin terminar no se pudieron leer$"))
            .match(opened.problem);
    ASSERT_TRUE(told.hasMatch()) << opened.problem.toStdString();
    EXPECT_EQ(told.captured(1).toInt(), carried);
    EXPECT_EQ(told.captured(2).toInt(), answers.size());
    EXPECT_EQ(told.captured(3).toInt(), lost);
    // The garbage did cost rows, and the scan went on past it.
    EXPECT_GT(lost, 0);
    EXPECT_GT(carried, 200);

    QList<JournalDocument> documents = threeDocuments();
    EXPECT_EQ(journal.addAnswer(QStringLiteral("{}"), documents, kAt), 7);
    EXPECT_EQ(documents[0].id, 301);
}

// A crash, then the log lost: the journal names the documents it lost and never gives their ids
// (the print jobs' names) again. A crash, then the file cut to nothing: its log is kept aside
// before SQLite drops it, and what it held goes on in a fresh journal.
TEST(SqliteJournal, ALostTailIsNamedAndItsIdsAreNotGivenAgain) {
    // Documents 1 to 3 reach the file; 4 to 9 are in the log when the process dies.
    const auto crash = [](const QString& path) {
        {
            QList<JournalDocument> documents = threeDocuments();
            SqliteJournal::open(path).journal->addAnswer(QStringLiteral("{\"a\":1}"), documents, kAt);
        }
        EXPECT_EXIT(
            {
                SqliteJournal::Opened opened = SqliteJournal::open(path);
                QList<JournalDocument> second = threeDocuments();
                QList<JournalDocument> third = threeDocuments();
                bool ok = opened.journal->addAnswer(QStringLiteral("{\"a\":2}"), second, kAt) == 2 &&
                          opened.journal->addAnswer(QStringLiteral("{\"a\":3}"), third, kAt) == 3;
                third[2].state = DocumentState::Printed;
                ok = ok && opened.journal->update(third[2]);
                std::_Exit(ok && third[2].id == 9 ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
        ASSERT_GT(QFileInfo(path + QStringLiteral("-wal")).size(), 0);
    };
    const QList<DocumentState> all{DocumentState::Pending, DocumentState::Printed};

    {
        SCOPED_TRACE("log lost");
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath(SqliteJournal::kFileName);
        crash(path);
        ASSERT_TRUE(QFile::remove(path + QStringLiteral("-wal")));
        SqliteJournal::Opened opened = SqliteJournal::open(path);
        EXPECT_EQ(opened.problem, QStringLiteral("El diario de trabajos ") + QDir::toNativeSeparators(path) +
                                      QStringLiteral(" perdió sus últimos documentos (del 4 al 9): los que no se "
                                                     "hubieran impreso no se imprimirán"));
        EXPECT_EQ(ids(opened.journal->documentsIn(all)), (QList<qint64>{1, 2, 3}));
        QList<JournalDocument> documents = threeDocuments();
        opened.journal->addAnswer(QStringLiteral("{}"), documents, kAt);
        EXPECT_EQ(documents[0].id, 10);
        opened.journal.reset();
        EXPECT_EQ(SqliteJournal::open(path).problem, QString());
    }
    {
        SCOPED_TRACE("file cut to nothing");
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath(SqliteJournal::kFileName);
        crash(path);
        ASSERT_TRUE(QFile::resize(path, 0));
        const QByteArray log = readFile(path + QStringLiteral("-wal"));
        // The commands that only read leave it to the service.
        QString error;
        EXPECT_EQ(SqliteJournal::openExisting(path, &error), nullptr);
        EXPECT_EQ(readFile(path + QStringLiteral("-wal")), log);

        SqliteJournal::Opened opened = SqliteJournal::open(path);
        const QStringList aside = setAside(QDir(dir.path()));
        ASSERT_EQ(aside.size(), 3);
        EXPECT_EQ(readFile(dir.filePath(aside[0] + QStringLiteral("-wal"))), log);
        EXPECT_EQ(opened.problem, QStringLiteral("El diario de trabajos %1 estaba dañado (vacío, con lo último "
                                                 "escrito solo en su -wal): se guardó aparte como %2 y se empezó uno "
                                                 "nuevo; se recuperaron 8 documentos sin terminar de 3 respuestas")
                                      .arg(QDir::toNativeSeparators(path),
                                           QDir::toNativeSeparators(dir.filePath(aside[0]))));
        EXPECT_EQ(ids(opened.journal->documentsIn(all)), (QList<qint64>{1, 2, 3, 4, 5, 6, 7, 8}));
        EXPECT_EQ(opened.journal->answerPayload(3), QStringLiteral("{\"a\":3}"));
        QList<JournalDocument> documents = threeDocuments();
        EXPECT_EQ(opened.journal->addAnswer(QStringLiteral("{}"), documents, kAt), 4);
        EXPECT_EQ(documents[0].id, 10);
    }
}

// A journal another process holds with a write transaction cannot be used for this run: it is set
// aside like a damaged one, and the service prints on a fresh one.
TEST(SqliteJournal, AFileLockedByAnotherConnectionIsSetAside) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(SqliteJournal::kFileName);
    {
        QList<JournalDocument> documents = threeDocuments();
        SqliteJournal::open(path).journal->addAnswer(QStringLiteral("{}"), documents, kAt);
    }
    OtherConnection other(path);
    ASSERT_EQ(other.query(QStringLiteral("BEGIN EXCLUSIVE")), QString());

    SqliteJournal::Opened opened = SqliteJournal::open(path);
    ASSERT_TRUE(opened.journal);
    EXPECT_TRUE(opened.journal->durable());
    EXPECT_TRUE(opened.problem.contains(QStringLiteral("se empezó uno nuevo"))) << opened.problem.toStdString();
    // Set aside with the log and index files it was being written through.
    const QStringList aside = setAside(QDir(dir.path()));
    ASSERT_EQ(aside.size(), 3);
    EXPECT_EQ(aside.mid(1), (QStringList{aside[0] + QStringLiteral("-shm"), aside[0] + QStringLiteral("-wal")}));
    EXPECT_TRUE(opened.journal->documentsIn({DocumentState::Pending}).isEmpty());
    QList<JournalDocument> documents = threeDocuments();
    EXPECT_GT(opened.journal->addAnswer(QStringLiteral("{}"), documents, kAt), 0);
    // The other process keeps its file, under the name it was set aside as.
    EXPECT_EQ(other.query(QStringLiteral("SELECT COUNT(*) FROM documentos")), QStringLiteral("3"));
    other.query(QStringLiteral("ROLLBACK"));
}

// What is wrong with a journal opened where it cannot be written (empty when all is well): it
// must live in memory, work, say so in one line, and leave the files as they were.
QString checkUnwritable(const QString& path) {
    QStringList wrong;
    const bool existed = QFile::exists(path);
    const QByteArray before = readFile(path);
    SqliteJournal::Opened opened = SqliteJournal::open(path);
    if (!opened.journal) return QStringLiteral("no journal");
    if (opened.journal->durable()) wrong << QStringLiteral("durable");
    if (!opened.problem.startsWith(QStringLiteral("No se puede escribir el diario de trabajos ") +
                                   QDir::toNativeSeparators(path)) ||
        opened.problem.contains(u'\n')) {
        wrong << QStringLiteral("problem: ") + opened.problem;
    }
    QList<JournalDocument> documents = threeDocuments();
    const qint64 answer = opened.journal->addAnswer(QStringLiteral("{\"x\":1}"), documents, kAt);
    if (answer <= 0 || opened.journal->answerPayload(answer) != u"{\"x\":1}") wrong << QStringLiteral("answer");
    if (opened.journal->documentsIn({DocumentState::Pending}).size() != 3) wrong << QStringLiteral("documents");
    opened.journal.reset();
    if (QFile::exists(path) != existed || readFile(path) != before) wrong << QStringLiteral("file touched");
    if (!setAside(QFileInfo(path).dir()).isEmpty()) wrong << QStringLiteral("set aside");
    return wrong.join(QStringLiteral("; "));
}

// Where no journal file can be written (a read-only folder, a read-only file), the journal lives
// in memory for this run, and one line says what that costs.
TEST(SqliteJournal, WhereNothingCanBeWrittenTheJournalLivesInMemory) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Readable by an ordinary user, for the check below when the tests run as root.
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                                      QFile::ExeGroup));
    const QString folder = dir.filePath(QStringLiteral("solo-lectura"));
    const QString writable = dir.filePath(QStringLiteral("escribible"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QDir().mkpath(writable));
    const QString readOnlyFile = writable + u'/' + SqliteJournal::kFileName;
    {
        QList<JournalDocument> documents = threeDocuments();
        SqliteJournal::open(readOnlyFile).journal->addAnswer(QStringLiteral("{}"), documents, kAt);
    }
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther |
                          QFile::ReadGroup | QFile::ExeGroup;
    ASSERT_TRUE(QFile::setPermissions(folder, readOnly));
    ASSERT_TRUE(QFile::setPermissions(readOnlyFile, QFile::ReadOwner | QFile::ReadOther | QFile::ReadGroup));
    ASSERT_TRUE(QFile::setPermissions(writable, readOnly | QFile::WriteOwner | QFile::WriteOther));

    const QString inFolder = folder + u'/' + SqliteJournal::kFileName;
    if (geteuid() != 0) {
        EXPECT_EQ(checkUnwritable(inFolder), QString());
        EXPECT_EQ(checkUnwritable(readOnlyFile), QString());
        return;
    }
    // Root writes wherever it likes: the checks run in a child process as an ordinary user.
    EXPECT_EXIT(
        {
            if (setgid(65534) != 0 || setuid(65534) != 0) {
                std::fputs("cannot become an ordinary user", stderr);
                std::_Exit(2);
            }
            const QString wrong = checkUnwritable(inFolder) + u'|' + checkUnwritable(readOnlyFile);
            std::fputs(qPrintable(wrong), stderr);
            std::_Exit(wrong == u"|" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// The commands that read the journal never make one, and never set a broken one aside.
TEST(SqliteJournal, OpenExistingOnlyReadsWhatIsThere) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(SqliteJournal::kFileName);
    QString error;
    EXPECT_EQ(SqliteJournal::openExisting(missing, &error), nullptr);
    EXPECT_EQ(error, QStringLiteral("No hay diario de trabajos en ") + QDir::toNativeSeparators(missing));
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    error.clear();
    EXPECT_EQ(SqliteJournal::openExisting(dir.path(), &error), nullptr);
    EXPECT_TRUE(error.startsWith(QStringLiteral("No hay diario de trabajos en ")));

    const QString broken = dir.filePath(QStringLiteral("roto.db"));
    writeFile(broken, QByteArray(8192, 'x'));
    error.clear();
    EXPECT_EQ(SqliteJournal::openExisting(broken, &error), nullptr);
    EXPECT_TRUE(error.startsWith(QStringLiteral("No se puede leer el diario de trabajos ") +
                                 QDir::toNativeSeparators(broken) + QStringLiteral(": ")))
        << error.toStdString();
    EXPECT_EQ(readFile(broken), QByteArray(8192, 'x'));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"roto.db"});
}

}  // namespace
}  // namespace kelmora::platform
