#include "platform/direct/direct_printer_system.h"

#include "printing/escpos/escpos_encoder.h"
#include "printing/salida.h"
#include "printing/texto.h"

namespace kelmora::platform {

namespace {

const QString kRawFormat = QStringLiteral("application/vnd.cups-raw");

QString folded(const QString& name) { return mayusculas(recortarBlancos(name)); }

}  // namespace

class DirectPrinterSystem::DirectPrinter final : public platform::Printer {
public:
    DirectPrinter(const DirectPrinterSystem::Printer& printer, DirectPrinterSystem& owner, direct::LinkBounds bounds)
        : platform::Printer(printer.name),
          settings_(printer.settings),
          link_(printer.address, printer.settings.answersStatus, bounds),
          owner_(owner) {}

    direct::ReceiptLink& link() { return link_; }
    const PrinterSettings& settings() const { return settings_; }

    // What the printer last said: why it could not print (empty when it could) and since when,
    // its paper low.
    QString problem;
    bool nearEnd = false;
    bool noStatusTold = false;
    QElapsedTimer failedAt;

    void send(const QByteArray& bytes) {
        const direct::ReceiptLink::Result result = link_.print(bytes);
        owner_.noteState(*this, result);
        failIf(result);
        owner_.recordDirect(Delivery{deviceName(), kRawFormat, bytes, 0});
    }

protected:
    void checkAvailable() override {
        // Asked a moment ago and it could not print: the answer stands.
        if (!problem.isEmpty() && failedAt.elapsed() < kFailureMemoryMs) {
            throw PrinterError(PrinterError::Scope::Printer, deviceName() + QStringLiteral(": ") + problem);
        }
        const direct::ReceiptLink::Result result = link_.status();
        owner_.noteState(*this, result);
        failIf(result);
    }

    void deliver(const paper::Document& document) override {
        // It is a receipt printer whatever the settings say of the output: it gets its commands.
        const Salida salida = elegirSalida(settings_, true, document.paperWidthMm);
        send(paper::escpos::encodeEscPos(document, salida.perfil, &owner_.rasterizer_));
    }

private:
    void failIf(const direct::ReceiptLink::Result& result) {
        using Kind = direct::ReceiptLink::Result::Kind;
        if (result.kind == Kind::Ready || result.kind == Kind::NoStatus) return;
        throw PrinterError(PrinterError::Scope::Printer, deviceName() + QStringLiteral(": ") + result.problem,
                           result.bytesSent);
    }

    PrinterSettings settings_;
    direct::ReceiptLink link_;
    DirectPrinterSystem& owner_;
};

DirectPrinterSystem::DirectPrinterSystem(std::vector<Printer> printers, std::unique_ptr<PrinterSystem> others,
                                         QString defaultPrinter, StateListener listener, direct::LinkBounds bounds)
    : others_(std::move(others)), defaultPrinter_(std::move(defaultPrinter)), listener_(std::move(listener)) {
    for (const Printer& printer : printers) {
        printers_.push_back(std::make_unique<DirectPrinter>(printer, *this, bounds));
    }
}

DirectPrinterSystem::~DirectPrinterSystem() = default;

std::vector<DirectPrinterSystem::Printer> DirectPrinterSystem::fromSettings(const SettingsFile& file,
                                                                            QStringList& problems) {
    std::vector<Printer> printers;
    for (const DirectPrinterSettings& entry : file.directPrinters()) {
        const std::optional<direct::Address> address = direct::Address::parse(entry.settings.connection);
        if (!address) {
            problems.append(QStringLiteral("Ajuste no válido en %1, [%2] conexion=%3: no es socket://HOST[:PUERTO] ni "
                                           "la ruta de un dispositivo; se usa la cola de CUPS de ese nombre, si la hay")
                                .arg(kSettingsFileName, entry.name, entry.settings.connection));
            continue;
        }
        printers.push_back({recortarBlancos(entry.name), *address, entry.settings});
    }
    return printers;
}

QStringList DirectPrinterSystem::otherNames() const {
    QStringList names;
    for (const QString& name : others_->printerNames()) {
        const bool hidden = std::any_of(printers_.begin(), printers_.end(), [&](const auto& printer) {
            return folded(printer->deviceName()) == folded(name);
        });
        if (!hidden) names.append(name);
    }
    otherNames_ = names;
    return names;
}

QStringList DirectPrinterSystem::printerNames() const {
    QStringList names;
    for (const auto& printer : printers_) names.append(printer->deviceName());
    return names + otherNames();
}

QString DirectPrinterSystem::defaultPrinterName() const {
    if (defaultPrinter_.isEmpty()) return others_->defaultPrinterName();
    // As listed, when it is: the name a person wrote may differ in case and blanks.
    for (const QString& name : printerNames()) {
        if (folded(name) == folded(defaultPrinter_)) return name;
    }
    return defaultPrinter_;
}

platform::Printer& DirectPrinterSystem::select(int index) {
    const int direct = static_cast<int>(printers_.size());
    if (index >= 0 && index < direct) {
        currentDirect_ = printers_[static_cast<size_t>(index)].get();
        otherSelected_ = false;
        currentDirect_->resetFont();
        return *currentDirect_;
    }
    // The other system's index among the names it lists, hidden ones included.
    if (index >= direct && index - direct < otherNames_.size()) {
        const QString name = otherNames_.at(index - direct);
        const QStringList all = others_->printerNames();
        const qsizetype at = all.indexOf(name);
        if (at >= 0) {
            currentDirect_ = nullptr;
            otherSelected_ = true;
            return others_->select(static_cast<int>(at));
        }
    }
    throw RuntimeError(QStringLiteral("Subscript out of range"));
}

platform::Printer& DirectPrinterSystem::current() {
    if (currentDirect_) return *currentDirect_;
    if (otherSelected_) return others_->current();
    // Before any selection: the default printer, as on a desktop.
    const QString name = folded(defaultPrinterName());
    for (const auto& printer : printers_) {
        if (folded(printer->deviceName()) == name) return *printer;
    }
    if (others_->printerNames().isEmpty() && !printers_.empty()) return *printers_.front();
    return others_->current();
}

void DirectPrinterSystem::sendRaw(const QByteArray& bytes) {
    platform::Printer& printer = current();
    if (auto* direct = dynamic_cast<DirectPrinter*>(&printer)) {
        direct->send(bytes);
        return;
    }
    others_->sendRaw(bytes);
}

bool DirectPrinterSystem::reachable() const {
    // A direct printer does not need the other system: its failures are its own.
    return currentDirect_ != nullptr || others_->reachable();
}

void DirectPrinterSystem::setJobName(const QString& name) {
    PrinterSystem::setJobName(name);
    others_->setJobName(name);
}

void DirectPrinterSystem::recordDirect(Delivery delivery) {
    lastDirect_ = std::move(delivery);
    ++directDeliveries_;
    othersAtLastDirect_ = others_->deliveries();
}

const Delivery& DirectPrinterSystem::lastDelivery() const {
    return others_->deliveries() != othersAtLastDirect_ ? others_->lastDelivery() : lastDirect_;
}

quint64 DirectPrinterSystem::deliveries() const { return directDeliveries_ + others_->deliveries(); }

void DirectPrinterSystem::noteState(DirectPrinter& printer, const direct::ReceiptLink::Result& result) {
    using Kind = direct::ReceiptLink::Result::Kind;
    const auto tell = [&](StateChange change, const QString& problem) {
        if (listener_) listener_(printer.deviceName(), change, problem);
    };
    if (result.kind == Kind::NoStatus && !printer.noStatusTold) {
        printer.noStatusTold = true;
        tell(StateChange::NoStatus, QString());
    }
    const bool canPrint = result.kind == Kind::Ready || result.kind == Kind::NoStatus;
    const QString problem = canPrint ? QString() : result.problem;
    if (problem != printer.problem) tell(problem.isEmpty() ? StateChange::Recovered : StateChange::Trouble, problem);
    printer.problem = problem;
    if (canPrint) {
        printer.failedAt.invalidate();
    } else {
        printer.failedAt.start();
    }
    if (result.kind == Kind::Ready) {
        const bool nearEnd = result.status.paperNearEnd;
        if (nearEnd && !printer.nearEnd) tell(StateChange::PaperLow, QString());
        printer.nearEnd = nearEnd;
    }
}

QList<PrinterSystem::PrinterState> DirectPrinterSystem::printerStates() {
    QList<PrinterState> states;
    for (const auto& printer : printers_) {
        const direct::ReceiptLink::Result result = printer->link().status();
        noteState(*printer, result);
        QString state;
        switch (result.kind) {
        case direct::ReceiptLink::Result::Kind::Ready:
            state = result.status.paperNearEnd ? QStringLiteral("poco papel") : QStringLiteral("lista");
            break;
        case direct::ReceiptLink::Result::Kind::NoStatus:
            state = QStringLiteral("sin estado: se da por impreso lo enviado");
            break;
        default:
            state = result.problem;
        }
        states.append({printer->deviceName(), printer->link().address().text(), QStringLiteral("ESC/POS"), state,
                       elegirSalida(printer->settings(), true).perfil.describe()});
    }
    const QStringList shown = otherNames();
    for (const PrinterState& state : others_->printerStates()) {
        if (shown.contains(state.name)) states.append(state);
    }
    return states;
}

void DirectPrinterSystem::idle() {
    for (const auto& printer : printers_) {
        // A printer in trouble is asked again, so that staff hear when it can print again even
        // with nothing waiting on it.
        if (!printer->problem.isEmpty() && printer->failedAt.elapsed() >= kFailureMemoryMs) {
            const direct::ReceiptLink::Result result = printer->link().status();
            noteState(*printer, result);
        }
        printer->link().closeIfIdle();
    }
    others_->idle();
}

}  // namespace kelmora::platform
