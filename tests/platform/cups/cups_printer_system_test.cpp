// The machine's printers through CUPS, on the private daemon's queues: the list and the default,
// the probe in every state, and what lands on paper.
#include "platform/cups/cups_queues.h"
#include "platform/qt/pdf_reading.h"

#include "json/runtime_error.h"
#include "platform/cups/cups_printer_system.h"
#include "printing/escpos/escpos_interpreter.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

using platform::CupsPrinterSystem;
using platform::Printer;
using platform::PrinterError;

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
    } catch (const PrinterError& error) {
        return error.description();
    } catch (const RuntimeError& error) {
        return error.description();
    }
    return {};
}

QString endFailure(Printer& printer) {
    try {
        printer.endDoc();
    } catch (const PrinterError& error) {
        return error.description();
    } catch (const RuntimeError& error) {
        return error.description();
    }
    return {};
}

TEST_F(CupsPrinters, ListTheDestinationsInCupsOrderWithTheDefault) {
    EXPECT_EQ(system.printerNames(), kPrinterNames);
    EXPECT_EQ(system.defaultPrinterName(), "Facturas");
    EXPECT_EQ(system.current().deviceName(), "Facturas");
    EXPECT_THROW(system.select(static_cast<int>(kPrinterNames.size())), RuntimeError);
}

TEST_F(CupsPrinters, TheProbeSaysWhyAPrinterCannotPrint) {
    for (const QString& queue : kQueues) EXPECT_EQ(probeFailure(selectNamed(queue)), "") << queue.toStdString();

    run(QStringLiteral("cupsdisable"), {QStringLiteral("Cocina")});
    EXPECT_EQ(probeFailure(selectNamed(QStringLiteral("Cocina"))), "La impresora Cocina está detenida (en pausa)");

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
    EXPECT_EQ(system.printerNames(), kPrinterNames);
    run(QStringLiteral("lpadmin"), {QStringLiteral("-p"), QStringLiteral("Terraza"), QStringLiteral("-E"),
                                    QStringLiteral("-v"), QStringLiteral("file:/dev/null")});
    run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("Bar")});
    const QStringList duringBurst = system.printerNames();
    const QString defaultDuringBurst = system.defaultPrinterName();
    // On a machine too busy to run two commands within the list's lifetime there is no burst to see.
    if (listAge.elapsed() < CupsPrinterSystem::kListLifetime.count()) {
        EXPECT_EQ(duringBurst, kPrinterNames);
        EXPECT_EQ(defaultDuringBurst, "Facturas");
    }
    QThread::msleep(static_cast<unsigned long>(CupsPrinterSystem::kListLifetime.count()));
    QStringList withTerraza = kQueues + QStringList{QStringLiteral("Terraza")};
    withTerraza.append(QStringLiteral("Barra 1"));
    EXPECT_EQ(system.printerNames(), withTerraza);
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
    EXPECT_EQ(jobs[0].id, system.lastDelivery().jobId);
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
    EXPECT_THROW(system.sendRaw("x"), PrinterError);
    EXPECT_TRUE(bar.pendingDocument().rows.isEmpty());
    expectNoJob();
}

// Prints two lines on the printer listed under `name` of `printers`; the job that lands.
CapturedJob printTwoLines(CupsPrinters& test, CupsPrinterSystem& printers, const QString& name) {
    const int index = static_cast<int>(printers.printerNames().indexOf(name));
    EXPECT_GE(index, 0) << name.toStdString();
    Printer& printer = printers.select(index);
    EXPECT_EQ(probeFailure(printer), "");
    printer.setDocumentKind(QStringLiteral("Comanda"));
    printer.setPaperWidth(75);
    printer.printLine(QStringLiteral("Mesa 4"));
    printer.printLine(QStringLiteral(" 1 AJÍ DE GALLINA"));
    EXPECT_EQ(endFailure(printer), "");
    const QList<CapturedJob> jobs = test.takeNewJobs(1);
    return jobs.isEmpty() ? CapturedJob{} : jobs.first();
}

bool isEscPos(const QByteArray& bytes) { return bytes.startsWith("\x1b@"); }

TEST_F(CupsPrinters, RawQueuesGetTheReceiptPrintersCommandsAndQueuesWithADriverGetPdf) {
    const CapturedJob raw = printTwoLines(*this, system, QStringLiteral("Termica"));
    EXPECT_EQ(raw.queue, "Termica");
    ASSERT_TRUE(isEscPos(raw.bytes));
    const paper::escpos::EscPosPaper paper = paper::escpos::interpretEscPos(raw.bytes);
    QStringList rows;
    for (const auto& row : paper.rows) rows.append(row.text().trimmed());
    EXPECT_EQ(rows, (QStringList{QStringLiteral("Mesa 4"), QStringLiteral("1 AJÍ DE GALLINA")}));
    EXPECT_EQ(paper.cuts.size(), 1);

    const CapturedJob driver = printTwoLines(*this, system, QStringLiteral("Cocina"));
    EXPECT_EQ(driver.queue, "Cocina");
    EXPECT_TRUE(driver.bytes.startsWith("%PDF-"));
}

TEST_F(CupsPrinters, TheSettingsFileOverridesWhatTheQueueTakes) {
    CupsPrinterSystem configured(paper::PdfPainter::kDefaultPaperWidthMm, [](const QStringList& names) {
        platform::PrinterSettings settings;
        if (names.contains(QStringLiteral("Termica"))) settings.output = platform::PrinterOutput::Pdf;
        if (names.contains(QStringLiteral("Cocina"))) {
            settings.output = platform::PrinterOutput::EscPos;
            settings.escpos.codePage = paper::escpos::CodePage::PC858;
            settings.escpos.hasCutter = false;
        }
        return settings;
    });
    EXPECT_TRUE(printTwoLines(*this, configured, QStringLiteral("Termica")).bytes.startsWith("%PDF-"));
    const QByteArray cocina = printTwoLines(*this, configured, QStringLiteral("Cocina")).bytes;
    EXPECT_TRUE(cocina.startsWith("\x1b@"));
    EXPECT_TRUE(cocina.contains(QByteArray("\x1bt\x13", 3)));
    const paper::escpos::EscPosPaper paper = paper::escpos::interpretEscPos(cocina);
    EXPECT_TRUE(paper.cuts.isEmpty());
    ASSERT_EQ(paper.rows.size(), 2);
    EXPECT_EQ(paper.rows[1].text().trimmed(), QStringLiteral("1 AJÍ DE GALLINA"));
}

TEST_F(CupsPrinters, AQueueIsAlsoKnownByItsDescription) {
    const CapturedJob job = printTwoLines(*this, system, QStringLiteral("Barra 1"));
    EXPECT_EQ(job.queue, "Barra_1");
    EXPECT_TRUE(isEscPos(job.bytes));
    EXPECT_EQ(system.current().deviceName(), "Barra 1");
    // The drawer's pulse on it goes to the same queue.
    system.sendRaw("\x1bp");
    const QList<CapturedJob> pulse = takeNewJobs(1);
    ASSERT_EQ(pulse.size(), 1);
    EXPECT_EQ(pulse[0].queue, "Barra_1");
}

}  // namespace
}  // namespace kelmora::testing
