#pragma once

#include "platform/printer.h"

#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace kelmora::platform {

// Virtual printers that lay each document out as text on a character grid: a column is one
// character cell whatever the font. For tests, previews and support. Until a printer is selected
// the current printer is the default one (the first when the default is not installed).
class TextPrinterSystem final : public PrinterSystem {
public:
    struct Options {
        QStringList printers{QStringLiteral("Facturas")};
        QString defaultPrinter;  // empty: the first printer
        QSet<QString> offline;   // printers whose availability probe fails
    };
    using DocumentSink = std::function<void(const QString& deviceName, const Document& document)>;
    using RawSink = std::function<void(const QString& deviceName, const QByteArray& bytes)>;

    explicit TextPrinterSystem(Options options, DocumentSink onDocument = {}, RawSink onRaw = {});
    ~TextPrinterSystem() override;

    QStringList printerNames() const override { return options_.printers; }
    QString defaultPrinterProfile() const override;
    Printer& select(int index) override;
    Printer& current() override;
    void sendRaw(const QByteArray& bytes) override;

    void setOffline(const QString& deviceName, bool offline);

    struct Delivered {
        QString deviceName;
        Document document;
        QByteArray raw;  // raw bytes instead of a document
        bool isRaw = false;
    };
    // Everything delivered so far, in order.
    const std::vector<Delivered>& delivered() const { return delivered_; }

private:
    class TextPrinter;
    void record(const QString& deviceName, const Document& document);

    Options options_;
    DocumentSink onDocument_;
    RawSink onRaw_;
    std::vector<std::unique_ptr<TextPrinter>> printers_;
    TextPrinter* current_ = nullptr;
    std::vector<Delivered> delivered_;
};

// The document as text: one line per printed row, trailing blanks removed, LF line ends. With
// `withFonts` each line begins with its font state, "[NAME SIZE] " or "[NAME SIZE B] ".
QString renderText(const Document& document, bool withFonts);

}  // namespace kelmora::platform
