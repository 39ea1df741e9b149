// Faults of the printers, the printing system, the files and the server, with the real service
// printing on a CUPS daemon of the test's own. Whatever the fault, every document the server
// handed out ends on paper exactly once, or held, failed or expired and listed by
// `kelmora trabajos`; the tray's lines tell which.
#include "reliability_support.h"
#include "support/receipt_printer_standin.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <sys/stat.h>

namespace kelmora::testing {
namespace {

using Kind = FakeCentralServer::Step::Kind;
using Step = FakeCentralServer::Step;

class FaultsOnPaper : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OwnCups::available()) GTEST_SKIP() << "needs the machine's cupsd";
        ASSERT_TRUE(cups.start()) << "the test's own CUPS daemon did not start";
        for (const char* queue : {"Cocina", "Bar", "Facturas"}) {
            ASSERT_TRUE(cups.addQueue(QString::fromLatin1(queue), OwnCups::Driver::Pdf)) << queue;
        }
        ASSERT_TRUE(cups.run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("Facturas")}));
        folder = work.filePath(QStringLiteral("prog"));
        ASSERT_TRUE(QDir().mkpath(folder));
        mark = QStringLiteral("F%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
    }

    void TearDown() override {
        if (service) service->stop(20000);
    }

    void writeSettings(const QByteArray& text) {
        QFile ini(QDir(folder).filePath(QStringLiteral("kelmora.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(text);
    }

    void startService(const FakeCentralServer& server) {
        ASSERT_TRUE(server.listening());
        service = std::make_unique<Service>(cups, folder, server.url(),
                                            QStringList{QStringLiteral("--poll-interval-ms"), QStringLiteral("500")});
        ASSERT_TRUE(service->running());
    }

    // The tally once everything has settled, told as the case's figure; a failure names every
    // document lost or printed twice, with the daemon's view and the service's log.
    Tally account(const QString& name, int handedOut, int onPaper, int ms = 60000) {
        const Tally t = settle(cups, folder, handedOut, onPaper, ms);
        figure(QStringLiteral("faults/") + name, t.summary());
        EXPECT_EQ(t.duplicated, 0) << t.problems.join(u'\n').toStdString();
        EXPECT_EQ(t.lost(), 0) << t.summary().toStdString() << "\n" << t.problems.join(u'\n').toStdString() << "\n"
                               << cups.describe().toStdString() << "\n" << service->err().join(u'\n').toStdString();
        EXPECT_EQ(t.stray, 0);
        EXPECT_EQ(t.journaled, handedOut);
        return t;
    }

    // Waits until the console shows `line`.
    bool waitForLine(const QString& line, int ms) {
        return QTest::qWaitFor([&] { return service->out().contains(line); }, ms);
    }

    OwnCups cups;
    QTemporaryDir work;
    QString folder;
    QString mark;
    std::unique_ptr<Service> service;
};

const QString kConnected = QStringLiteral("Icono [conectado]: Conectado");

QString unprintedIcon(int n) {
    return QStringLiteral("Icono [error]: %1").arg(n == 1 ? QStringLiteral("1 ticket sin imprimir")
                                                         : QStringLiteral("%1 tickets sin imprimir").arg(n));
}

// The documents' answers: kitchen tickets on two printers.
QByteArray mixedAnswer(const QString& mark, int cocina, int bar) {
    QByteArrayList list;
    for (int i = 0; i < cocina; ++i) list.append(kitchenTicket(QStringLiteral("Cocina"), QStringLiteral("%1-c%2").arg(mark).arg(i)));
    for (int i = 0; i < bar; ++i) list.append(kitchenTicket(QStringLiteral("Bar"), QStringLiteral("%1-b%2").arg(mark).arg(i)));
    return answer(list, {}, {}, false);
}

TEST_F(FaultsOnPaper, ThePrintingSystemDownForARoundThenBack) {
    std::vector<Step> script;
    script.push_back({Kind::Answer, mixedAnswer(mark + QStringLiteral("a"), 3, 3)});
    // Four polls (about 2 s) for the first answer to reach paper, even under the sanitizers.
    for (int i = 0; i < 4; ++i) script.push_back({Kind::Answer, kEmptyAnswer});
    script.push_back({Kind::Answer, mixedAnswer(mark + QStringLiteral("b"), 3, 3), 0, [this] { cups.stop(); }});
    // Five polls (about 2.5 s) with the daemon gone, then it is back for the last answer.
    for (int i = 0; i < 5; ++i) script.push_back({Kind::Answer, kEmptyAnswer});
    script.push_back({Kind::Answer, mixedAnswer(mark + QStringLiteral("c"), 3, 3), 0, [this] { ASSERT_TRUE(cups.start()); }});
    FakeCentralServer server(std::move(script));
    startService(server);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.scriptDone(); }, 60000));

    const Tally t = account(QStringLiteral("printing system down for a round"), 18, 18);
    EXPECT_EQ(t.onPaperOnce, 18);
    const QStringList out = service->out();
    // While nothing could print, the tray counted the answer's documents, and it is clear again.
    EXPECT_TRUE(out.contains(unprintedIcon(6))) << out.filter(QStringLiteral("Icono")).join(u'\n').toStdString();
    EXPECT_TRUE(waitForLine(kConnected, 10000));
    EXPECT_EQ(service->out().filter(QStringLiteral("Icono")).last(), kConnected);
}

TEST_F(FaultsOnPaper, BothPrintersStoppedThenStarted) {
    // The kitchen's printer and the default it falls back to.
    ASSERT_TRUE(cups.run(QStringLiteral("cupsdisable"), {QStringLiteral("Cocina")}));
    ASSERT_TRUE(cups.run(QStringLiteral("cupsdisable"), {QStringLiteral("Facturas")}));
    std::vector<Step> script;
    script.push_back({Kind::Answer, mixedAnswer(mark, 4, 0)});
    for (int i = 0; i < 10; ++i) script.push_back({Kind::Answer, kEmptyAnswer});
    FakeCentralServer server(std::move(script));
    startService(server);
    ASSERT_TRUE(waitForLine(unprintedIcon(4), 30000))
        << service->out().filter(QStringLiteral("Icono")).join(u'\n').toStdString();
    // Held, not sent into the stopped queues.
    EXPECT_TRUE(cups.jobs().empty());
    EXPECT_EQ(statesOf(listJournal(folder, true)), (std::map<std::string, int>{{"retenido", 4}}));

    ASSERT_TRUE(cups.run(QStringLiteral("cupsenable"), {QStringLiteral("Cocina")}));
    ASSERT_TRUE(cups.run(QStringLiteral("cupsenable"), {QStringLiteral("Facturas")}));
    const Tally t = account(QStringLiteral("both printers stopped, then started"), 4, 4);
    EXPECT_EQ(t.onPaperOnce, 4);
    EXPECT_TRUE(waitForLine(kConnected, 10000));
    // Back on the kitchen's own printer.
    for (const OwnCups::Job& job : cups.jobs()) EXPECT_EQ(job.queue, QStringLiteral("Cocina"));
}


TEST_F(FaultsOnPaper, QueuesThatRefuseEveryJob) {
    // The bar's queue and the default it falls back to refuse every job (cupsreject). Kitchen
    // tickets give up after a minute here.
    ASSERT_TRUE(cups.run(QStringLiteral("cupsreject"), {QStringLiteral("Bar")}));
    ASSERT_TRUE(cups.run(QStringLiteral("cupsreject"), {QStringLiteral("Facturas")}));
    writeSettings("[General]\nvencimiento_comanda=1\n");
    FakeCentralServer server({{Kind::Answer, mixedAnswer(mark, 2, 2)}});
    startService(server);

    ASSERT_TRUE(waitForLine(unprintedIcon(2), 30000))
        << service->out().filter(QStringLiteral("Icono")).last().toStdString() << "\n" << journalText(folder).toStdString();
    EXPECT_EQ(statesOf(listJournal(folder, true))["retenido"], 2);

    // Past the minute, the held tickets expire and stay listed.
    const bool expired =
        QTest::qWaitFor([&] { return statesOf(listJournal(folder, true))["vencido"] == 2; }, 90000);
    EXPECT_TRUE(expired) << journalText(folder).toStdString();
    const Tally t = account(QStringLiteral("the bar's queue and the default refuse every job"), 4, 2);
    EXPECT_EQ(t.onPaperOnce, 2);
    EXPECT_EQ(t.states, (std::map<std::string, int>{{"impreso", 2}, {"vencido", 2}}));
    EXPECT_EQ(service->out().filter(QStringLiteral("Icono")).last(), unprintedIcon(2));
    EXPECT_EQ(service->out().filter(QStringLiteral("Globo [advertencia] Trabajo vencido")).size(), 2);
}

TEST_F(FaultsOnPaper, ADriverThatFailsTheDocument) {
    // CUPS takes the job, its driver fails, and the job stops on the queue with the driver's
    // message: nothing comes out until a person acts, so the document is listed as failed.
    ASSERT_TRUE(cups.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("Cocina")}));
    ASSERT_TRUE(cups.addQueue(QStringLiteral("Cocina"), OwnCups::Driver::Failing));
    writeSettings("[General]\nespera_papel=10\n");
    FakeCentralServer server({{Kind::Answer, mixedAnswer(mark, 2, 1)}});
    startService(server);

    EXPECT_TRUE(waitForLine(unprintedIcon(2), 40000))
        << service->out().filter(QStringLiteral("Icono")).last().toStdString() << "\n" << journalText(folder).toStdString()
        << cups.describe().toStdString();
    const Tally t = account(QStringLiteral("a driver that fails the document"), 3, 1, 20000);
    EXPECT_EQ(t.onPaperOnce, 1);
    EXPECT_EQ(t.states, (std::map<std::string, int>{{"fallido", 2}, {"impreso", 1}}));
}

TEST_F(FaultsOnPaper, AQueueWhoseDriverTakesOnlyTextGetsTheReceiptCommands) {
    ASSERT_TRUE(cups.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("Cocina")}));
    ASSERT_TRUE(cups.addQueue(QStringLiteral("Cocina"), OwnCups::Driver::TextOnly));
    FakeCentralServer server({{Kind::Answer, mixedAnswer(mark, 2, 0)}});
    startService(server);
    const Tally t = account(QStringLiteral("a queue whose driver takes only text"), 2, 2);
    EXPECT_EQ(t.onPaperOnce, 2);
    for (const OwnCups::Job& job : cups.jobs(true)) {
        EXPECT_EQ(job.queue, QStringLiteral("Cocina"));
        EXPECT_FALSE(job.bytes.startsWith("%PDF"));
        EXPECT_TRUE(escposText(job.bytes).contains(mark.toLatin1()));
    }
}

// A receipt printer on the network that takes connections and stops reading them: the jobs wait
// on CUPS, the documents fail once their time is up, and print when the printer reads again.
TEST_F(FaultsOnPaper, ARawPrinterThatStopsAnswering) {
    QTcpServer printer;
    ASSERT_TRUE(printer.listen(QHostAddress::LocalHost));
    bool answering = false;
    QList<QTcpSocket*> connections;
    QByteArray received;
    const auto readAll = [&](QTcpSocket* c) {
        received += c->readAll();
    };
    QObject::connect(&printer, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* c = printer.nextPendingConnection()) {
            connections.append(c);
            // Nothing is read while the printer is hung: one byte of buffer, never drained.
            if (!answering) c->setReadBufferSize(1);
            QObject::connect(c, &QTcpSocket::readyRead, [&, c] {
                if (answering) readAll(c);
            });
            // The printer closes its end once the job is whole, as CUPS waits for it to.
            QObject::connect(c, &QTcpSocket::readChannelFinished, [&, c] {
                if (answering) {
                    readAll(c);
                    c->close();
                }
            });
        }
    });
    ASSERT_TRUE(cups.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("Cocina")}));
    ASSERT_TRUE(cups.addQueue(QStringLiteral("Cocina"), OwnCups::Driver::Raw,
                              QStringLiteral("socket://127.0.0.1:%1").arg(printer.serverPort())));
    writeSettings("[General]\nespera_papel=10\n");
    FakeCentralServer server({{Kind::Answer, mixedAnswer(mark, 3, 0)}});
    startService(server);
    QElapsedTimer clock;
    clock.start();

    const bool failed = QTest::qWaitFor([&] {
        int n = 0;
        for (const auto& [id, doc] : listJournal(folder, true)) n += doc.state == u"fallido" ? 1 : 0;
        return n == 3;
    }, 60000);
    EXPECT_TRUE(failed) << cups.describe().toStdString() << service->err().join(u'\n').toStdString();
    EXPECT_TRUE(waitForLine(unprintedIcon(3), 5000)) << service->out().filter(QStringLiteral("Icono")).join(u'\n').toStdString();
    const qint64 failedAfterMs = clock.elapsed();

    // The printer reads again. The jobs were canceled before they counted as failed: none comes out
    // late, but for what had already reached the printer's own connection before it hung.
    answering = true;
    for (QTcpSocket* c : std::as_const(connections)) {
        c->setReadBufferSize(0);
        readAll(c);
    }
    QTest::qWait(5000);
    int late = 0;
    for (int i = 0; i < 3; ++i) {
        const qsizetype copies = escposText(received).count(QStringLiteral("%1-c%2").arg(mark).arg(i).toLatin1());
        EXPECT_LE(copies, 1) << i;
        late += static_cast<int>(copies);
    }
    EXPECT_LE(late, 1);
    EXPECT_EQ(statesOf(listJournal(folder))["fallido"], 3) << journalText(folder).toStdString();
    figure(QStringLiteral("faults/a raw printer that stops answering"),
           QStringLiteral("handed out 3, listed failed after %1 s (espera_papel=10), their jobs canceled; %2 came out "
                          "late when it read again (bytes it held before it hung)")
               .arg(static_cast<double>(failedAfterMs) / 1000.0, 0, 'f', 1)
               .arg(late));
}


// The kitchen's raw queue points at an address where nobody answers: CUPS keeps connecting. The
// documents are held and the printer's trouble told once, their jobs canceled so that none comes
// out late, and each prints once when the address answers again.
TEST_F(FaultsOnPaper, AKitchenPrinterWhoseAddressNobodyAnswers) {
    ReceiptPrinterStandIn printer;
    printer.setRefuseConnections(true);
    ASSERT_TRUE(cups.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("Cocina")}));
    ASSERT_TRUE(cups.addQueue(QStringLiteral("Cocina"), OwnCups::Driver::Raw, printer.address()));
    writeSettings("[General]\nespera_papel=5\n");
    FakeCentralServer server({{Kind::Answer, mixedAnswer(mark, 2, 0)}});
    startService(server);

    const QString told = QStringLiteral("Globo [advertencia] Impresora: Cocina: no responde");
    const bool held = QTest::qWaitFor([&] {
        return statesOf(listJournal(folder, true))["retenido"] == 2 && service->out().contains(told);
    }, 60000);
    ASSERT_TRUE(held) << journalText(folder).toStdString() << cups.describe().toStdString() << service->err().join(u'\n').toStdString();
    EXPECT_TRUE(service->out().filter(QStringLiteral("Icono [error]")).last().contains(QStringLiteral("Cocina: no responde")));

    printer.setRefuseConnections(false);
    const bool printed = QTest::qWaitFor([&] { return statesOf(listJournal(folder))["impreso"] == 2; }, 60000);
    EXPECT_TRUE(printed) << journalText(folder).toStdString() << cups.describe().toStdString();
    QTest::qWait(3000);  // a canceled job that came out late would show by now
    const QString onPaper = printer.documents().join(u'\n');
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(onPaper.count(QStringLiteral("%1-c%2").arg(mark).arg(i), Qt::CaseInsensitive), 1) << i;
    }
    EXPECT_EQ(service->out().filter(told).size(), 1);
    EXPECT_TRUE(waitForLine(QStringLiteral("Globo [informacion] Impresora: Cocina: lista de nuevo"), 10000));
}

// A logo.bmp that cannot be read: a folder of that name, or a named pipe that nobody writes,
// which would hang a reader that waits for a writer.
TEST_F(FaultsOnPaper, AnUnreadableLogo) {
    for (const bool pipe : {false, true}) {
        SCOPED_TRACE(pipe ? "a named pipe" : "a folder");
        const QString logo = QDir(folder).filePath(QStringLiteral("logo.bmp"));
        if (pipe) {
            ASSERT_EQ(::mkfifo(logo.toLocal8Bit().constData(), 0644), 0);
        } else {
            ASSERT_TRUE(QDir().mkpath(logo));
        }
        const QString m = mark + (pipe ? QStringLiteral("p") : QStringLiteral("d"));
        const QByteArray withInvoices =
            answer({kitchenTicket(QStringLiteral("Cocina"), m + QStringLiteral("-c0"))}, {},
                   {invoice(m + QStringLiteral("-f0"), QStringLiteral("Factura de venta")),
                    invoice(m + QStringLiteral("-f1"), QStringLiteral("Precuenta"))},
                   false);
        FakeCentralServer server({{Kind::Answer, withInvoices}, {Kind::Answer, mixedAnswer(m + QStringLiteral("x"), 1, 1)}});
        startService(server);
        // The answer after it is handled too: the service did not hang on the logo.
        EXPECT_TRUE(QTest::qWaitFor([&] { return server.scriptDone(); }, 60000));
        const Tally t = account(pipe ? QStringLiteral("logo.bmp a named pipe") : QStringLiteral("logo.bmp a folder"), 5, 5);
        // The invoices print without the logo, and the answer tells it once.
        EXPECT_EQ(t.onPaperOnce, 5);
        EXPECT_EQ(service->out().filter(QStringLiteral("No se pudo leer el logo")).size(), 1)
            << service->out().filter(QStringLiteral("Globo")).join(u'\n').toStdString();
        EXPECT_TRUE(service->running());
        service->stop(20000);
        service.reset();
        QFile::remove(logo);
        QDir(logo).removeRecursively();
        QFile::remove(QDir(folder).filePath(QStringLiteral("trabajos.db")));
        cups.clearPaper();
    }
}

TEST_F(FaultsOnPaper, TheServerGoneForAMinute) {
    std::vector<Step> script;
    script.push_back({Kind::Answer, mixedAnswer(mark + QStringLiteral("a"), 2, 1)});
    script.push_back({Kind::Down, {}, 60000});
    script.push_back({Kind::Answer, mixedAnswer(mark + QStringLiteral("b"), 2, 1)});
    FakeCentralServer server(std::move(script));
    startService(server);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.scriptDone(); }, 120000));
    const Tally t = account(QStringLiteral("the server gone for a minute"), 6, 6);
    EXPECT_EQ(t.onPaperOnce, 6);

    // The tray told the lost server while it was gone and the connection when it came back; the
    // log told each once.
    const QStringList icons = service->out().filter(QStringLiteral("Icono ["));
    const qsizetype lost = icons.indexOf(QStringLiteral("Icono [desconectado]: Sin conexion con el servidor"));
    ASSERT_GE(lost, 0) << icons.join(u'\n').toStdString();
    EXPECT_GE(icons.indexOf(kConnected, lost), lost) << icons.join(u'\n').toStdString();
    EXPECT_EQ(icons.last(), kConnected);
    const QStringList log = service->err();
    EXPECT_EQ(log.filter(QStringLiteral("El servidor no responde")).size(), 1) << log.join(u'\n').toStdString();
    EXPECT_EQ(log.filter(QStringLiteral("El servidor responde de nuevo")).size(), 1) << log.join(u'\n').toStdString();
}

}  // namespace
}  // namespace kelmora::testing
