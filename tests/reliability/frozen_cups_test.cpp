// The print service's own pieces, in this process, against a scheduler that hangs: printing runs on
// its thread, so the event loop that runs the tray, the windows and the polls goes on.
#include "own_cups.h"
#include "reliability_support.h"

#include "platform/clock.h"
#include "platform/cups/cups_printer_system.h"
#include "platform/net/network_page_loader.h"
#include "platform/sqlite/sqlite_journal.h"
#include "platform/timer.h"
#include "printing/seleccion_impresora.h"
#include "shell/ciclo_consulta.h"
#include "shell/cola_impresion.h"
#include "shell/despachador.h"
#include "shell/hilo_impresion.h"
#include "support/service_fakes.h"
#include "support/fake_central_server.h"
#include "support/test_support.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace kelmora::testing {
namespace {

constexpr int kFreezeMs = 10000;
constexpr int kTickets = 20;

// The documents of the journal that the answer with this id brought.
int documentsOf(platform::Journal& journal, qint64 answer) {
    using S = paper::DocumentState;
    int n = 0;
    for (const auto& d : journal.documentsIn({S::Pending, S::Sending, S::Sent, S::Printed, S::Held, S::Failed})) {
        n += d.answerId == answer ? 1 : 0;
    }
    return n;
}

TEST(FrozenCups, PollsKeepTheirRhythmAndAnswersAreRecordedWhileTheSchedulerHangs) {
    if (!OwnCups::available()) GTEST_SKIP() << "needs the machine's cupsd";
    int argc = 1;
    char name[] = "frozen_cups_test";
    char* argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);

    OwnCups cups;
    ASSERT_TRUE(cups.start());
    ASSERT_TRUE(cups.addQueue(QStringLiteral("Cocina"), OwnCups::Driver::Raw));
    ASSERT_TRUE(cups.addQueue(QStringLiteral("Facturas"), OwnCups::Driver::Raw));
    ASSERT_TRUE(cups.run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("Facturas")}));
    qputenv("CUPS_SERVER", cups.socket().toUtf8());
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());

    // Answer 1: twenty kitchen tickets; the scheduler hangs as soon as it is handed out. Answer 2,
    // one ticket, comes a few polls later, while it still hangs.
    QByteArrayList tickets;
    for (int i = 1; i <= kTickets; ++i) tickets << kitchenTicket(QStringLiteral("Cocina"), QString::number(i));
    const QByteArray second = answer({kitchenTicket(QStringLiteral("Cocina"), QStringLiteral("99"))}, {}, {}, false);
    FakeCentralServer server({{FakeCentralServer::Step::Kind::Answer, answer(tickets, {}, {}, false)},
                              {FakeCentralServer::Step::Kind::Answer, kEmptyAnswer},
                              {FakeCentralServer::Step::Kind::Answer, kEmptyAnswer},
                              {FakeCentralServer::Step::Kind::Answer, second}});
    ASSERT_TRUE(server.listening());
    QElapsedTimer sinceFreeze;
    server.onAnswer = [&](std::size_t poll) {
        if (poll == 0) {
            cups.freeze();
            sinceFreeze.start();
        }
    };

    // The service's pieces as the service wires them, the journal on disk.
    platform::SystemClock clock;
    RecordingNotifier tray;
    RecordingLog log;
    auto journal = platform::SqliteJournal::open(folder.filePath(QStringLiteral("trabajos.db"))).journal;
    shell::HiloImpresion printingThread;
    platform::CupsPrinterSystem printers;
    shell::AvisosDesdeOtroHilo balloons(tray);
    SeleccionImpresora selection(printers, balloons);
    FakePictureLoader pictures;
    shell::LadoImpresion printingSide{selection, balloons, clock, pictures, folder.path()};
    platform::SystemTimer revision;
    shell::ColaImpresion queue(shell::ColaImpresion::Servicios{*journal, printingThread, printingSide, tray, clock,
                                                               QLocale::system(), log, &revision, {}, {}, {}, {}});
    ConfigImpresion config(QLocale::system());
    shell::Despachador dispatcher(config, queue);
    RecordingView view;
    platform::NetworkPageLoader loader;
    platform::SystemTimer pollTimer;
    platform::SystemTimer fetchTimeout;
    shell::CicloConsulta cycle(shell::CicloConsulta::Servicios{view, loader, pollTimer, fetchTimeout,
                                                            [&](const Value& payload, const QString& json) {
                                                                dispatcher.setComunicacion(payload, json);
                                                            }},
                               shell::urlConsulta(server.url(), QStringLiteral("123451234512345")));

    // How late the event loop runs a 20 ms timer, at worst, while the scheduler hangs.
    qint64 worstLateMs = 0;
    QElapsedTimer lastBeat;
    QTimer heartbeat;
    heartbeat.setInterval(20);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        if (sinceFreeze.isValid() && sinceFreeze.elapsed() < kFreezeMs) {
            worstLateMs = std::max(worstLateMs, lastBeat.elapsed() - 20);
        }
        lastBeat.restart();
    });
    lastBeat.start();
    heartbeat.start();

    queue.iniciar();
    cycle.iniciar();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sinceFreeze.isValid(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sinceFreeze.elapsed() >= kFreezeMs; }, kFreezeMs + 5000));
    // Before the scheduler wakes: the second answer is in the journal, whole.
    const int secondRecorded = documentsOf(*journal, 2);
    const std::vector<qint64> arrivals = server.arrivalsMs;
    cups.resume();

    EXPECT_EQ(secondRecorded, 1) << log.lines.join(u'\n').toStdString();
    EXPECT_LT(worstLateMs, 100);
    // The polls while it hung came on their 1.5 s rhythm: no gap as long as two intervals.
    ASSERT_GE(arrivals.size(), 6u);
    qint64 widestGapMs = 0;
    for (std::size_t i = 1; i < arrivals.size(); ++i) widestGapMs = std::max(widestGapMs, arrivals[i] - arrivals[i - 1]);
    EXPECT_LT(widestGapMs, 2 * shell::limites::intervaloConsultaMs);
    figure(QStringLiteral("frozen-cups/worst-event-loop-delay-ms"), QString::number(worstLateMs));
    figure(QStringLiteral("frozen-cups/widest-poll-gap-ms"), QString::number(widestGapMs));

    // Once it wakes, every ticket of both answers comes out once.
    const bool allOut = QTest::qWaitFor([&] { return cups.jobs().size() >= kTickets + 1; }, 60000);
    EXPECT_TRUE(allOut) << cups.describe().toStdString() << log.lines.join(u'\n').toStdString();
    std::map<qint64, int> paper = cups.onPaper();
    EXPECT_EQ(paper.size(), static_cast<std::size_t>(kTickets + 1));
    for (const auto& [id, copies] : paper) EXPECT_EQ(copies, 1) << "document " << id;
    printingThread.detener();
}

}  // namespace
}  // namespace kelmora::testing
