// Virtual printers that write PDF: the printer list, the probe, and what reaches the sinks and the
// numbered folder.
#include "platform/qt/pdf_reading.h"

#include "json/runtime_error.h"
#include "platform/qt/pdf_printer_system.h"

#include <QDir>

#include <gtest/gtest.h>

#include <vector>

namespace kelmora::testing {
namespace {

using paper::Document;
using platform::PdfFolder;
using platform::PdfPrinterSystem;

struct Delivered {
    QString device;
    QString kind;
    QByteArray bytes;
};

class PdfPrinters : public ::testing::Test {
protected:
    PdfPrinterSystem system{PdfPrinterSystem::Options{{QStringLiteral("Cocina"), QStringLiteral("Facturas")},
                                                      QStringLiteral("Facturas"),
                                                      {},
                                                      55},
                            [this](const QString& device, const Document& document, const QByteArray& pdf) {
                                documents.push_back({device, document.kind, pdf});
                            },
                            [this](const QString& device, const QByteArray& bytes) {
                                raw.push_back({device, {}, bytes});
                            }};
    std::vector<Delivered> documents;
    std::vector<Delivered> raw;
};

QString probeFailure(platform::Printer& printer) {
    try {
        printer.probe();
    } catch (const RuntimeError& error) {
        return error.description();
    }
    return {};
}

TEST_F(PdfPrinters, ListTheirNamesAndStartOnTheDefault) {
    EXPECT_EQ(system.printerNames(), (QStringList{QStringLiteral("Cocina"), QStringLiteral("Facturas")}));
    EXPECT_EQ(system.defaultPrinterName(), "Facturas");
    EXPECT_EQ(system.current().deviceName(), "Facturas");
    platform::Printer& cocina = system.select(0);
    EXPECT_EQ(cocina.deviceName(), "Cocina");
    EXPECT_EQ(&system.current(), &cocina);
    EXPECT_THROW(system.select(2), RuntimeError);
}

TEST_F(PdfPrinters, AnOfflinePrinterFailsTheProbeAndTakesNoRawBytes) {
    system.setOffline(QStringLiteral("Cocina"), true);
    platform::Printer& cocina = system.select(0);
    EXPECT_EQ(probeFailure(cocina), "La impresora Cocina está fuera de línea");
    EXPECT_THROW(system.sendRaw("x"), RuntimeError);

    system.setOffline(QStringLiteral("Cocina"), false);
    EXPECT_EQ(probeFailure(cocina), "");
    EXPECT_TRUE(raw.empty());
}

TEST_F(PdfPrinters, AnEndedDocumentReachesTheSinkAsPdfOnItsRoll) {
    platform::Printer& cocina = system.select(0);
    cocina.probe();
    cocina.closeProbe();
    cocina.setDocumentKind(QStringLiteral("Comanda"));
    cocina.setFontName(QStringLiteral("Courier 17 CPI"));
    cocina.setFontSize(12);
    cocina.printLine(QStringLiteral("2 ARROZ CON COCO"));
    cocina.endDoc();
    system.sendRaw(QByteArray("\x1bp\x00<\xf0", 5));

    ASSERT_EQ(documents.size(), 1u);
    EXPECT_EQ(documents[0].device, "Cocina");
    EXPECT_EQ(documents[0].kind, "Comanda");
    EXPECT_EQ(collapsedLines(pdfText(documents[0].bytes)), QStringList{QStringLiteral("2 ARROZ CON COCO")});
    // The probe's empty line is gone: one line of 12 points and the margin, on the 55 mm roll.
    EXPECT_TRUE(pdfTool(QStringLiteral("pdfinfo"), {}, documents[0].bytes).contains(QStringLiteral("156 x 29 pts")));
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0].device, "Cocina");
    EXPECT_EQ(raw[0].bytes, QByteArray("\x1bp\x00<\xf0", 5));
}

TEST(PdfFolderFiles, AreNumberedInDeliveryOrderAfterWhatIsAlreadyThere) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("out"));
    {
        PdfFolder first(folder);
        EXPECT_EQ(QFileInfo(first.write(QStringLiteral("Cocina"), QStringLiteral("pdf"), "a")).fileName(), "001-Cocina.pdf");
        first.rawSink()(QStringLiteral("Caja/1"), "b");
    }
    PdfFolder again(folder);
    again.documentSink()(QStringLiteral("Facturas"), Document(), "c");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files),
              (QStringList{QStringLiteral("001-Cocina.pdf"), QStringLiteral("002-Caja_1.raw"),
                           QStringLiteral("003-Facturas.pdf")}));
    QFile written(QDir(folder).filePath(QStringLiteral("003-Facturas.pdf")));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "c");
}

TEST(PdfFolderFiles, AFileThatCannotBeWrittenFailsTheDelivery) {
    QTemporaryDir dir;
    PdfFolder folder(dir.path());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("001-Cocina.pdf")));  // a folder in the file's place
    EXPECT_THROW(folder.write(QStringLiteral("Cocina"), QStringLiteral("pdf"), "a"), platform::PrinterError);
}

}  // namespace
}  // namespace kelmora::testing
