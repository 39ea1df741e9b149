// Load on the real service and a CUPS daemon set up as out of the box (at most 500 jobs, finished
// jobs kept): one answer of 5,000 kitchen tickets on one receipt printer, the daemon frozen for
// 10 s in the middle of an answer of 400, and a system stop in the middle of an answer of 400 with
// a start after it. Every ticket on paper once, in the answer's order. Release build only.
#include "reliability_support.h"

namespace kelmora::testing {
namespace {

using Kind = FakeCentralServer::Step::Kind;

class Load : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OwnCups::available()) GTEST_SKIP() << "needs the machine's cupsd";
        ASSERT_TRUE(cups.start());
        // A receipt printer, the kind that takes a kitchen's rush.
        ASSERT_TRUE(cups.addQueue(QStringLiteral("Cocina"), OwnCups::Driver::Raw));
        ASSERT_TRUE(cups.addQueue(QStringLiteral("Facturas"), OwnCups::Driver::Pdf));
        ASSERT_TRUE(cups.run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("Facturas")}));
        folder = work.filePath(QStringLiteral("prog"));
        ASSERT_TRUE(QDir().mkpath(folder));
        mark = QStringLiteral("N%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
    }

    std::unique_ptr<Service> start(const FakeCentralServer& server) {
        return std::make_unique<Service>(cups, folder, server.url(),
                                         QStringList{QStringLiteral("--poll-interval-ms"), QStringLiteral("500")}, false);
    }

    int onPaper() const { return static_cast<int>(cups.jobs().size()); }
    // Documents the service has handed to CUPS, by its log.
    static int sent(const Service& service) {
        return static_cast<int>(service.err().filter(QRegularExpression(QStringLiteral("^Documento \\d+: .*: enviado"))).size());
    }

    // Every document on Cocina once, in the order of the journal, which is the answer's.
    void expectAllOnceInOrder(int n, const Tally& t) {
        EXPECT_EQ(t.journaled, n) << t.summary().toStdString();
        EXPECT_EQ(t.onPaperOnce, n) << t.summary().toStdString() << "\n" << t.problems.mid(0, 20).join(u'\n').toStdString();
        EXPECT_EQ(t.duplicated, 0) << t.problems.mid(0, 20).join(u'\n').toStdString();
        EXPECT_EQ(t.stray, 0);
        const std::vector<qint64> ids = journalIdsInJobOrder(cups, QStringLiteral("Cocina"));
        EXPECT_EQ(static_cast<int>(ids.size()), n) << "some went elsewhere:\n" << elsewhere().toStdString();
        int outOfOrder = 0;
        for (std::size_t i = 1; i < ids.size(); ++i) outOfOrder += ids[i] > ids[i - 1] ? 0 : 1;
        EXPECT_EQ(outOfOrder, 0);
        // And each is the ticket of its place in the answer: the first job carries the first table.
        const std::vector<OwnCups::Job> jobs = cups.jobs(true);
        if (!jobs.empty()) {
            EXPECT_TRUE(escposText(jobs.front().bytes).contains((mark + QStringLiteral("-0")).toLatin1()));
            EXPECT_TRUE(escposText(jobs.back().bytes).contains((mark + QStringLiteral("-%1").arg(n - 1)).toLatin1()));
        }
    }

    // The jobs on other queues than Cocina, with the journal's line and the log's for each.
    QString elsewhere() const {
        QString text;
        const std::map<qint64, Listed> listed = listJournal(folder);
        for (const OwnCups::Job& job : cups.jobs()) {
            if (job.queue == u"Cocina") continue;
            text += QStringLiteral("%1-%2 \"%3\": ").arg(job.queue).arg(job.cupsId).arg(job.title);
            const auto found = listed.find(job.journalId);
            if (found != listed.end()) text += found->second.line.simplified();
            text += u'\n';
            if (current) {
                text += current->err().filter(QRegularExpression(QStringLiteral("^Documento %1: ").arg(job.journalId))).join(u'\n');
                text += u'\n';
            }
        }
        return text;
    }

    Service* current = nullptr;
    OwnCups cups;
    QTemporaryDir work;
    QString folder;
    QString mark;
};

TEST_F(Load, FiveThousandTicketsInOneAnswer) {
    constexpr int kTickets = 5000;
    qint64 sentAt = 0;
    QElapsedTimer clock;
    FakeCentralServer server({{Kind::Answer, ticketsAnswer(QStringLiteral("Cocina"), mark, kTickets)}});
    server.onAnswer = [&](std::size_t n) {
        if (n == 0) sentAt = clock.elapsed();
    };
    clock.start();
    auto service = start(server);
    qint64 journaledAt = 0;
    const bool done = QTest::qWaitFor([&] {
        if (journaledAt == 0 && service->err().filter(QStringLiteral("Respuesta 1 con")).size() == 1) journaledAt = clock.elapsed();
        return onPaper() >= kTickets || !service->running();
    }, 800000);
    const qint64 lastOnPaperAt = clock.elapsed();
    EXPECT_TRUE(done) << onPaper() << " on paper";
    const Tally t = settle(cups, folder, kTickets, kTickets, 60000);
    expectAllOnceInOrder(kTickets, t);
    const QStringList log = service->err();
    const int held = static_cast<int>(log.filter(QStringLiteral("retenido")).size());
    figure(QStringLiteral("load/5000 tickets in one answer"),
           QStringLiteral("%1; answer recorded %2 s after it was sent, last ticket on paper after %3 s (%4 tickets/s); "
                          "%5 log lines of documents held by the printing system's limit; %6 log lines in all")
               .arg(t.summary())
               .arg(static_cast<double>(journaledAt - sentAt) / 1000.0, 0, 'f', 1)
               .arg(static_cast<double>(lastOnPaperAt - sentAt) / 1000.0, 0, 'f', 1)
               .arg(kTickets * 1000.0 / static_cast<double>(lastOnPaperAt - sentAt), 0, 'f', 1)
               .arg(held)
               .arg(log.size()));
    EXPECT_EQ(service->stop(), 0);
}

TEST_F(Load, ThePrintingSystemFrozenForTenSecondsInTheMiddleOfAnAnswer) {
    constexpr int kTickets = 400;
    FakeCentralServer server({{Kind::Answer, ticketsAnswer(QStringLiteral("Cocina"), mark, kTickets)}});
    QElapsedTimer clock;
    clock.start();
    auto service = start(server);
    current = service.get();
    // In the middle of handing the answer to CUPS.
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent(*service) >= 150; }, 120000)) << sent(*service);
    cups.freeze();
    const int atFreeze = onPaper();
    const int sentAtFreeze = sent(*service);
    EXPECT_LT(sentAtFreeze, kTickets);
    QTest::qWait(10000);
    cups.resume();
    const qint64 resumedAt = clock.elapsed();
    EXPECT_TRUE(QTest::qWaitFor([&] { return onPaper() >= kTickets; }, 300000)) << onPaper();
    const qint64 doneAt = clock.elapsed();
    const Tally t = settle(cups, folder, kTickets, kTickets, 60000);
    expectAllOnceInOrder(kTickets, t);
    figure(QStringLiteral("load/CUPS frozen 10 s in a 400-ticket answer"),
           QStringLiteral("%1; frozen with %2 sent and %3 on paper; the rest on paper %4 s after it woke")
               .arg(t.summary())
               .arg(sentAtFreeze)
               .arg(atFreeze)
               .arg(static_cast<double>(doneAt - resumedAt) / 1000.0, 0, 'f', 1));
    EXPECT_TRUE(service->running());
    EXPECT_EQ(service->stop(), 0);
}

TEST_F(Load, AStopInTheMiddleOfAnAnswerAndAStartAfterIt) {
    constexpr int kTickets = 400;
    FakeCentralServer server({{Kind::Answer, ticketsAnswer(QStringLiteral("Cocina"), mark, kTickets)}});
    auto service = start(server);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent(*service) >= 150; }, 120000)) << sent(*service);
    QElapsedTimer stopping;
    stopping.start();
    // The document under way is finished; the service ends promptly and well.
    EXPECT_EQ(service->stop(20000), 0);
    const qint64 stopMs = stopping.elapsed();
    const std::map<std::string, int> left = statesOf(listJournal(folder));
    EXPECT_GT(left.count("pendiente") ? left.at("pendiente") : 0, 0) << "nothing was left to print after the stop";
    EXPECT_EQ(left.count("enviando") ? left.at("enviando") : 0, 0);
    const int atStop = onPaper();
    QStringList afterStop;
    for (const auto& [state, n] : left) afterStop << QStringLiteral("%1 %2").arg(n).arg(QString::fromStdString(state));

    // The next start prints what was left, and the server has nothing new for it.
    FakeCentralServer quiet({});
    service = start(quiet);
    EXPECT_TRUE(QTest::qWaitFor([&] { return onPaper() >= kTickets; }, 300000)) << onPaper();
    const Tally t = settle(cups, folder, kTickets, kTickets, 60000);
    expectAllOnceInOrder(kTickets, t);
    figure(QStringLiteral("load/SIGTERM in a 400-ticket answer, then a start"),
           QStringLiteral("%1; exit 0 %2 ms after SIGTERM with %3 on paper; journal then: %4")
               .arg(t.summary())
               .arg(stopMs)
               .arg(atStop)
               .arg(afterStop.join(QStringLiteral(", "))));
    EXPECT_EQ(service->stop(), 0);
}

}  // namespace
}  // namespace kelmora::testing
