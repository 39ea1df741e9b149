#pragma once

#include "platform/printer.h"
#include "platform/settings_file.h"
#include "printing/escpos/escpos_pictures.h"
#include "printing/pdf/pdf_painter.h"

#include <QElapsedTimer>
#include <QStringList>

#include <chrono>
#include <functional>
#include <map>
#include <memory>

namespace kelmora::platform {

namespace cups {
class IppConnection;
class Jobs;
}  // namespace cups

// The machine's printers through CUPS: its destinations in its own order, its default destination,
// each destination's state for the availability probe, and one job per document.
//
// A queue with a driver gets the document painted as PDF. A queue without one (a raw queue, as
// receipt printers are set up: no driver ships for them) gets the receipt printer's own commands
// (ESC/POS); the settings file may say otherwise for a printer, and gives its roll, code page
// and cutter. Queue names cannot hold blanks while the server names areas as the restaurant
// writes them ("Barra 1"): a queue is also known by its description.
//
// The server is libcups's default one (CUPS_SERVER, client.conf or the local scheduler), asked over
// a connection of the system's own on which every request has a time bound: a scheduler that hangs
// makes a request fail, never the service wait. Painting and dithering pictures need a
// QGuiApplication.
class CupsPrinterSystem final : public PrinterSystem {
public:
    // The settings of the printer known by any of the names given (its queue and its description).
    using SettingsLookup = std::function<PrinterSettings(const QStringList& names)>;

    // How long one request to the scheduler may take, from connecting to its whole answer.
    static constexpr std::chrono::milliseconds kRequestBound{5000};

    explicit CupsPrinterSystem(double paperWidthMm = paper::PdfPainter::kDefaultPaperWidthMm,
                               SettingsLookup settings = {}, std::chrono::milliseconds requestBound = kRequestBound);
    ~CupsPrinterSystem() override;

    // The queues, in the server's order, then the descriptions that name no queue; read again
    // once the list read last is kListLifetime old, or after a request found the server
    // unreachable. select() indexes the list read last. None while the server cannot be reached.
    QStringList printerNames() const override;
    // CUPS's default destination, read with the list.
    QString defaultPrinterName() const override;
    Printer& select(int index) override;
    // Until a printer is selected, the default one (the first when the default is not installed).
    Printer& current() override;
    // One raw job on the current printer's queue: the bytes exactly, nothing added.
    void sendRaw(const QByteArray& bytes) override;

    // Whether the list read last reached the server.
    bool reachable() const override { return reachable_; }
    // The jobs' states in one request, and the problems of the queues of those still waiting or
    // printing in one more.
    QList<JobStatus> jobStatuses(const QList<int>& jobIds) override;
    // The latest job of that name among all the server keeps.
    std::optional<JobStatus> findJob(const QString& name) override;
    void cancelJob(int jobId) override;
    // Whether the scheduler holds any finished job (PreserveJobHistory, on by default).
    bool keepsJobHistory() override;
    // A queue whose device is socket://HOST[:PORT]: whether something takes a connection there
    // within kDeviceBound.
    std::optional<bool> deviceAnswers(const QString& printer) override;
    static constexpr std::chrono::milliseconds kDeviceBound{2000};
    // Each queue by its description (else its name), with its state now.
    QList<PrinterState> printerStates() override;

    // What a queue takes, from its driver: none (a raw queue) or one that takes no PDF means the
    // receipt printer's commands.
    static bool takesEscPos(const QString& makeAndModel, const QStringList& formats);

    // Tickets come in bursts, each looking its printer up by name: the list serves a burst. A
    // printer that went away meanwhile fails its probe, which reads the queue's state afresh.
    static constexpr std::chrono::milliseconds kListLifetime{1000};

private:
    class CupsPrinter;
    struct Queue {
        QString name;
        QString description;
        bool escpos = false;  // no driver: the receipt printer's commands
    };
    void readList() const;
    // The queue listed under `name` (its own or its description's); null when none is.
    const Queue* queueListed(const QString& name) const;
    CupsPrinter& printerNamed(const QString& name);
    // Submits one job of one document, all in one request; its id. Raises PrinterError when CUPS
    // refuses it or cannot be reached.
    int submit(const QString& queue, const QString& title, const char* format, const QByteArray& data);

    paper::PdfPainter painter_;
    paper::escpos::DitheringRasterizer rasterizer_;
    SettingsLookup settings_;
    std::unique_ptr<cups::IppConnection> connection_;
    std::unique_ptr<cups::Jobs> jobs_;  // on connection_
    // The destinations and the default as last read, and when.
    mutable QList<Queue> queues_;
    mutable QStringList names_;
    mutable QString defaultName_;
    mutable QElapsedTimer listAge_;
    mutable bool reachable_ = true;
    // One printer per device name for the system's lifetime, so a printer stays valid for
    // whoever holds it across a new selection.
    std::map<QString, std::unique_ptr<CupsPrinter>> printers_;
    CupsPrinter* current_ = nullptr;
};

}  // namespace kelmora::platform
