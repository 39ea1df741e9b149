#include "platform/virtual_printers.h"

#include "json/runtime_error.h"

namespace kelmora::platform {

using paper::Document;

class VirtualPrinterSystem::VirtualPrinter final : public Printer {
public:
    VirtualPrinter(QString deviceName, VirtualPrinterSystem& owner) : Printer(std::move(deviceName)), owner_(owner) {}

protected:
    void checkAvailable() override { owner_.checkDevice(deviceName()); }
    void deliver(const Document& document) override { owner_.deliverDocument(deviceName(), document); }

private:
    VirtualPrinterSystem& owner_;
};

VirtualPrinterSystem::VirtualPrinterSystem(Options options, DocumentSink onDocument, RawSink onRaw)
    : options_(std::move(options)), onDocument_(std::move(onDocument)), onRaw_(std::move(onRaw)) {
    for (const QString& name : std::as_const(options_.printers)) {
        printers_.push_back(std::make_unique<VirtualPrinter>(name, *this));
    }
    // As on the desktop, a machine with printers starts with its default printer as the current one.
    if (!printers_.empty()) {
        const qsizetype preferred = options_.printers.indexOf(defaultPrinterName());
        current_ = printers_[static_cast<size_t>(std::max<qsizetype>(preferred, 0))].get();
    }
}

VirtualPrinterSystem::~VirtualPrinterSystem() = default;

QString VirtualPrinterSystem::defaultPrinterName() const {
    return options_.defaultPrinter.isEmpty() && !options_.printers.isEmpty() ? options_.printers.first()
                                                                             : options_.defaultPrinter;
}

Printer& VirtualPrinterSystem::select(int index) {
    if (index < 0 || index >= static_cast<int>(printers_.size())) throw RuntimeError(errors::subscriptOutOfRange);
    current_ = printers_[static_cast<size_t>(index)].get();
    current_->resetFont();
    return *current_;
}

Printer& VirtualPrinterSystem::current() {
    if (current_ == nullptr) throw RuntimeError(QStringLiteral("No hay ninguna impresora seleccionada"));
    return *current_;
}

void VirtualPrinterSystem::sendRaw(const QByteArray& bytes) {
    Printer& printer = current();
    checkDevice(printer.deviceName());
    delivered_.push_back(Delivered{printer.deviceName(), {}, bytes, true, jobTitle({})});
    recordDelivery(Delivery{printer.deviceName(), QStringLiteral("application/vnd.cups-raw"), bytes, 0});
    if (onRaw_) onRaw_(printer.deviceName(), bytes);
}

void VirtualPrinterSystem::setOffline(const QString& deviceName, bool offline) {
    if (offline) {
        options_.offline.insert(deviceName);
    } else {
        options_.offline.remove(deviceName);
    }
}

QList<PrinterSystem::PrinterState> VirtualPrinterSystem::printerStates() {
    QList<PrinterState> states;
    for (const QString& name : options_.printers) {
        QString state = QStringLiteral("lista");
        try {
            checkDevice(name);
        } catch (const RuntimeError& error) {
            state = error.description();
        }
        states.append({name, QStringLiteral("impresora virtual"), outputName(), state});
    }
    return states;
}

void VirtualPrinterSystem::checkDevice(const QString& deviceName) {
    if (options_.offline.contains(deviceName)) {
        throw RuntimeError(QStringLiteral("La impresora %1 está fuera de línea").arg(deviceName));
    }
}

void VirtualPrinterSystem::deliverDocument(const QString& deviceName, const Document& document) {
    delivered_.push_back(Delivered{deviceName, document, {}, false, jobTitle(document.kind)});
    recordDelivery(Delivery{deviceName, {}, {}, 0});
    if (onDocument_) onDocument_(deviceName, document);
}

}  // namespace kelmora::platform
