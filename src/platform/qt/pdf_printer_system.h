#pragma once

#include "platform/drawer_printer.h"
#include "platform/virtual_printers.h"
#include "printing/pdf/pdf_painter.h"

#include <QSet>
#include <QStringList>

#include <functional>

namespace kelmora::platform {

// Virtual printers that put each ended document on paper as a PDF and hand it to a sink: a folder
// of files for support and the demo, memory for tests. Painting needs a QGuiApplication.
class PdfPrinterSystem final : public VirtualPrinterSystem {
public:
    struct Options {
        QStringList printers{kDrawerPrinter};
        QString defaultPrinter;  // empty: the first printer
        QSet<QString> offline;   // printers whose availability probe fails
        double paperWidthMm = paper::PdfPainter::kDefaultPaperWidthMm;  // for documents that name no roll
    };
    // May raise RuntimeError (a file that cannot be written): the document's end fails with it.
    using PdfSink =
        std::function<void(const QString& deviceName, const paper::Document& document, const QByteArray& pdf)>;

    PdfPrinterSystem(const Options& options, PdfSink onDocument, RawSink onRaw = {});

protected:
    QString outputName() const override { return QStringLiteral("PDF"); }
    void checkDevice(const QString& deviceName) override;
    void deliverDocument(const QString& deviceName, const paper::Document& document) override;

private:
    PdfSink onDocument_;
    paper::PdfPainter painter_;
};

// Files in one folder, numbered in delivery order: NNN-DEVICE.pdf for a document and NNN-DEVICE.raw
// for raw bytes. Numbering goes on after the highest number already in the folder, so nothing
// written before is replaced.
class PdfFolder {
public:
    // Raises RuntimeError when the folder cannot be created.
    explicit PdfFolder(QString folder);

    // Writes one file whole and returns its path; raises RuntimeError when it cannot.
    QString write(const QString& deviceName, const QString& extension, const QByteArray& bytes);
    PdfPrinterSystem::PdfSink documentSink();
    PdfPrinterSystem::RawSink rawSink();

private:
    QString folder_;
    int next_ = 1;
};

}  // namespace kelmora::platform
