#pragma once

#include "platform/direct/receipt_link.h"
#include "platform/printer.h"
#include "platform/settings_file.h"
#include "printing/escpos/escpos_pictures.h"

#include <QElapsedTimer>
#include <QHash>

#include <functional>
#include <memory>
#include <vector>

namespace kelmora::platform {

// The receipt printers the settings file reaches directly, ahead of the printers of another
// system (CUPS), as one list of printers. A direct printer is known by its section's name and
// hides a queue of the same name; it gets ESC/POS, its status is the availability probe, and a
// document counts as delivered only once the printer confirmed it with paper present. The
// default printer is the one the settings name, else the other system's.
class DirectPrinterSystem final : public PrinterSystem {
public:
    struct Printer {
        QString name;
        direct::Address address;
        PrinterSettings settings;
    };
    // What changed in a printer's state, as it is told to staff: it cannot print (`problem` says
    // why), it can again, its paper runs low, or it was found to report no status at all.
    enum class StateChange { Trouble, Recovered, PaperLow, NoStatus };
    // Called on the printing thread.
    using StateListener = std::function<void(const QString& printer, StateChange change, const QString& problem)>;

    DirectPrinterSystem(std::vector<Printer> printers, std::unique_ptr<PrinterSystem> others,
                        QString defaultPrinter = {}, StateListener listener = {},
                        direct::LinkBounds bounds = {});
    ~DirectPrinterSystem() override;

    // The printers of a settings file that are reached directly; a line for each one whose
    // connection cannot be used.
    static std::vector<Printer> fromSettings(const SettingsFile& file, QStringList& problems);

    QStringList printerNames() const override;
    QString defaultPrinterName() const override;
    platform::Printer& select(int index) override;
    platform::Printer& current() override;
    void sendRaw(const QByteArray& bytes) override;
    bool reachable() const override;

    void setJobName(const QString& name) override;
    const Delivery& lastDelivery() const override;
    quint64 deliveries() const override;

    QList<JobStatus> jobStatuses(const QList<int>& jobIds) override { return others_->jobStatuses(jobIds); }
    std::optional<JobStatus> findJob(const QString& name) override { return others_->findJob(name); }
    void cancelJob(int jobId) override { others_->cancelJob(jobId); }
    bool keepsJobHistory() override { return others_->keepsJobHistory(); }
    std::optional<bool> deviceAnswers(const QString& printer) override { return others_->deviceAnswers(printer); }
    QList<PrinterState> printerStates() override;
    void idle() override;

    // A printer that just failed is not asked again for this long: the documents behind it fall
    // back at once instead of each waiting out its own connection attempt.
    static constexpr qint64 kFailureMemoryMs = 1500;

private:
    class DirectPrinter;
    // The other system's names that no direct printer hides.
    QStringList otherNames() const;
    void recordDirect(Delivery delivery);
    void noteState(DirectPrinter& printer, const direct::ReceiptLink::Result& result);

    std::vector<std::unique_ptr<DirectPrinter>> printers_;
    std::unique_ptr<PrinterSystem> others_;
    QString defaultPrinter_;
    StateListener listener_;
    paper::escpos::DitheringRasterizer rasterizer_;
    DirectPrinter* currentDirect_ = nullptr;
    bool otherSelected_ = false;
    // The direct printers' last delivery and count; the other system's count then, which tells
    // whose delivery was the last.
    Delivery lastDirect_;
    quint64 directDeliveries_ = 0;
    quint64 othersAtLastDirect_ = 0;
    mutable QStringList otherNames_;
};

}  // namespace kelmora::platform
