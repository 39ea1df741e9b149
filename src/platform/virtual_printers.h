#pragma once

#include "platform/drawer_printer.h"
#include "platform/printer.h"

#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace kelmora::platform {

// Named virtual printers: each ended document and each raw delivery is recorded and handed to a
// sink. Backends that put documents on paper (a PDF, say) override what a device checks and does
// with a document. Until a printer is selected the current printer is the default one (the first
// when the default is not installed).
class VirtualPrinterSystem : public PrinterSystem {
public:
    struct Options {
        QStringList printers{kDrawerPrinter};
        QString defaultPrinter;  // empty: the first printer
        QSet<QString> offline;   // printers whose availability probe fails
    };
    using DocumentSink = std::function<void(const QString& deviceName, const paper::Document& document)>;
    using RawSink = std::function<void(const QString& deviceName, const QByteArray& bytes)>;

    explicit VirtualPrinterSystem(Options options, DocumentSink onDocument = {}, RawSink onRaw = {});
    ~VirtualPrinterSystem() override;

    QStringList printerNames() const override { return options_.printers; }
    QString defaultPrinterName() const override;
    Printer& select(int index) override;
    Printer& current() override;
    void sendRaw(const QByteArray& bytes) override;

    void setOffline(const QString& deviceName, bool offline);
    // Each printer "lista", or why it cannot take a document.
    QList<PrinterState> printerStates() override;

    struct Delivered {
        QString deviceName;
        paper::Document document;
        QByteArray raw;  // raw bytes instead of a document
        bool isRaw = false;
        QString jobTitle;  // the job name and kind it was delivered under
    };
    // Everything delivered so far, in order.
    const std::vector<Delivered>& delivered() const { return delivered_; }

protected:
    // What the printers make of a document, as a person reads it.
    virtual QString outputName() const { return QStringLiteral("texto"); }
    // Raises RuntimeError when the device cannot take a document: offline printers here.
    virtual void checkDevice(const QString& deviceName);
    // What the device does with an ended document: recorded and handed to the sink here.
    virtual void deliverDocument(const QString& deviceName, const paper::Document& document);

private:
    class VirtualPrinter;

    Options options_;
    DocumentSink onDocument_;
    RawSink onRaw_;
    std::vector<std::unique_ptr<VirtualPrinter>> printers_;
    VirtualPrinter* current_ = nullptr;
    std::vector<Delivered> delivered_;
};


}  // namespace kelmora::platform
