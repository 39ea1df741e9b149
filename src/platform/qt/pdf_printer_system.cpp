#include "platform/qt/pdf_printer_system.h"

#include "json/runtime_error.h"

#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>

namespace kelmora::platform {

class PdfPrinterSystem::PdfPrinter final : public Printer {
public:
    PdfPrinter(QString deviceName, PdfPrinterSystem& owner) : Printer(std::move(deviceName)), owner_(owner) {}

protected:
    void checkAvailable() override { owner_.checkAvailable(deviceName()); }
    void deliver(const Document& document) override {
        const QByteArray pdf = owner_.painter_.paint(document);
        if (owner_.onDocument_) owner_.onDocument_(deviceName(), document, pdf);
    }

private:
    PdfPrinterSystem& owner_;
};

PdfPrinterSystem::PdfPrinterSystem(Options options, PdfSink onDocument, RawSink onRaw)
    : options_(std::move(options)),
      onDocument_(std::move(onDocument)),
      onRaw_(std::move(onRaw)),
      painter_(options_.paperWidthMm) {
    for (const QString& name : std::as_const(options_.printers)) {
        printers_.push_back(std::make_unique<PdfPrinter>(name, *this));
    }
    // As on the desktop, a machine with printers starts with its default printer as the current one.
    if (!printers_.empty()) {
        const qsizetype preferred = options_.printers.indexOf(defaultPrinterProfile().section(u',', 0, 0));
        current_ = printers_[static_cast<size_t>(std::max<qsizetype>(preferred, 0))].get();
    }
}

PdfPrinterSystem::~PdfPrinterSystem() = default;

QString PdfPrinterSystem::defaultPrinterProfile() const {
    const QString name = options_.defaultPrinter.isEmpty() && !options_.printers.isEmpty()
                             ? options_.printers.first()
                             : options_.defaultPrinter;
    return name.isEmpty() ? QString() : name + QStringLiteral(",pdf,") + name;
}

Printer& PdfPrinterSystem::select(int index) {
    if (index < 0 || index >= static_cast<int>(printers_.size())) throw RuntimeError(errors::subscriptOutOfRange);
    current_ = printers_[static_cast<size_t>(index)].get();
    current_->resetFont();
    return *current_;
}

Printer& PdfPrinterSystem::current() {
    if (current_ == nullptr) throw RuntimeError(QStringLiteral("No printer is selected"));
    return *current_;
}

void PdfPrinterSystem::sendRaw(const QByteArray& bytes) {
    const QString name = current().deviceName();
    if (options_.offline.contains(name)) {
        throw RuntimeError(QStringLiteral("The printer %1 is offline").arg(name));
    }
    if (onRaw_) onRaw_(name, bytes);
}

void PdfPrinterSystem::setOffline(const QString& deviceName, bool offline) {
    if (offline) {
        options_.offline.insert(deviceName);
    } else {
        options_.offline.remove(deviceName);
    }
}

void PdfPrinterSystem::checkAvailable(const QString& deviceName) {
    if (options_.offline.contains(deviceName)) {
        throw RuntimeError(QStringLiteral("The printer %1 is offline").arg(deviceName));
    }
    if (const QString reason = painter_.cannotPaintReason(); !reason.isEmpty()) {
        throw RuntimeError(QStringLiteral("The printer %1 cannot paint: %2").arg(deviceName, reason));
    }
}

PdfFolder::PdfFolder(QString folder) : folder_(std::move(folder)) {
    QDir dir(folder_);
    if (!dir.mkpath(QStringLiteral("."))) {
        throw RuntimeError(QStringLiteral("The folder %1 cannot be created").arg(folder_));
    }
    static const QRegularExpression numbered(QStringLiteral("^(\\d{3,})-"));
    const QStringList files = dir.entryList(QDir::Files);
    for (const QString& file : files) {
        const auto match = numbered.match(file);
        if (match.hasMatch()) next_ = std::max(next_, match.captured(1).toInt() + 1);
    }
}

QString PdfFolder::write(const QString& deviceName, const QString& extension, const QByteArray& bytes) {
    QString device = deviceName;
    device.replace(u'/', u'_').replace(u'\\', u'_');
    const QString path = QDir(folder_).filePath(
        QStringLiteral("%1-%2.%3").arg(next_, 3, 10, QLatin1Char('0')).arg(device, extension));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw RuntimeError(QStringLiteral("The file %1 cannot be written: %2").arg(path, file.errorString()));
    }
    ++next_;
    return path;
}

PdfPrinterSystem::PdfSink PdfFolder::documentSink() {
    return [this](const QString& deviceName, const Document&, const QByteArray& pdf) {
        write(deviceName, QStringLiteral("pdf"), pdf);
    };
}

PdfPrinterSystem::RawSink PdfFolder::rawSink() {
    return [this](const QString& deviceName, const QByteArray& bytes) {
        write(deviceName, QStringLiteral("raw"), bytes);
    };
}

}  // namespace kelmora::platform
