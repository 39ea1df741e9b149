// The real service killed (SIGKILL) at random moments while it prints answers of 20 kitchen
// tickets, and started again on the same program folder each time: at the end every ticket the
// journal holds is on paper exactly once. Release build only.
#include "reliability_support.h"

namespace kelmora::testing {
namespace {

using Kind = FakeCentralServer::Step::Kind;

// For each document on paper more than once: its jobs, and what each run of the service logged
// of it (the runs' standard error files lie beside the program folder, numbered in order).
QString duplicatesTold(const OwnCups& cups, const QString& folder) {
    QString text;
    std::map<qint64, QStringList> jobs;
    for (const OwnCups::Job& job : cups.jobs()) {
        QFileInfo file(QDir(cups.outFolder()).filePath(QStringLiteral("%1.%2").arg(job.queue).arg(job.cupsId)));
        jobs[job.journalId] << QStringLiteral("job %1 at %2").arg(job.cupsId).arg(file.lastModified().toString(QStringLiteral("HH:mm:ss.zzz")));
    }
    const QDir beside = QFileInfo(folder).dir();
    QStringList runs = beside.entryList({QFileInfo(folder).fileName() + QStringLiteral(".err.*")}, QDir::Files);
    std::sort(runs.begin(), runs.end(), [](const QString& a, const QString& b) {
        return a.section(u'.', -1).toInt() < b.section(u'.', -1).toInt();
    });
    for (const auto& [id, list] : jobs) {
        if (list.size() < 2) continue;
        text += QStringLiteral("document %1: %2\n").arg(id).arg(list.join(QStringLiteral(", ")));
        for (const QString& run : runs) {
            QFile f(beside.filePath(run));
            if (!f.open(QIODevice::ReadOnly)) continue;
            for (const QByteArray& line : f.readAll().split('\n')) {
                if (line.contains(QStringLiteral("Documento %1:").arg(id).toUtf8())) text += run + u' ' + QString::fromUtf8(line) + u'\n';
            }
        }
    }
    return text;
}

TEST(CrashSafety, FiftyKillsWhilePrinting) {
    if (!OwnCups::available()) GTEST_SKIP() << "needs the machine's cupsd";
    constexpr int kKills = 50;
    constexpr int kAnswers = 160;
    constexpr int kTickets = 20;
    OwnCups cups;
    ASSERT_TRUE(cups.start());
    ASSERT_TRUE(cups.addQueue(QStringLiteral("Cocina"), OwnCups::Driver::Raw));
    ASSERT_TRUE(cups.addQueue(QStringLiteral("Facturas"), OwnCups::Driver::Pdf));
    ASSERT_TRUE(cups.run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("Facturas")}));
    QTemporaryDir work;
    const QString folder = work.filePath(QStringLiteral("prog"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString mark = QStringLiteral("K%1").arg(QRandomGenerator::global()->bounded(100000, 999999));

    std::vector<FakeCentralServer::Step> script;
    for (int a = 0; a < kAnswers; ++a) {
        script.push_back({Kind::Answer, ticketsAnswer(QStringLiteral("Cocina"), QStringLiteral("%1a%2").arg(mark).arg(a), kTickets)});
    }
    FakeCentralServer server(std::move(script));
    ASSERT_TRUE(server.listening());
    int written = 0;
    server.onAnswer = [&](std::size_t n) {
        if (n < static_cast<std::size_t>(kAnswers)) ++written;
    };
    const QStringList options{QStringLiteral("--poll-interval-ms"), QStringLiteral("700")};

    QRandomGenerator random(QRandomGenerator::global()->generate());
    int kills = 0;
    int refusedStarts = 0;
    QStringList killedAt;
    while (kills < kKills && written < kAnswers) {
        Service service(cups, folder, server.url(), options, false);
        ASSERT_TRUE(service.running());
        // Killed while it records and prints the answer it is handed, or, now and then, before.
        const int before = written;
        const bool early = random.bounded(6) == 0;
        if (!early) (void)QTest::qWaitFor([&] { return written > before || !service.running(); }, 5000);
        const int delayMs = static_cast<int>(random.bounded(early ? 600 : 1200));
        QTest::qWait(delayMs);
        if (!service.running()) {
            // A start refused (the previous one's lock), which would show in its output.
            ++refusedStarts;
            ADD_FAILURE() << "the service ended by itself: " << service.rawErr().toStdString();
            continue;
        }
        service.signal(SIGKILL);
        EXPECT_EQ(service.waitForExit(10000), -1);
        killedAt << QStringLiteral("%1%2").arg(early ? QStringLiteral("e") : QString()).arg(delayMs);
        ++kills;
    }
    EXPECT_EQ(kills, kKills) << "the script ran out first";

    // The last start: it prints whatever was left, and the rest of the script.
    Service last(cups, folder, server.url(), options, false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.scriptDone(); }, 120000));
    const std::map<qint64, Listed> listed = listJournal(folder);
    const int journaled = static_cast<int>(listed.size());
    const Tally t = settle(cups, folder, journaled, journaled, 300000);
    // Every document recorded is on paper exactly once: none twice, none lost, none left.
    EXPECT_EQ(t.duplicated, 0) << t.problems.mid(0, 30).join(u'\n').toStdString() << "\n" << duplicatesTold(cups, folder).toStdString();
    EXPECT_EQ(t.onPaperOnce, journaled) << t.summary().toStdString() << "\n"
                                        << t.problems.mid(0, 30).join(u'\n').toStdString() << cups.describe().toStdString();
    EXPECT_EQ(t.stray, 0);

    // Answers the server wrote that never reached the journal: killed between the server's
    // write and the journal's commit. Each is a whole answer, never part of one.
    std::map<int, int> perAnswer;
    static const QRegularExpression table(QStringLiteral("Mesa K\\d+a(\\d+)-\\d+"));
    for (const auto& [id, doc] : listed) {
        const auto m = table.match(doc.line);
        if (m.hasMatch()) ++perAnswer[m.captured(1).toInt()];
    }
    int partial = 0;
    for (const auto& [answerNumber, n] : perAnswer) partial += n == kTickets ? 0 : 1;
    EXPECT_EQ(partial, 0);
    const int unrecorded = written - static_cast<int>(perAnswer.size());
    EXPECT_LE(unrecorded, kills);
    EXPECT_EQ(journaled, static_cast<int>(perAnswer.size()) * kTickets);
    figure(QStringLiteral("crash/50 SIGKILLs while printing answers of 20 tickets"),
           QStringLiteral("%1 kills, %2 answers written by the server, %3 recorded (%4 tickets), %5 written but killed "
                          "before the journal took them; on paper once %6, twice or more %7, not on paper %8; "
                          "kill delays (ms after the answer, e = after the start): %9")
               .arg(kills)
               .arg(written)
               .arg(perAnswer.size())
               .arg(journaled)
               .arg(unrecorded)
               .arg(t.onPaperOnce)
               .arg(t.duplicated)
               .arg(journaled - t.onPaperOnce - t.duplicated)
               .arg(killedAt.join(u' ')));
    EXPECT_EQ(refusedStarts, 0);
}

}  // namespace
}  // namespace kelmora::testing
