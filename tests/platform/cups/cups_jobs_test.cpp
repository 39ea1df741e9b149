// Jobs on the private daemon's queues as the journal above the printers uses them: what each
// delivery records, which failures are the printer's and which the system's, following jobs by
// id, finding them again by name, and a scheduler that stops answering.
#include "platform/cups/cups_queues.h"
#include "platform/qt/pdf_reading.h"

#include "platform/cups/cups_printer_system.h"

#include <QFile>
#include <QTemporaryDir>

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <signal.h>

namespace kelmora::testing {
namespace {

using platform::CupsPrinterSystem;
using platform::JobStatus;
using platform::Printer;
using platform::PrinterError;
using State = JobStatus::State;

class CupsJobs : public CupsQueues {
protected:
    static Printer& selectNamed(CupsPrinterSystem& printers, const QString& name) {
        const int index = static_cast<int>(printers.printerNames().indexOf(name));
        EXPECT_GE(index, 0) << name.toStdString();
        return printers.select(std::max(index, 0));
    }

    // Prints a document of one line and kind "Comanda" on the printer listed under `name`.
    static void printComanda(CupsPrinterSystem& printers, const QString& name) {
        Printer& printer = selectNamed(printers, name);
        printer.setDocumentKind(QStringLiteral("Comanda"));
        printer.printLine(QStringLiteral("Mesa 4"));
        printer.endDoc();
    }

    // A job held on `queue` by `lp`, named `title`; its id.
    static int heldJob(const QString& queue, const QString& title) {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("data")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write("x") == 1 && file.flush());
        QProcess lp;
        lp.start(QStringLiteral("lp"), {QStringLiteral("-d"), queue, QStringLiteral("-H"), QStringLiteral("hold"),
                                        QStringLiteral("-t"), title, file.fileName()});
        EXPECT_TRUE(lp.waitForFinished(30000));
        // "request id is Bar-12 (1 file(s))"
        const auto match =
            QRegularExpression(QStringLiteral("-(\\d+) ")).match(QString::fromUtf8(lp.readAllStandardOutput()));
        EXPECT_TRUE(match.hasMatch());
        return match.captured(1).toInt();
    }

    CupsPrinterSystem system;
};

PrinterError::Scope failureScope(const std::function<void()>& action, QString* description = nullptr) {
    try {
        action();
    } catch (const PrinterError& error) {
        if (description != nullptr) *description = error.description();
        return error.scope();
    }
    ADD_FAILURE() << "no PrinterError";
    return PrinterError::Scope::Printer;
}

TEST_F(CupsJobs, EachDeliveryIsOneJobThatCarriesTheJobNameAndIsRecorded) {
    system.setJobName(QStringLiteral("kelmora-7"));
    printComanda(system, QStringLiteral("Cocina"));
    const QList<CapturedJob> pdf = takeNewJobs(1);
    ASSERT_EQ(pdf.size(), 1);
    EXPECT_EQ(pdf[0].title, "kelmora-7 Comanda");
    EXPECT_EQ(system.lastDelivery().printer, "Cocina");
    EXPECT_EQ(system.lastDelivery().format, "application/pdf");
    EXPECT_EQ(system.lastDelivery().bytes, pdf[0].bytes);
    EXPECT_EQ(system.lastDelivery().jobId, pdf[0].id);
    EXPECT_EQ(system.deliveries(), 1u);

    // A raw queue known by its description: the delivery names the printer as the service knows it.
    system.setJobName(QStringLiteral("kelmora-8"));
    printComanda(system, QStringLiteral("Barra 1"));
    const QList<CapturedJob> escpos = takeNewJobs(1);
    ASSERT_EQ(escpos.size(), 1);
    EXPECT_EQ(escpos[0].queue, "Barra_1");
    EXPECT_EQ(escpos[0].title, "kelmora-8 Comanda");
    EXPECT_EQ(system.lastDelivery().printer, "Barra 1");
    EXPECT_EQ(system.lastDelivery().format, "application/vnd.cups-raw");
    EXPECT_EQ(system.lastDelivery().bytes, escpos[0].bytes);
    EXPECT_EQ(system.lastDelivery().jobId, escpos[0].id);

    // Raw bytes have no kind: the job name alone, or a title of the service's own.
    system.sendRaw("\x1bp");
    system.setJobName({});
    system.sendRaw("\x1bp");
    const QList<CapturedJob> pulses = takeNewJobs(2);
    ASSERT_EQ(pulses.size(), 2);
    EXPECT_EQ(pulses[0].title, "kelmora-8");
    EXPECT_EQ(pulses[1].title, "Kelmora");
    EXPECT_EQ(system.lastDelivery().printer, "Barra 1");
    EXPECT_EQ(system.lastDelivery().bytes, "\x1bp");
    EXPECT_EQ(system.lastDelivery().jobId, pulses[1].id);
    EXPECT_EQ(system.deliveries(), 4u);
}

TEST_F(CupsJobs, WhatIsWrongWithOneQueueIsThatPrintersFailure) {
    QString description;
    run(QStringLiteral("cupsdisable"), {QStringLiteral("Cocina")});
    Printer& cocina = selectNamed(system, QStringLiteral("Cocina"));
    EXPECT_EQ(failureScope([&] { cocina.probe(); }, &description), PrinterError::Scope::Printer);
    EXPECT_EQ(description, "La impresora Cocina está detenida (en pausa)");

    Printer& bar = selectNamed(system, QStringLiteral("Bar"));
    bar.printLine(QStringLiteral("PAGADO"));
    run(QStringLiteral("cupsreject"), {QStringLiteral("Bar")});
    EXPECT_EQ(failureScope([&] { bar.endDoc(); }, &description), PrinterError::Scope::Printer);
    EXPECT_EQ(description, "La impresora Bar no acepta trabajos");

    run(QStringLiteral("lpadmin"), {QStringLiteral("-p"), QStringLiteral("Terraza"), QStringLiteral("-E"),
                                    QStringLiteral("-v"), QStringLiteral("file:/dev/null")});
    CupsPrinterSystem later;  // reads the list afresh
    Printer& terraza = selectNamed(later, QStringLiteral("Terraza"));
    run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("Terraza")});
    terraza.printLine(QStringLiteral("PAGADO"));
    EXPECT_EQ(failureScope([&] { terraza.endDoc(); }, &description), PrinterError::Scope::Printer);
    EXPECT_EQ(description, "La impresora Terraza ya no está instalada");
    EXPECT_EQ(later.deliveries(), 0u);
    EXPECT_EQ(system.deliveries(), 0u);
    expectNoJob();
}

TEST_F(CupsJobs, JobsAreFollowedUntilTheSchedulerForgetsThem) {
    run(QStringLiteral("cupsdisable"), {QStringLiteral("-r"), QStringLiteral("Sin papel"), QStringLiteral("Cocina")});
    system.setJobName(QStringLiteral("kelmora-1"));
    printComanda(system, QStringLiteral("Cocina"));
    const int stopped = system.lastDelivery().jobId;
    const int held = heldJob(QStringLiteral("Bar"), QStringLiteral("kelmora-2 Factura"));
    system.setJobName(QStringLiteral("kelmora-3"));
    printComanda(system, QStringLiteral("Termica"));
    const int printed = system.lastDelivery().jobId;
    ASSERT_EQ(takeNewJobs(1).size(), 1);
    const int neverSent = printed + 1000;

    const QList<JobStatus> statuses = system.jobStatuses({printed, stopped, neverSent, held});
    ASSERT_EQ(statuses.size(), 4);
    // This daemon keeps no history: a finished job may be forgotten at once.
    EXPECT_EQ(statuses[0].jobId, printed);
    EXPECT_TRUE(statuses[0].state == State::Completed || statuses[0].state == State::Unknown);
    EXPECT_EQ(statuses[0].queueProblem, "");

    EXPECT_EQ(statuses[1].jobId, stopped);
    EXPECT_EQ(statuses[1].state, State::Waiting);
    EXPECT_EQ(statuses[1].jobName, "kelmora-1 Comanda");
    EXPECT_EQ(statuses[1].documents, 1);
    EXPECT_EQ(statuses[1].queueProblem, "La impresora Cocina está detenida (en pausa)");

    EXPECT_EQ(statuses[2].jobId, neverSent);
    EXPECT_EQ(statuses[2].state, State::Unknown);

    EXPECT_EQ(statuses[3].jobId, held);
    EXPECT_EQ(statuses[3].state, State::Waiting);
    EXPECT_EQ(statuses[3].jobName, "kelmora-2 Factura");
    EXPECT_EQ(statuses[3].reason, QStringLiteral("retenido en la cola"));
    EXPECT_EQ(statuses[3].queueProblem, "");

    system.cancelJob(stopped);
    system.cancelJob(neverSent);  // nothing to cancel: no failure either
    const QList<JobStatus> afterCancel = system.jobStatuses({stopped, held});
    ASSERT_EQ(afterCancel.size(), 2);
    EXPECT_TRUE(afterCancel[0].state == State::Canceled || afterCancel[0].state == State::Unknown);
    EXPECT_EQ(afterCancel[1].state, State::Waiting);
}

TEST_F(CupsJobs, AJobIsFoundByItsNameAndNotByALongerOne) {
    run(QStringLiteral("cupsdisable"), {QStringLiteral("Cocina")});
    system.setJobName(QStringLiteral("kelmora-12"));
    printComanda(system, QStringLiteral("Cocina"));
    const int twelve = system.lastDelivery().jobId;
    EXPECT_FALSE(system.findJob(QStringLiteral("kelmora-1")).has_value());

    const std::optional<JobStatus> found = system.findJob(QStringLiteral("kelmora-12"));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->jobId, twelve);
    EXPECT_EQ(found->state, State::Waiting);
    EXPECT_EQ(found->documents, 1);

    // A name alone, and the same document sent again: the latest job is the one found.
    system.setJobName(QStringLiteral("kelmora-1"));
    selectNamed(system, QStringLiteral("Cocina"));
    system.sendRaw("x");
    const int first = system.lastDelivery().jobId;
    ASSERT_EQ(system.findJob(QStringLiteral("kelmora-1")).value_or(JobStatus{}).jobId, first);
    system.sendRaw("x");
    const int again = system.lastDelivery().jobId;
    EXPECT_GT(again, first);
    EXPECT_EQ(system.findJob(QStringLiteral("kelmora-1")).value_or(JobStatus{}).jobId, again);
    EXPECT_EQ(system.findJob(QStringLiteral("kelmora-12")).value_or(JobStatus{}).jobId, twelve);
}

// The private daemon's process, stopped and resumed as a scheduler that hangs would be.
class CupsFrozenScheduler : public CupsJobs {
protected:
    void SetUp() override {
        CupsJobs::SetUp();
        if (IsSkipped()) return;
        QFile pidFile(qEnvironmentVariable("KELMORA_TEST_CUPS_DIR") + QStringLiteral("/cupsd.pid"));
        ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly)) << "the test daemon's process id";
        pid_ = QString::fromLatin1(pidFile.readAll()).trimmed().toInt();
        ASSERT_GT(pid_, 0);
    }

    void TearDown() override {
        resume();
        if (watchdog_.joinable()) watchdog_.join();
        CupsJobs::TearDown();
    }

    // Stops the daemon; it resumes at the latest after a while, so that a request without a bound
    // fails the test instead of hanging it.
    void freeze() {
        ASSERT_EQ(::kill(pid_, SIGSTOP), 0);
        {
            const std::lock_guard lock(mutex_);
            frozen_ = true;
        }
        watchdog_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            if (!resumed_.wait_for(lock, std::chrono::seconds(30), [this] { return !frozen_; })) {
                ::kill(pid_, SIGCONT);
                frozen_ = false;
            }
        });
    }

    void resume() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGCONT);
        const std::lock_guard lock(mutex_);
        frozen_ = false;
        resumed_.notify_all();
    }

    static constexpr std::chrono::milliseconds kBound{1000};

    // The action fails as the system's failure, within the bound: far below the watchdog, so that
    // a request that waits for the scheduler to wake fails this.
    static void expectSystemFailureInTime(const std::function<void()>& action, QString* description = nullptr) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(failureScope(action, description), PrinterError::Scope::System);
        EXPECT_LT(clock.elapsed(), kWithinBound) << "waited for the scheduler";
    }
    static void expectInTime(const std::function<void()>& action) {
        QElapsedTimer clock;
        clock.start();
        action();
        EXPECT_LT(clock.elapsed(), kWithinBound) << "waited for the scheduler";
    }
    static constexpr qint64 kWithinBound = 6000;

    pid_t pid_ = 0;

private:
    std::thread watchdog_;
    std::mutex mutex_;
    std::condition_variable resumed_;
    bool frozen_ = false;
};

TEST_F(CupsFrozenScheduler, RequestsFailWithinTheBoundAsTheSystemsFailureAndWorkOnceItWakes) {
    CupsPrinterSystem bounded(paper::PdfPainter::kDefaultPaperWidthMm, {}, kBound);
    bounded.setJobName(QStringLiteral("kelmora-20"));
    printComanda(bounded, QStringLiteral("Termica"));
    ASSERT_EQ(takeNewJobs(1).size(), 1);
    const int printed = bounded.lastDelivery().jobId;
    const quint64 deliveries = bounded.deliveries();
    EXPECT_TRUE(bounded.reachable());

    freeze();
    QString description;
    expectSystemFailureInTime([&] { bounded.sendRaw("\x1bp"); }, &description);
    EXPECT_TRUE(description.startsWith(QStringLiteral("No se puede contactar con el sistema de impresión")))
        << description.toStdString();
    EXPECT_EQ(bounded.deliveries(), deliveries);
    expectSystemFailureInTime([&] { bounded.jobStatuses({printed}); });
    // Not knowing whether a job is there is no answer that it is not.
    expectSystemFailureInTime([&] { bounded.findJob(QStringLiteral("kelmora-20")); });
    // After a failed request the list is read again, and lists nothing while no answer comes.
    expectInTime([&] { EXPECT_EQ(bounded.printerNames(), QStringList()); });
    EXPECT_FALSE(bounded.reachable());
    CupsPrinterSystem fresh(paper::PdfPainter::kDefaultPaperWidthMm, {}, kBound);
    expectInTime([&] { EXPECT_EQ(fresh.printerNames(), QStringList()); });
    EXPECT_FALSE(fresh.reachable());
    // A printer selected before cannot print meanwhile either.
    Printer& termica = bounded.current();
    termica.printLine(QStringLiteral("Mesa 4"));
    expectSystemFailureInTime([&] { termica.endDoc(); });

    resume();
    // The empty list read last serves its lifetime, as any list does.
    QThread::msleep(static_cast<unsigned long>(CupsPrinterSystem::kListLifetime.count() + 100));
    EXPECT_EQ(bounded.printerNames(), kPrinterNames);
    EXPECT_TRUE(bounded.reachable());
    bounded.setJobName(QStringLiteral("kelmora-21"));
    printComanda(bounded, QStringLiteral("Termica"));
    EXPECT_EQ(bounded.deliveries(), deliveries + 1);
    EXPECT_EQ(bounded.jobStatuses({bounded.lastDelivery().jobId}).size(), 1);
}

// A scheduler that is not running at all: nothing to connect to.
TEST_F(CupsJobs, ASchedulerThatIsNotRunningIsTheSystemsFailure) {
    QTemporaryDir dir;
    cupsSetServer(dir.filePath(QStringLiteral("no-scheduler.sock")).toUtf8().constData());
    CupsPrinterSystem absent;
    const QStringList names = absent.printerNames();
    const bool reachable = absent.reachable();
    const PrinterError::Scope scope = failureScope([&] { absent.jobStatuses({1}); });
    cupsSetServer(nullptr);  // CUPS_SERVER again, for the tests after this one

    EXPECT_EQ(names, QStringList());
    EXPECT_FALSE(reachable);
    EXPECT_EQ(scope, PrinterError::Scope::System);
}

}  // namespace
}  // namespace kelmora::testing
