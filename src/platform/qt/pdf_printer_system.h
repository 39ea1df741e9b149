#pragma once

#include "platform/printer.h"
#include "platform/qt/pdf_painter.h"

#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace kelmora::platform {

// Virtual printers that put each ended document on paper as a PDF and hand it to a sink: a folder
// of files for support and the demo, memory for tests. Painting needs a QGuiApplication. Until a
// printer is selected the current printer is the default one (the first when the default is not
// installed).
class PdfPrinterSystem final : public PrinterSystem {
public:
    struct Options {
        QStringList printers{QStringLiteral("Facturas")};
        QString defaultPrinter;  // empty: the first printer
        QSet<QString> offline;   // printers whose availability probe fails
        double paperWidthMm = PdfPainter::kDefaultPaperWidthMm;
    };
    // May raise RuntimeError (a file that cannot be written): the document's end fails with it.
    using PdfSink = std::function<void(const QString& deviceName, const Document& document, const QByteArray& pdf)>;
    using RawSink = std::function<void(const QString& deviceName, const QByteArray& bytes)>;

    PdfPrinterSystem(Options options, PdfSink onDocument, RawSink onRaw = {});
    ~PdfPrinterSystem() override;

    QStringList printerNames() const override { return options_.printers; }
    QString defaultPrinterProfile() const override;
    Printer& select(int index) override;
    Printer& current() override;
    void sendRaw(const QByteArray& bytes) override;

    void setOffline(const QString& deviceName, bool offline);

private:
    class PdfPrinter;
    void checkAvailable(const QString& deviceName);

    Options options_;
    PdfSink onDocument_;
    RawSink onRaw_;
    PdfPainter painter_;
    std::vector<std::unique_ptr<PdfPrinter>> printers_;
    PdfPrinter* current_ = nullptr;
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
