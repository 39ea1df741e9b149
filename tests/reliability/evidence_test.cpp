// "Impreso" only on evidence, with the real service on a CUPS daemon of the test's own: a
// scheduler killed with a backlog, a queue deleted with jobs on it, a queue paused past the paper
// limit, a full disk, and a second copy on the same program folder. Each counts the tickets the
// server handed out against the copies on paper, told apart by the REIMPRESIÓN line the service
// puts on a copy it cannot be sure is the first.
#include "reliability_support.h"

#include <QStorageInfo>

#include <sys/mount.h>

namespace kelmora::testing {
namespace {

using Kind = FakeCentralServer::Step::Kind;

// What became of the tickets handed out.
struct Outcome {
    int handedOut = 0;
    int once = 0;             // on paper once, marked or not
    int twiceMarked = 0;      // more than once, every copy after the first headed REIMPRESIÓN
    int twiceUnmarked = 0;    // more than once with two or more unmarked copies
    int listedUnprinted = 0;  // on no paper, listed as failed, held or expired
    int lost = 0;             // on no paper and not listed
    int unfinished = 0;       // still pending, being sent or sent
    QStringList problems;

    QString summary() const {
        return QStringLiteral("handed out %1, printed once %2, twice marked %3, twice unmarked %4, listed unprinted "
                              "%5, lost %6, unfinished %7")
            .arg(handedOut).arg(once).arg(twiceMarked).arg(twiceUnmarked).arg(listedUnprinted).arg(lost).arg(unfinished);
    }
};

Outcome outcome(const OwnCups& cups, const QString& folder, int handedOut) {
    struct Copies {
        int plain = 0;
        int marked = 0;
    };
    std::map<qint64, Copies> copies;
    for (const OwnCups::Job& job : cups.jobs(true)) {
        if (job.journalId == 0) continue;
        Copies& c = copies[job.journalId];
        (escposText(job.bytes).contains("REIMPRESI\xd3N") ? c.marked : c.plain) += 1;
    }
    Outcome o;
    o.handedOut = handedOut;
    const std::map<qint64, Listed> listed = listJournal(folder);
    for (const auto& [id, doc] : listed) {
        const Copies c = copies[id];
        const int n = c.plain + c.marked;
        if (n == 1) {
            ++o.once;
        } else if (n > 1) {
            (c.plain <= 1 ? o.twiceMarked : o.twiceUnmarked) += 1;
            if (c.plain > 1) o.problems << QStringLiteral("%1 unmarked copies: %2").arg(c.plain).arg(doc.line.simplified());
        } else if (doc.state == u"fallido" || doc.state == u"retenido" || doc.state == u"vencido") {
            ++o.listedUnprinted;
        } else if (doc.state == u"impreso" || doc.state == u"descartado") {
            ++o.lost;
            o.problems << QStringLiteral("lost: %1").arg(doc.line.simplified());
        } else {
            ++o.unfinished;
        }
    }
    o.lost += handedOut - static_cast<int>(listed.size());
    return o;
}

class Evidence : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OwnCups::available()) GTEST_SKIP() << "needs the machine's cupsd";
        ASSERT_TRUE(cups.start());
        folder = work.filePath(QStringLiteral("prog"));
        ASSERT_TRUE(QDir().mkpath(folder));
        mark = QStringLiteral("E%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
    }
    void TearDown() override {
        if (service) service->stop(20000);
    }

    // Receipt printers, so that each copy's text can be read: Cocina (slow when asked) and the
    // default Facturas.
    void receiptPrinters(double cocinaSeconds) {
        ASSERT_TRUE(cups.addQueue(QStringLiteral("Cocina"), OwnCups::Driver::Raw,
                                  cocinaSeconds > 0 ? cups.slowDevice(QStringLiteral("Cocina"), cocinaSeconds) : QString()));
        ASSERT_TRUE(cups.addQueue(QStringLiteral("Facturas"), OwnCups::Driver::Raw));
        ASSERT_TRUE(cups.run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("Facturas")}));
    }

    void startService(const FakeCentralServer& server) {
        service = std::make_unique<Service>(cups, folder, server.url(),
                                            QStringList{QStringLiteral("--poll-interval-ms"), QStringLiteral("500")}, false);
        ASSERT_TRUE(service->running());
    }

    int onPaper() const { return static_cast<int>(cups.jobs().size()); }

    // Waits until nothing is left under way, then counts, names the figure and checks the rules:
    // nothing lost, no unmarked second copy.
    Outcome settleAndCount(const QString& name, int handedOut, int ms = 90000) {
        Outcome o;
        (void)QTest::qWaitFor([&] {
            o = outcome(cups, folder, handedOut);
            return o.unfinished == 0 && o.lost == 0;
        }, ms);
        o = outcome(cups, folder, handedOut);
        figure(QStringLiteral("evidence/") + name, o.summary());
        EXPECT_EQ(o.lost, 0) << o.problems.join(u'\n').toStdString() << "\n"
                             << service->err().join(u'\n').toStdString() << "\n" << cups.describe().toStdString();
        EXPECT_EQ(o.unfinished, 0) << journalText(folder).toStdString();
        EXPECT_EQ(o.twiceUnmarked, 0) << o.problems.join(u'\n').toStdString();
        return o;
    }

    OwnCups cups;
    QTemporaryDir work;
    QString folder;
    QString mark;
    std::unique_ptr<Service> service;
};

TEST_F(Evidence, TheSchedulerKilledWithABacklog) {
    receiptPrinters(0.15);
    // A scheduler writes its queues down a while after they change: long before, at a branch.
    cups.stop();
    ASSERT_TRUE(cups.start());
    constexpr int kTickets = 80;
    FakeCentralServer server({{Kind::Answer, ticketsAnswer(QStringLiteral("Cocina"), mark, kTickets)}});
    startService(server);
    ASSERT_TRUE(QTest::qWaitFor([&] { return onPaper() >= 10; }, 60000)) << onPaper();
    cups.kill();
    ASSERT_TRUE(cups.start());
    const Outcome o = settleAndCount(QStringLiteral("scheduler killed with a backlog"), kTickets, 180000);
    // Whatever the scheduler forgot was printed again, and the log says why.
    const int forgotten = static_cast<int>(service->err().filter(QStringLiteral("ya no tiene su trabajo")).size());
    figure(QStringLiteral("evidence/scheduler killed with a backlog: jobs forgotten"), QString::number(forgotten));
    EXPECT_EQ(o.once + o.twiceMarked, kTickets);
}

TEST_F(Evidence, AQueueDeletedWithJobsOnIt) {
    receiptPrinters(0.2);
    constexpr int kTickets = 30;
    FakeCentralServer server({{Kind::Answer, ticketsAnswer(QStringLiteral("Cocina"), mark, kTickets)}});
    startService(server);
    ASSERT_TRUE(QTest::qWaitFor([&] { return onPaper() >= 5; }, 60000)) << onPaper();
    ASSERT_TRUE(cups.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("Cocina")}));
    settleAndCount(QStringLiteral("queue deleted with jobs on it"), kTickets);
    // The rest came out on the default printer, each headed as a copy.
    int onDefault = 0;
    for (const OwnCups::Job& job : cups.jobs(true)) {
        if (job.queue != u"Facturas") continue;
        ++onDefault;
        EXPECT_TRUE(escposText(job.bytes).contains("REIMPRESI\xd3N")) << job.title.toStdString();
    }
    EXPECT_GT(onDefault, 0);
}

TEST_F(Evidence, AQueuePausedPastThePaperLimitThenStarted) {
    receiptPrinters(1.0);
    QFile ini(QDir(folder).filePath(QStringLiteral("kelmora.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\nespera_papel=5\n");
    ini.close();
    constexpr int kTickets = 8;
    FakeCentralServer server({{Kind::Answer, ticketsAnswer(QStringLiteral("Cocina"), mark, kTickets)}});
    startService(server);
    // Paused with its jobs queued, as a printer out of paper leaves them.
    ASSERT_TRUE(QTest::qWaitFor([&] { return onPaper() >= 1; }, 30000));
    ASSERT_TRUE(cups.run(QStringLiteral("cupsdisable"), {QStringLiteral("Cocina")}));
    std::map<qint64, Listed> failed;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        failed.clear();
        for (const auto& [id, doc] : listJournal(folder)) {
            if (doc.state == u"fallido") failed[id] = doc;
        }
        return static_cast<int>(failed.size()) >= kTickets - 2;
    }, 60000)) << journalText(folder).toStdString() << service->err().join(u'\n').toStdString();
    // Staff reprint two while the queue is still paused: they come out on the default printer.
    int reprinted = 0;
    for (auto it = failed.cbegin(); it != failed.cend() && reprinted < 2; ++it, ++reprinted) {
        QProcess reprint;
        reprint.start(QStringLiteral(KELMORA_EXE),
                      {QStringLiteral("reimprimir"), QString::number(it->first), QStringLiteral("--dir"), folder});
        ASSERT_TRUE(reprint.waitForFinished(30000));
        EXPECT_EQ(reprint.exitCode(), 0) << reprint.readAllStandardError().toStdString();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return journalIdsInJobOrder(cups, QStringLiteral("Facturas")).size() >= 2; },
                                30000));
    const std::size_t onCocina = journalIdsInJobOrder(cups, QStringLiteral("Cocina")).size();
    ASSERT_TRUE(cups.run(QStringLiteral("cupsenable"), {QStringLiteral("Cocina")}));
    QTest::qWait(6000);
    const Outcome o = settleAndCount(QStringLiteral("queue paused past espera_papel, then started"), kTickets);
    EXPECT_EQ(o.twiceMarked, 0);
    // No late original: the failed documents' jobs were canceled.
    EXPECT_EQ(journalIdsInJobOrder(cups, QStringLiteral("Cocina")).size(), onCocina);
    // On paper: what Cocina printed before it stopped, and the two reprints.
    EXPECT_EQ(o.once, static_cast<int>(onCocina) + 2);
}

TEST_F(Evidence, AFullDiskMidRush) {
    if (::getuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    if (::mount("tmpfs", folder.toLocal8Bit().constData(), "tmpfs", 0, "size=3m") != 0) {
        GTEST_SKIP() << "cannot mount a file system here";
    }
    struct Unmount {
        QString folder;
        ~Unmount() { ::umount2(folder.toLocal8Bit().constData(), MNT_DETACH); }
    } unmount{folder};
    receiptPrinters(0);
    const QString filler = QDir(folder).filePath(QStringLiteral("relleno"));
    const auto fill = [&] {
        QFile f(filler);
        if (!f.open(QIODevice::WriteOnly)) return;
        const QByteArray block(64 * 1024, 'x');
        while (f.write(block) == block.size() && f.flush()) {
        }
        f.write(QByteArray(1, 'x'));
    };
    constexpr int kEach = 10;
    std::vector<FakeCentralServer::Step> script;
    script.push_back({Kind::Answer, ticketsAnswer(QStringLiteral("Cocina"), mark + QStringLiteral("a"), kEach)});
    // The disk fills once the first answer is recorded; two more answers come while it is full.
    script.push_back({Kind::Answer, ticketsAnswer(QStringLiteral("Cocina"), mark + QStringLiteral("b"), kEach), 0, fill});
    script.push_back({Kind::Answer, ticketsAnswer(QStringLiteral("Cocina"), mark + QStringLiteral("c"), kEach)});
    for (int i = 0; i < 10; ++i) script.push_back({Kind::Answer, kEmptyAnswer});
    FakeCentralServer server(std::move(script));
    startService(server);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.scriptDone() && onPaper() >= 3 * kEach; }, 60000)) << onPaper();
    QTest::qWait(5000);  // revision rounds while the disk is still full: nothing may print again
    EXPECT_EQ(onPaper(), 3 * kEach);
    EXPECT_EQ(service->err().filter(QStringLiteral("No se puede escribir en el diario de trabajos")).size(), 1);
    QFile::remove(filler);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !service->err().filter(QStringLiteral("vuelve a guardarse")).isEmpty(); }, 20000))
        << service->err().join(u'\n').toStdString();
    const Outcome o = settleAndCount(QStringLiteral("program folder on a full disk"), 3 * kEach);
    EXPECT_EQ(o.once, 3 * kEach);
}

TEST_F(Evidence, AJournalWithGarbageInTheMiddle) {
    receiptPrinters(0);
    // Everything held: both printers stopped, so that the journal holds 300 unfinished documents.
    for (const char* queue : {"Cocina", "Facturas"}) {
        ASSERT_TRUE(cups.run(QStringLiteral("cupsdisable"), {QString::fromLatin1(queue)}));
    }
    constexpr int kAnswers = 6;
    constexpr int kEach = 50;
    std::vector<FakeCentralServer::Step> script;
    for (int i = 0; i < kAnswers; ++i) {
        script.push_back({Kind::Answer, ticketsAnswer(QStringLiteral("Cocina"), mark + QString::number(i), kEach)});
    }
    FakeCentralServer server(std::move(script));
    startService(server);
    ASSERT_TRUE(QTest::qWaitFor([&] { return statesOf(listJournal(folder))["retenido"] == kAnswers * kEach; }, 60000))
        << journalText(folder).toStdString();
    EXPECT_EQ(service->stop(), 0);
    QFile journal(QDir(folder).filePath(QStringLiteral("trabajos.db")));
    ASSERT_TRUE(journal.open(QIODevice::ReadWrite));
    ASSERT_TRUE(journal.seek(journal.size() / 2));
    QByteArray garbage(8 * 1024, '\0');
    for (char& c : garbage) c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    journal.write(garbage);
    journal.close();

    for (const char* queue : {"Cocina", "Facturas"}) {
        ASSERT_TRUE(cups.run(QStringLiteral("cupsenable"), {QString::fromLatin1(queue)}));
    }
    FakeCentralServer quiet({});
    startService(quiet);
    const QRegularExpression saved(QStringLiteral("se recuperaron (\\d+) documentos sin terminar"));
    QRegularExpressionMatch told;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        told = saved.match(service->err().join(u'\n'));
        return told.hasMatch();
    }, 20000)) << service->err().join(u'\n').toStdString();
    // What the journal could still read prints, once each (or is listed, when the answer it
    // comes from could not be read); nothing else comes out.
    const int carried = told.captured(1).toInt();
    EXPECT_TRUE(QTest::qWaitFor([&] { return statesOf(listJournal(folder))["retenido"] == 0; }, 60000))
        << journalText(folder).toStdString();
    const Outcome o = settleAndCount(QStringLiteral("journal with 8 KiB of garbage in the middle, %1 held: %2 carried over")
                                         .arg(kAnswers * kEach).arg(carried),
                                     carried);
    EXPECT_GT(carried, kAnswers * kEach / 2);
    EXPECT_GT(o.once, carried / 2);
    EXPECT_EQ(o.twiceMarked + o.twiceUnmarked, 0);
}

// The PC's clock corrected while tickets are held, under libfaketime with the monotonic clock
// left alone: set forward by 30 minutes it expires nothing at once, set back by an hour it keeps
// nothing past its minute.
TEST_F(Evidence, TheClockSteppedForwardAndBack) {
    const QString faketime = QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1");
    if (!QFile::exists(faketime)) GTEST_SKIP() << "needs libfaketime";
    receiptPrinters(0);
    for (const char* queue : {"Cocina", "Facturas"}) {
        ASSERT_TRUE(cups.run(QStringLiteral("cupsdisable"), {QString::fromLatin1(queue)}));
    }
    QFile ini(QDir(folder).filePath(QStringLiteral("kelmora.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\nvencimiento_comanda=1\n");
    ini.close();
    const QString offset = work.filePath(QStringLiteral("faketime"));
    const auto setClock = [&](const char* value) {
        QFile f(offset);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(value);
    };
    setClock("+0");
    // The first ticket at once, the second about 30 s later.
    std::vector<FakeCentralServer::Step> script;
    script.push_back({Kind::Answer, ticketsAnswer(QStringLiteral("Cocina"), mark + QStringLiteral("a"), 1)});
    for (int i = 0; i < 60; ++i) script.push_back({Kind::Answer, kEmptyAnswer});
    script.push_back({Kind::Answer, ticketsAnswer(QStringLiteral("Cocina"), mark + QStringLiteral("b"), 1)});
    FakeCentralServer server(std::move(script));
    service = std::make_unique<Service>(
        cups, folder, server.url(), QStringList{QStringLiteral("--poll-interval-ms"), QStringLiteral("500")}, false,
        QMap<QString, QString>{{QStringLiteral("LD_PRELOAD"), faketime},
                               {QStringLiteral("FAKETIME_TIMESTAMP_FILE"), offset},
                               {QStringLiteral("FAKETIME_NO_CACHE"), QStringLiteral("1")},
                               {QStringLiteral("DONT_FAKE_MONOTONIC"), QStringLiteral("1")}});
    QElapsedTimer clock;
    clock.start();
    // When each document was first seen held and first seen expired, in real seconds.
    std::map<qint64, qint64> held;
    std::map<qint64, qint64> expired;
    const auto look = [&] {
        for (const auto& [id, doc] : listJournal(folder)) {
            if (doc.state == u"retenido" && !held.count(id)) held[id] = clock.elapsed();
            if (doc.state == u"vencido" && !expired.count(id)) expired[id] = clock.elapsed();
        }
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { look(); return held.count(1) == 1; }, 20000));
    setClock("+30m");
    ASSERT_TRUE(QTest::qWaitFor([&] { look(); return held.count(2) == 1; }, 60000)) << journalText(folder).toStdString();
    setClock("-30m");
    ASSERT_TRUE(QTest::qWaitFor([&] { look(); return expired.size() == 2; }, 120000)) << journalText(folder).toStdString();
    const double first = static_cast<double>(expired[1] - held[1]) / 1000.0;
    const double second = static_cast<double>(expired[2] - held[2]) / 1000.0;
    figure(QStringLiteral("evidence/clock set forward 30 min, then back an hour, kitchen tickets expiring after 1 min"),
           QStringLiteral("the first expired after %1 s, the second after %2 s").arg(first, 0, 'f', 1).arg(second, 0, 'f', 1));
    for (const double waited : {first, second}) {
        EXPECT_GE(waited, 55.0);
        EXPECT_LE(waited, 70.0);
    }
}

TEST_F(Evidence, ASecondCopyOnTheSameFolderFromAnotherSession) {
    receiptPrinters(0);
    FakeCentralServer server({});
    startService(server);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(QDir(folder).filePath(QStringLiteral("kelmora.lock"))); },
                                10000));
    QProcess second;
    QProcessEnvironment environment = cups.environment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString otherRuntime = work.filePath(QStringLiteral("other-session"));
    QDir().mkpath(otherRuntime);
    QFile::setPermissions(otherRuntime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), otherRuntime);
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(KELMORA_EXE), {QStringLiteral("--headless"), QStringLiteral("--server"), server.url(),
                                               QStringLiteral("--dir"), folder, QStringLiteral("--codigo"), kBranchCode});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_NE(second.exitCode(), 0);
    const QString said = QString::fromUtf8(second.readAllStandardError());
    EXPECT_TRUE(said.contains(QStringLiteral("ya esta en ejecución (proceso %1 ").arg(service->pid())))
        << said.toStdString();
    EXPECT_TRUE(service->running());
}

}  // namespace
}  // namespace kelmora::testing
