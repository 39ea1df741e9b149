#pragma once

#include "platform/document.h"
#include "platform/printer_line.h"

#include <QString>

namespace kelmora::platform {

// A printer as the tickets use it: a font state, lines of items, measures in twips, pictures, and
// the end of a document. Failures of the device raise RuntimeError with a description.
//
// The shared rules live here, once: the font state, the measures of the font metric, the line
// layout and the recording of the document. A backend only probes its device and delivers the
// finished document.
class Printer {
public:
    explicit Printer(QString deviceName) : deviceName_(std::move(deviceName)) {}
    virtual ~Printer() = default;
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    const QString& deviceName() const { return deviceName_; }

    const FontState& font() const { return font_; }
    void setFontName(const QString& name) { font_.name = name; }
    void setFontSize(double size) { font_.size = size; }
    void setFontBold(bool bold) { font_.bold = bold; }
    void setFontItalic(bool italic) { font_.italic = italic; }
    // What selecting a printer gives it: name "default", size 10, no styles.
    void resetFont() { font_ = FontState(); }

    double textWidth(const QString& text) const;
    double textHeight(const QString& text) const;

    void printLine(const PrinterLine& line);
    void printLine(const QString& text) { printLine(PrinterLine(text)); }
    void paintPicture(const Picture& picture, double x, double y, double width, double height);

    // The availability probe: one empty line, which raises when the device cannot print.
    void probe();
    // The call right after the probe: the probe's empty line is discarded, so a ticket starts on
    // its own first line. Anything printed after the probe stays.
    void closeProbe();

    // Hands the document to the device; a device that refuses it raises. The document is gone
    // either way.
    void endDoc();
    // Drops an unfinished document without sending it.
    void killDoc();

    const Document& pendingDocument() const { return document_; }
    void setDocumentKind(const QString& kind) { document_.kind = kind; }
    void setPaperWidth(double millimetres) { document_.paperWidthMm = millimetres; }

protected:
    // Raises RuntimeError with a description when the device cannot take a document now.
    virtual void checkAvailable() = 0;
    virtual void deliver(const Document& document) = 0;

private:
    QString deviceName_;
    FontState font_;
    Document document_;
    bool probeLinePending_ = false;
};

// The machine's printers, in the platform's order, and the current printer.
class PrinterSystem {
public:
    virtual ~PrinterSystem() = default;

    // Device names of the installed printers, in the platform's order.
    virtual QStringList printerNames() const = 0;
    // The default printer's device name; empty when there is none.
    virtual QString defaultPrinterName() const = 0;
    // Makes the printer at `index` the current one, with the default font state. An index outside
    // the list raises "Subscript out of range".
    virtual Printer& select(int index) = 0;
    // The current printer: the default one until another is selected, as on a desktop; raises when
    // no printer is installed.
    virtual Printer& current() = 0;
    // Delivers raw bytes, exactly as given, to the current printer's device.
    virtual void sendRaw(const QByteArray& bytes) = 0;
};

}  // namespace kelmora::platform
