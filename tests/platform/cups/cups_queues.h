#pragma once

// The private CUPS daemon that scripts/test starts (scripts/lib/test-env.sh): its queues "Bar",
// "Cocina" and "Facturas" (the default) with a driver that takes PDF, the raw queues "Barra_1"
// (described as "Barra 1") and "Termica", and the jobs that land in their capture files.
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>

namespace kelmora::testing {

struct CapturedJob {
    QString queue;
    int id = 0;
    QString title;
    QByteArray bytes;
};

class CupsQueues : public ::testing::Test {
protected:
    static inline const QStringList kQueues{QStringLiteral("Bar"), QStringLiteral("Barra_1"), QStringLiteral("Cocina"),
                                            QStringLiteral("Facturas"), QStringLiteral("Termica")};
    // The printers the service sees: the queues, then the descriptions that name no queue.
    static inline const QStringList kPrinterNames = kQueues + QStringList{QStringLiteral("Barra 1")};

    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("CUPS_SERVER") || qEnvironmentVariableIsEmpty("KELMORA_TEST_CUPS_OUT")) {
            GTEST_SKIP() << "needs the private CUPS daemon that scripts/test starts";
        }
        out_ = QDir(qEnvironmentVariable("KELMORA_TEST_CUPS_OUT"));
        seen_ = jobFiles();
    }

    // Whatever a test did to the queues, the next one finds them as scripts/test made them:
    // working, empty, no others, "Facturas" the default.
    void TearDown() override {
        if (IsSkipped()) return;
        run(QStringLiteral("cancel"), {QStringLiteral("-a")});
        QProcess lpstat;
        lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-e")});
        ASSERT_TRUE(lpstat.waitForFinished(30000));
        for (const QString& queue : QString::fromUtf8(lpstat.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
            if (!kQueues.contains(queue)) run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), queue});
        }
        for (const QString& queue : kQueues) {
            run(QStringLiteral("cupsenable"), {queue});
            run(QStringLiteral("cupsaccept"), {queue});
        }
        run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("Facturas")});
    }

    static void run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForFinished(30000)) << program.toStdString();
        ASSERT_EQ(process.exitCode(), 0) << program.toStdString() << " "
                                         << process.readAllStandardError().toStdString();
    }

    // The jobs that landed since the test began, in the order CUPS took them; waits until there
    // are `count` of them (a test failure when they do not come).
    QList<CapturedJob> newJobs(int count) {
        QElapsedTimer waited;
        waited.start();
        while (newJobFiles().size() < count && waited.elapsed() < 10000) QThread::msleep(20);
        QList<CapturedJob> jobs;
        for (const QString& name : newJobFiles()) {
            const auto match = jobName().match(name);
            QFile data(out_.filePath(name));
            QFile title(out_.filePath(name + QStringLiteral(".title")));
            EXPECT_TRUE(data.open(QIODevice::ReadOnly) && title.open(QIODevice::ReadOnly)) << name.toStdString();
            jobs.append(CapturedJob{match.captured(1), match.captured(2).toInt(), QString::fromUtf8(title.readAll()),
                                    data.readAll()});
        }
        std::sort(jobs.begin(), jobs.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
        EXPECT_EQ(jobs.size(), count);
        return jobs;
    }

public:
    // The next `count` jobs to land since the test began or the last ones taken, which are not
    // counted again.
    QList<CapturedJob> takeNewJobs(int count) {
        const QList<CapturedJob> jobs = newJobs(count);
        for (const CapturedJob& job : jobs) seen_.append(QStringLiteral("%1.%2").arg(job.queue).arg(job.id));
        return jobs;
    }

protected:
    // No job is waiting on any queue and none landed.
    void expectNoJob() {
        QProcess lpstat;
        lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-o")});
        ASSERT_TRUE(lpstat.waitForFinished(30000));
        EXPECT_EQ(lpstat.readAllStandardOutput(), "");
        EXPECT_EQ(newJobFiles(), QStringList());
    }

private:
    static const QRegularExpression& jobName() {
        static const QRegularExpression name(QStringLiteral("^(\\w+)\\.(\\d+)$"));
        return name;
    }
    QStringList jobFiles() const {
        return out_.entryList(QDir::Files).filter(jobName());
    }
    QStringList newJobFiles() const {
        QStringList fresh;
        for (const QString& name : jobFiles()) {
            if (!seen_.contains(name)) fresh.append(name);
        }
        return fresh;
    }

    QDir out_;
    QStringList seen_;
};

}  // namespace kelmora::testing
