// kelmora trabajos, reimprimir and descartar, run as separate processes on a journal file.
#include "e2e_support.h"

#include "json/qt_printers.h"
#include "platform/sqlite/sqlite_journal.h"
#include "support/fake_central_server.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace kelmora::testing {
namespace {

using paper::DocumentState;

struct Outcome {
    int exitCode = -1;
    QStringList out;  // standard output's lines, the last line end aside
    QString err;
};

// A program folder with a journal written the way the service writes it.
class JournalCommands : public ::testing::Test {
protected:
    QString journalPath() const { return folder.filePath(platform::SqliteJournal::kFileName); }

    void openJournal() {
        if (!journal) journal = platform::SqliteJournal::open(journalPath()).journal;
    }

    // One answer with one document, then the document's state as the queue would leave it.
    qint64 add(qint64 secondsAgo, const QString& kind, DocumentState state, const QString& reason = {},
               const QString& table = {}, const QString& order = {}, const QString& area = QStringLiteral("Cocina")) {
        openJournal();
        paper::JournalDocument d;
        d.list = QStringLiteral("comanda");
        d.kind = kind;
        d.table = table;
        d.order = order;
        d.requestedPrinter = area;
        QList<paper::JournalDocument> documents{d};
        journal->addAnswer(QStringLiteral("{}"), documents, QDateTime::currentDateTime().addSecs(-secondsAgo));
        d = documents.first();
        d.state = state;
        d.reason = reason;
        if (state == DocumentState::Printed) d.printer = QStringLiteral("Facturas");
        journal->update(d);
        return d.id;
    }

    // The document as the journal has it now, read afresh.
    paper::JournalDocument stored(qint64 id) {
        journal.reset();
        QString error;
        const auto reread = platform::SqliteJournal::openExisting(journalPath(), &error);
        EXPECT_NE(reread, nullptr) << error.toStdString();
        if (!reread) return {};
        const std::optional<paper::JournalDocument> d = reread->document(id);
        EXPECT_TRUE(d.has_value());
        return d.value_or(paper::JournalDocument{});
    }

    Outcome run(QStringList arguments, bool withFolder = true) {
        // The journal is let go as when the service stops, so the command finds it as it is on disk.
        journal.reset();
        if (withFolder) arguments << QStringLiteral("--dir") << folder.path();
        auto kelmora = newKelmora(arguments, work.path());
        kelmora->start();
        Outcome r;
        // The events run meanwhile: a server of the test's own may be asked.
        EXPECT_TRUE(QTest::qWaitFor([&] { return kelmora->state() == QProcess::NotRunning; }, 30000));
        r.exitCode = kelmora->exitCode();
        QString out = QString::fromUtf8(kelmora->readAllStandardOutput());
        if (out.endsWith(u'\n')) out.chop(1);
        if (!out.isEmpty()) r.out = out.split(u'\n');
        r.err = QString::fromUtf8(kelmora->readAllStandardError());
        return r;
    }

    // The numbers that start the listed lines, header aside.
    static QStringList listedIds(const Outcome& r) {
        QStringList ids;
        for (qsizetype i = 1; i < r.out.size(); ++i) ids.append(r.out.at(i).trimmed().section(u' ', 0, 0));
        return ids;
    }

    QTemporaryDir folder;
    QTemporaryDir work;
    std::unique_ptr<platform::SqliteJournal> journal;
};

// ---- kelmora trabajos ----

TEST_F(JournalCommands, ListsTheLastDaysNewestFirst) {
    const qint64 old = add(9 * 86400, QStringLiteral("Comanda"), DocumentState::Printed);
    const qint64 invoice = add(3 * 86400, QStringLiteral("Factura"), DocumentState::Printed, {},
                               QStringLiteral("Mesa 2"), QStringLiteral("77"));
    const qint64 cancellation = add(3600, QStringLiteral("Anulacion"), DocumentState::Held,
                                    QStringLiteral("La impresora Cocina no responde"), QStringLiteral("Mesa 4"),
                                    QStringLiteral("118"));

    const Outcome r = run({QStringLiteral("trabajos")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_EQ(r.out.size(), 3) << r.out.join(u'\n').toStdString();
    EXPECT_TRUE(r.out[0].contains(QStringLiteral("Mesa / pedido"))) << r.out[0].toStdString();
    EXPECT_EQ(listedIds(r), (QStringList{QString::number(cancellation), QString::number(invoice)}));
    const QString& held = r.out[1];
    for (const QString& part : {QStringLiteral("Anulación"), QStringLiteral("Mesa 4, pedido 118"),
                                QStringLiteral("Cocina"),
                                QStringLiteral("retenido: La impresora Cocina no responde")}) {
        EXPECT_TRUE(held.contains(part)) << held.toStdString() << " lacks " << part.toStdString();
    }
    EXPECT_TRUE(r.out[2].contains(QStringLiteral("Facturas"))) << r.out[2].toStdString();
    EXPECT_TRUE(r.out[2].endsWith(QStringLiteral("impreso"))) << r.out[2].toStdString();

    // The columns line up under the header.
    const qsizetype stateColumn = r.out[0].indexOf(QStringLiteral("Estado"));
    EXPECT_EQ(held.indexOf(QStringLiteral("retenido")), stateColumn);
    EXPECT_EQ(r.out[2].indexOf(QStringLiteral("impreso")), stateColumn);

    const Outcome wider = run({QStringLiteral("trabajos"), QStringLiteral("--dias"), QStringLiteral("10")});
    EXPECT_EQ(wider.exitCode, 0);
    EXPECT_EQ(listedIds(wider),
              (QStringList{QString::number(cancellation), QString::number(invoice), QString::number(old)}));
}

TEST_F(JournalCommands, PendingLeavesOutWhatIsPrintedOrDiscarded) {
    add(500, QStringLiteral("Comanda"), DocumentState::Printed);
    const qint64 failed = add(400, QStringLiteral("Comanda"), DocumentState::Failed, QStringLiteral("rechazado"));
    add(300, QStringLiteral("Factura"), DocumentState::Discarded);
    const qint64 pending = add(200, QStringLiteral("Cajon"), DocumentState::Pending);

    const Outcome r = run({QStringLiteral("trabajos"), QStringLiteral("--pendientes")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(listedIds(r), (QStringList{QString::number(pending), QString::number(failed)}));
    EXPECT_TRUE(r.out.value(1).contains(QStringLiteral("Cajón")));
}

TEST_F(JournalCommands, AnEmptyListSaysSo) {
    add(500, QStringLiteral("Comanda"), DocumentState::Printed);
    const Outcome r = run({QStringLiteral("trabajos"), QStringLiteral("--pendientes"), QStringLiteral("--dias=1")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, QStringList{QStringLiteral("No hay documentos sin imprimir del último día.")});
}

TEST_F(JournalCommands, BadArgumentsEndWithStatusOne) {
    add(500, QStringLiteral("Comanda"), DocumentState::Held);
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("trabajos"), QStringLiteral("--dias"), QStringLiteral("0")},
          QStringList{QStringLiteral("trabajos"), QStringLiteral("--dias"), QStringLiteral("siete")},
          QStringList{QStringLiteral("trabajos"), QStringLiteral("--todos")},
          QStringList{QStringLiteral("reimprimir")}, QStringList{QStringLiteral("reimprimir"), QStringLiteral("uno")},
          QStringList{QStringLiteral("descartar"), QStringLiteral("1"), QStringLiteral("2")}}) {
        const Outcome r = run(arguments);
        EXPECT_EQ(r.exitCode, 1) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("--help da las opciones"))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    // In Spanish, Qt's own parse errors too.
    EXPECT_TRUE(run({QStringLiteral("trabajos"), QStringLiteral("--todos")}).err.contains(QStringLiteral("opción desconocida: todos")));
    EXPECT_TRUE(run({QStringLiteral("--dir")}, false).err.contains(QStringLiteral("falta el valor de --dir")));
}

// ---- kelmora reimprimir, descartar ----

TEST_F(JournalCommands, ReprintPutsTheDocumentBackToPendingAsAReprint) {
    const qint64 failed =
        add(400, QStringLiteral("Comanda"), DocumentState::Failed, QStringLiteral("La impresora rechazó el trabajo"));

    const Outcome r = run({QStringLiteral("reimprimir"), QString::number(failed)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringList{QStringLiteral("El documento %1 se imprimirá de nuevo en cuanto una impresora pueda "
                                                "tomarlo.")
                                     .arg(failed)});
    const paper::JournalDocument d = stored(failed);
    EXPECT_EQ(d.state, DocumentState::Pending);
    EXPECT_TRUE(d.reprint);
    EXPECT_TRUE(d.reason.isEmpty());

    // Already waiting for a printer: the reason why not, and nothing changes.
    const Outcome again = run({QStringLiteral("reimprimir"), QString::number(failed)});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.out.isEmpty());
    EXPECT_EQ(again.err.trimmed(), QStringLiteral("El documento %1 ya está por imprimirse").arg(failed));
}

TEST_F(JournalCommands, DiscardTakesTheDocumentOffWhatIsToPrint) {
    const qint64 held = add(400, QStringLiteral("Factura"), DocumentState::Held, QStringLiteral("sin papel"));

    const Outcome r = run({QStringLiteral("descartar"), QString::number(held)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_EQ(r.out.size(), 1);
    EXPECT_TRUE(r.out[0].startsWith(QStringLiteral("El documento %1 ").arg(held))) << r.out[0].toStdString();
    EXPECT_EQ(stored(held).state, DocumentState::Discarded);

    const Outcome again = run({QStringLiteral("descartar"), QString::number(held)});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.err.trimmed(), QStringLiteral("El documento %1 ya está descartado").arg(held));
}

TEST_F(JournalCommands, ADocumentThatIsNotThereEndsWithStatusOne) {
    const qint64 held = add(400, QStringLiteral("Factura"), DocumentState::Held);
    for (const QString& command : {QStringLiteral("reimprimir"), QStringLiteral("descartar")}) {
        const Outcome r = run({command, QString::number(held + 100)});
        EXPECT_EQ(r.exitCode, 1) << command.toStdString();
        EXPECT_EQ(r.err.trimmed(), QStringLiteral("No hay ningún documento %1").arg(held + 100));
    }
    EXPECT_EQ(stored(held).state, DocumentState::Held);
}

// ---- without a journal ----

TEST_F(JournalCommands, NoJournalEndsWithStatusOneAndMakesNone) {
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("trabajos")}, QStringList{QStringLiteral("reimprimir"), QStringLiteral("1")},
          QStringList{QStringLiteral("descartar"), QStringLiteral("1")}}) {
        const Outcome r = run(arguments);
        EXPECT_EQ(r.exitCode, 1) << arguments.first().toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("No hay diario de trabajos en "))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_TRUE(QDir(folder.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST_F(JournalCommands, ADamagedJournalIsLeftAsItIs) {
    const QByteArray damaged("esto no es un diario, sólo texto\n");
    {
        QFile file(journalPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }
    const Outcome r = run({QStringLiteral("trabajos")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("No se puede leer el diario de trabajos "))) << r.err.toStdString();
    QFile file(journalPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), damaged);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{platform::SqliteJournal::kFileName});
}

// ---- help ----

TEST_F(JournalCommands, EachCommandHasItsHelpAndTheServiceNamesThem) {
    const std::pair<QString, QString> commands[] = {{QStringLiteral("trabajos"), QStringLiteral("--pendientes")},
                                                    {QStringLiteral("reimprimir"), QStringLiteral("ID")},
                                                    {QStringLiteral("descartar"), QStringLiteral("ID")},
                                                    {QStringLiteral("comprobar"), QStringLiteral("--server")}};
    for (const auto& [command, mentions] : commands) {
        const Outcome r = run({command, QStringLiteral("--help")}, false);
        EXPECT_EQ(r.exitCode, 0) << command.toStdString();
        const QString text = r.out.join(u'\n');
        EXPECT_TRUE(text.startsWith(QStringLiteral("Uso: kelmora ") + command + QStringLiteral(" [opciones]"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("\nOpciones:\n"))) << text.toStdString();
        EXPECT_TRUE(text.contains(mentions)) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("--dir"))) << text.toStdString();
    }
    const Outcome service = run({QStringLiteral("--help")}, false);
    EXPECT_EQ(service.exitCode, 0);
    EXPECT_TRUE(service.out.join(u'\n').startsWith(QStringLiteral("Uso: kelmora [opciones]")));
    for (const QString& command : {QStringLiteral("kelmora trabajos"), QStringLiteral("kelmora reimprimir"),
                                   QStringLiteral("kelmora descartar"), QStringLiteral("kelmora comprobar")}) {
        EXPECT_TRUE(service.out.join(u'\n').contains(command)) << command.toStdString();
    }
}

// ---- kelmora comprobar ----

TEST_F(JournalCommands, CheckPassesAGoodSetUpAndNamesEachProblemOfABadOne) {
    if (!qEnvironmentVariableIsSet("CUPS_SERVER")) GTEST_SKIP() << "needs the test environment's CUPS";
    FakeCentralServer server({});
    ASSERT_TRUE(server.listening());
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(QDir(folder.path()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };
    write(QStringLiteral("Acceso"), "A12345678901234 \r\n");  // pasted with a blank: taken without it
    add(3600, QStringLiteral("Comanda"), DocumentState::Printed);
    const Outcome good = run({QStringLiteral("comprobar"), QStringLiteral("--server"), server.url()});
    EXPECT_EQ(good.exitCode, 0) << good.out.join(u'\n').toStdString();
    EXPECT_TRUE(good.out.contains(QStringLiteral("bien  Cocina (CUPS (Cocina), PDF): lista"))) << good.out.join(u'\n').toStdString();
    EXPECT_EQ(good.out.value(good.out.size() - 1), QStringLiteral("Todo en orden."));

    // A code too short, a bad printer setting, an area no printer answers to, no server.
    write(QStringLiteral("Acceso"), "12345\r\n");
    write(QStringLiteral("kelmora.ini"), "[Cocina]\nrollo=90\n");
    add(60, QStringLiteral("Comanda"), DocumentState::Held, {}, {}, {}, QStringLiteral("Terraza"));
    const Outcome bad = run({QStringLiteral("comprobar"), QStringLiteral("--server"), QStringLiteral("http://127.0.0.1:9")});
    EXPECT_EQ(bad.exitCode, 1);
    QStringList faults;
    for (const QString& line : bad.out) {
        if (line.startsWith(QStringLiteral("MAL "))) faults.append(line.mid(6).section(u':', 0, 0));
    }
    EXPECT_EQ(faults, (QStringList{QStringLiteral("Acceso"), QStringLiteral("Ajuste no válido en kelmora.ini, [Cocina] rollo=90"),
                                   QStringLiteral("Terraza"), QStringLiteral("Servidor http")}))
        << bad.out.join(u'\n').toStdString();
    EXPECT_TRUE(bad.out.join(u'\n').contains(QStringLiteral("tiene 5 caracteres y necesita al menos 15")));
    EXPECT_EQ(bad.out.value(bad.out.size() - 1), QStringLiteral("4 problemas."));
}

}  // namespace
}  // namespace kelmora::testing
