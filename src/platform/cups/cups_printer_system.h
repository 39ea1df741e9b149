#pragma once

#include "platform/printer.h"
#include "platform/qt/pdf_painter.h"

#include <QElapsedTimer>
#include <QStringList>

#include <chrono>

#include <map>
#include <memory>

namespace kelmora::platform {

// The machine's printers through CUPS: its destinations in its own order, its default destination,
// each destination's state for the availability probe, and one job per document, painted as PDF.
// The server is libcups's default one (CUPS_SERVER, client.conf or the local scheduler). Painting
// needs a QGuiApplication.
class CupsPrinterSystem final : public PrinterSystem {
public:
    explicit CupsPrinterSystem(double paperWidthMm = PdfPainter::kDefaultPaperWidthMm);
    ~CupsPrinterSystem() override;

    // Read from the server, again once the list read last is kListLifetime old; select() indexes
    // the list read last.
    QStringList printerNames() const override;
    // CUPS's default destination, read with the list.
    QString defaultPrinterName() const override;
    Printer& select(int index) override;
    // Until a printer is selected, the default one (the first when the default is not installed).
    Printer& current() override;
    // One raw job on the current printer's queue: the bytes exactly, nothing added.
    void sendRaw(const QByteArray& bytes) override;

    // The id of the last job that CUPS accepted; 0 before the first.
    int lastJobId() const { return lastJobId_; }

    // Tickets come in bursts, each looking its printer up by name: the list serves a burst. A
    // printer that went away meanwhile fails its probe, which reads the queue's state afresh.
    static constexpr std::chrono::milliseconds kListLifetime{1000};

private:
    class CupsPrinter;
    void readList() const;
    CupsPrinter& printerNamed(const QString& name);
    // Submits one job of one document; raises RuntimeError when CUPS refuses it.
    void submit(const QString& queue, const QString& title, const char* format, const QByteArray& data);

    PdfPainter painter_;
    // The destinations and the default as last read, and when.
    mutable QStringList names_;
    mutable QString defaultName_;
    mutable QElapsedTimer listAge_;
    // One printer per device name for the system's lifetime, so a printer stays valid for
    // whoever holds it across a new selection.
    std::map<QString, std::unique_ptr<CupsPrinter>> printers_;
    CupsPrinter* current_ = nullptr;
    int lastJobId_ = 0;
};

}  // namespace kelmora::platform
