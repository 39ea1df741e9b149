// The machine's printers through CUPS, on the private daemon's queues: the list and the default,
// the probe in every state, and what lands on paper.
#include "platform/cups/cups_queues.h"
#include "platform/qt/pdf_reading.h"

#include "json/runtime_error.h"
#include "platform/cups/cups_printer_system.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

using platform::CupsPrinterSystem;
using platform::Printer;

class CupsPrinters : public CupsQueues {
protected:
    Printer& selectNamed(const QString& name) {
        const int index = static_cast<int>(system.printerNames().indexOf(name));
        EXPECT_GE(index, 0) << name.toStdString();
        return system.select(index);
    }

    CupsPrinterSystem system;
};

QString probeFailure(Printer& printer) {
    try {
        printer.probe();
        printer.closeProbe();
    } catch (const RuntimeError& error) {
        return error.description();
    }
    return {};
}

QString endFailure(Printer& printer) {
    try {
        printer.endDoc();
    } catch (const RuntimeError& error) {
        return error.description();
    }
    return {};
}

TEST_F(CupsPrinters, ListTheDestinationsInCupsOrderWithTheDefault) {
    EXPECT_EQ(system.printerNames(), kQueues);
    EXPECT_EQ(system.defaultPrinterName(), "Facturas");
    EXPECT_EQ(system.current().deviceName(), "Facturas");
    EXPECT_THROW(system.select(3), RuntimeError);
}

TEST_F(CupsPrinters, TheProbeSaysWhyAPrinterCannotPrint) {
    for (const QString& queue : kQueues) EXPECT_EQ(probeFailure(selectNamed(queue)), "") << queue.toStdString();

    run(QStringLiteral("cupsdisable"), {QStringLiteral("Cocina")});
    EXPECT_EQ(probeFailure(selectNamed(QStringLiteral("Cocina"))), "La impresora Cocina está detenida (paused)");

    run(QStringLiteral("cupsreject"), {QStringLiteral("Bar")});
    EXPECT_EQ(probeFailure(selectNamed(QStringLiteral("Bar"))), "La impresora Bar no acepta trabajos");

    run(QStringLiteral("lpadmin"), {QStringLiteral("-p"), QStringLiteral("Terraza"), QStringLiteral("-E"),
                                    QStringLiteral("-v"), QStringLiteral("file:/dev/null")});
    CupsPrinterSystem later;  // reads the list afresh
    const int terrazaIndex = static_cast<int>(later.printerNames().indexOf(QStringLiteral("Terraza")));
    ASSERT_GE(terrazaIndex, 0);
    Printer& terraza = later.select(terrazaIndex);
    run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("Terraza")});
    EXPECT_EQ(probeFailure(terraza), "La impresora Terraza ya no está instalada");
}

TEST_F(CupsPrinters, TheListServesABurstOfTicketsAndIsReadAgainAfterwards) {
    QElapsedTimer listAge;
    listAge.start();
    EXPECT_EQ(system.printerNames(), kQueues);
    run(QStringLiteral("lpadmin"), {QStringLiteral("-p"), QStringLiteral("Terraza"), QStringLiteral("-E"),
                                    QStringLiteral("-v"), QStringLiteral("file:/dev/null")});
    run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("Bar")});
    const QStringList duringBurst = system.printerNames();
    const QString defaultDuringBurst = system.defaultPrinterName();
    // On a machine too busy to run two commands within the list's lifetime there is no burst to see.
    if (listAge.elapsed() < CupsPrinterSystem::kListLifetime.count()) {
        EXPECT_EQ(duringBurst, kQueues);
        EXPECT_EQ(defaultDuringBurst, "Facturas");
    }
    QThread::msleep(static_cast<unsigned long>(CupsPrinterSystem::kListLifetime.count()));
    EXPECT_EQ(system.printerNames(), kQueues + QStringList{QStringLiteral("Terraza")});
    EXPECT_EQ(system.defaultPrinterName(), "Bar");
}

TEST_F(CupsPrinters, ADocumentIsOnePdfJobNamedAfterItsKindWithoutTheProbeLine) {
    Printer& cocina = selectNamed(QStringLiteral("Cocina"));
    ASSERT_EQ(probeFailure(cocina), "");
    cocina.setDocumentKind(QStringLiteral("Comanda"));
    cocina.setFontName(QStringLiteral("Courier 17 CPI"));
    cocina.setFontSize(12);
    cocina.printLine(QStringLiteral("Mesa 4"));
    cocina.printLine(QStringLiteral(" 1 ARROZ CON COCO"));
    ASSERT_EQ(endFailure(cocina), "");

    const QList<CapturedJob> jobs = newJobs(1);
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs[0].queue, "Cocina");
    EXPECT_EQ(jobs[0].id, system.lastJobId());
    EXPECT_EQ(jobs[0].title, "Comanda");
    EXPECT_TRUE(jobs[0].bytes.startsWith("%PDF-"));
    // Two lines of 12 points and the margin: the probe's empty line is not on paper.
    EXPECT_TRUE(pdfTool(QStringLiteral("pdfinfo"), {}, jobs[0].bytes).contains(QStringLiteral("213 x 44 pts")));
    EXPECT_EQ(collapsedLines(pdfText(jobs[0].bytes)),
              (QStringList{QStringLiteral("Mesa 4"), QStringLiteral("1 ARROZ CON COCO")}));
}

TEST_F(CupsPrinters, RawBytesLandExactlyAndAloneOnTheCurrentQueue) {
    selectNamed(QStringLiteral("Bar"));
    const QByteArray pulse("\x1bp\x00<\xf0", 5);
    system.sendRaw(pulse);
    const QList<CapturedJob> jobs = newJobs(1);
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs[0].queue, "Bar");
    EXPECT_EQ(jobs[0].bytes, pulse);
}

TEST_F(CupsPrinters, AJobThatCupsRefusesFailsTheDocumentAndLeavesNothingQueued) {
    Printer& bar = selectNamed(QStringLiteral("Bar"));
    ASSERT_EQ(probeFailure(bar), "");
    bar.printLine(QStringLiteral("PAGADO"));
    run(QStringLiteral("cupsreject"), {QStringLiteral("Bar")});

    EXPECT_EQ(endFailure(bar), "La impresora Bar no acepta trabajos");
    EXPECT_THROW(system.sendRaw("x"), RuntimeError);
    EXPECT_TRUE(bar.pendingDocument().rows.isEmpty());
    expectNoJob();
}

}  // namespace
}  // namespace kelmora::testing
