#include "platform/text/text_printer.h"

#include "json/runtime_error.h"

#include <QLocale>

namespace kelmora::platform {

class TextPrinterSystem::TextPrinter final : public Printer {
public:
    TextPrinter(QString deviceName, TextPrinterSystem& owner) : Printer(std::move(deviceName)), owner_(owner) {}

protected:
    void checkAvailable() override {
        if (owner_.options_.offline.contains(deviceName())) {
            throw RuntimeError(QStringLiteral("The printer %1 is offline").arg(deviceName()));
        }
    }
    void deliver(const Document& document) override { owner_.record(deviceName(), document); }

private:
    TextPrinterSystem& owner_;
};

TextPrinterSystem::TextPrinterSystem(Options options, DocumentSink onDocument, RawSink onRaw)
    : options_(std::move(options)), onDocument_(std::move(onDocument)), onRaw_(std::move(onRaw)) {
    for (const QString& name : std::as_const(options_.printers)) {
        printers_.push_back(std::make_unique<TextPrinter>(name, *this));
    }
    // As on the desktop, a machine with printers starts with its default printer as the current one.
    if (!printers_.empty()) {
        const qsizetype preferred = options_.printers.indexOf(defaultPrinterProfile().section(u',', 0, 0));
        current_ = printers_[static_cast<size_t>(std::max<qsizetype>(preferred, 0))].get();
    }
}

TextPrinterSystem::~TextPrinterSystem() = default;

QString TextPrinterSystem::defaultPrinterProfile() const {
    const QString name = options_.defaultPrinter.isEmpty() && !options_.printers.isEmpty()
                             ? options_.printers.first()
                             : options_.defaultPrinter;
    return name.isEmpty() ? QString() : name + QStringLiteral(",winspool,Ne00:");
}

Printer& TextPrinterSystem::select(int index) {
    if (index < 0 || index >= static_cast<int>(printers_.size())) throw RuntimeError(errors::subscriptOutOfRange);
    current_ = printers_[static_cast<size_t>(index)].get();
    current_->resetFont();
    return *current_;
}

Printer& TextPrinterSystem::current() {
    if (current_ == nullptr) throw RuntimeError(QStringLiteral("No printer is selected"));
    return *current_;
}

void TextPrinterSystem::sendRaw(const QByteArray& bytes) {
    Printer& printer = current();
    if (options_.offline.contains(printer.deviceName())) {
        throw RuntimeError(QStringLiteral("The printer %1 is offline").arg(printer.deviceName()));
    }
    delivered_.push_back(Delivered{printer.deviceName(), {}, bytes, true});
    if (onRaw_) onRaw_(printer.deviceName(), bytes);
}

void TextPrinterSystem::setOffline(const QString& deviceName, bool offline) {
    if (offline) {
        options_.offline.insert(deviceName);
    } else {
        options_.offline.remove(deviceName);
    }
}

void TextPrinterSystem::record(const QString& deviceName, const Document& document) {
    delivered_.push_back(Delivered{deviceName, document, {}, false});
    if (onDocument_) onDocument_(deviceName, document);
}

QString renderText(const Document& document, bool withFonts) {
    QString out;
    for (const DocumentRow& row : document.rows) {
        QString line;
        if (withFonts) {
            line = u'[' + row.font.name + u' ' +
                   QLocale::c().toString(row.font.size, 'g', QLocale::FloatingPointShortest) +
                   (row.font.bold ? QStringLiteral(" B] ") : QStringLiteral("] "));
        }
        line += row.text;
        while (line.endsWith(u' ')) line.chop(1);
        out += line + u'\n';
    }
    return out;
}

}  // namespace kelmora::platform
