#pragma once

#include "json/runtime_error.h"
#include "printing/document/document.h"
#include "printing/document/printer_line.h"

#include <QList>
#include <QString>

#include <exception>
#include <optional>

namespace kelmora::platform {

// A failure of the printing system or of a printer, not of the document's data: trying again
// later may succeed. A type of its own, apart from the run-time errors of the data, so that no
// catch of those takes it by mistake. The scope tells what failed: one printer (its queue
// refuses, it is stopped), or the printing system as a whole (not reachable, too busy, a request
// that took too long), in which case whatever is sent next fails as well.
class PrinterError : public std::exception {
public:
    enum class Scope { Printer, System };
    // `mayHaveArrived`: the document was being sent when the failure came (no answer, a lost
    // connection), so the system may have taken it after all.
    PrinterError(Scope scope, QString description, bool mayHaveArrived = false)
        : description_(std::move(description)), what_(description_.toUtf8()), scope_(scope),
          mayHaveArrived_(mayHaveArrived) {}
    const QString& description() const noexcept { return description_; }
    const char* what() const noexcept override { return what_.constData(); }
    Scope scope() const { return scope_; }
    bool mayHaveArrived() const { return mayHaveArrived_; }

private:
    QString description_;
    QByteArray what_;
    Scope scope_;
    bool mayHaveArrived_;
};

// What a document or raw delivery became once the printing system took it.
struct Delivery {
    QString printer;    // the device name it went to
    QString format;     // MIME type of the bytes: application/pdf, application/vnd.cups-raw, ...
    QByteArray bytes;   // exactly what was sent; empty when the backend sends no bytes
    int jobId = 0;      // the printing system's job; 0 when it has none to follow
};

// A job as the printing system reports it while it is followed to paper.
struct JobStatus {
    enum class State {
        Waiting,     // queued, or held by the queue
        Printing,    // being processed
        Completed,   // on paper, as far as the system knows
        Canceled,    // canceled by someone
        Aborted,     // the system gave up on it (a device that failed)
        Unknown,     // the system no longer knows it: its history is not kept
    };
    int jobId = 0;
    State state = State::Unknown;
    QString jobName;
    // Why, in the system's words: the job's state reasons, and the queue's problem (stopped, a
    // state message, reasons other than none); empty when nothing is wrong.
    QString reason;
    QString queueProblem;
    // Documents the job holds: 0 for a job whose document never arrived whole.
    int documents = 0;
    // The queue's problem in staff's words, when its reasons say it: "no responde" (connecting to
    // the device), "sin papel", "tapa abierta", "fuera de línea", "en pausa"; else empty.
    QString trouble;
    // The queue is still connecting to its device: nothing of the job can be on paper.
    bool deviceUnreached = false;
    // What the queue says it is doing, problem or not ("Sending data to printer.", or a
    // connection it keeps retrying).
    QString queueMessage;
};

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

    const paper::FontState& font() const { return font_; }
    void setFontName(const QString& name) { font_.name = name; }
    void setFontSize(double size) { font_.size = size; }
    void setFontBold(bool bold) { font_.bold = bold; }
    void setFontItalic(bool italic) { font_.italic = italic; }
    // What selecting a printer gives it: name "default", size 10, no styles.
    void resetFont() { font_ = paper::FontState(); }

    double textWidth(const QString& text) const;
    double textHeight(const QString& text) const;

    void printLine(const paper::PrinterLine& line);
    void printLine(const QString& text) { printLine(paper::PrinterLine(text)); }
    void paintPicture(const paper::Picture& picture, double x, double y, double width, double height);

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

    const paper::Document& pendingDocument() const { return document_; }
    void setDocumentKind(const QString& kind) { document_.kind = kind; }
    void setPaperWidth(double millimetres) { document_.paperWidthMm = millimetres; }

protected:
    // Raises RuntimeError with a description when the device cannot take a document now.
    virtual void checkAvailable() = 0;
    virtual void deliver(const paper::Document& document) = 0;

private:
    QString deviceName_;
    paper::FontState font_;
    paper::Document document_;
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

    // The name the jobs sent from now on carry (with the document's kind after it), so that a
    // job can be found again by it; empty: the kind alone.
    virtual void setJobName(const QString& name) { jobName_ = name; }
    const QString& jobName() const { return jobName_; }
    // The last document or raw bytes the system took, and a count of deliveries that tells a new
    // one from the previous.
    virtual const Delivery& lastDelivery() const { return lastDelivery_; }
    virtual quint64 deliveries() const { return deliveries_; }

    // A printer's state as the system knows it now, for a person who looks at the printers.
    struct PrinterState {
        QString name;
        QString reachedBy;  // how: "CUPS" or the printer's own address
        QString output;     // what it gets: "ESC/POS" or "PDF"
        QString state;      // lista, sin papel, tapa abierta, poco papel, no responde, sin estado ...
        // What it is set to, a line each, as a test page prints it: the receipt printer's roll,
        // code page, cutter...; none for a printer that gets PDF.
        QStringList settings = {};
        // It takes the invoices, and what its own printer cannot take.
        bool isDefault = false;
        // The name select() knows it by, when another is shown (a CUPS queue shown by its
        // description); empty: `name`.
        QString deviceName = {};
        const QString& device() const { return deviceName.isEmpty() ? name : deviceName; }
    };
    // Every printer with its state, asked now: slow, for a person's request only.
    virtual QList<PrinterState> printerStates();
    // Time passes with nothing to print: connections left open may be closed.
    virtual void idle() {}

    // False while the printing system itself cannot be reached: then no printer is listed, and
    // that does not mean that none is installed.
    virtual bool reachable() const { return true; }

    // Following jobs to paper. Systems without jobs to follow report every job completed.
    virtual QList<JobStatus> jobStatuses(const QList<int>& jobIds);
    // The job whose name is `name` or starts with `name` and a blank; none when the system does
    // not know it (or keeps no jobs).
    virtual std::optional<JobStatus> findJob(const QString& name);
    virtual void cancelJob(int jobId);
    // Whether the printer behind a queue takes connections now, asked of the device itself where
    // the queue reaches it over the network (socket://); nullopt when that cannot be told.
    virtual std::optional<bool> deviceAnswers(const QString& printer);
    // Whether the system keeps finished jobs for a while (it holds one now), so that a job it no
    // longer knows was forgotten before it finished; one that keeps none forgets every job as it
    // finishes. Raises when the system cannot say.
    virtual bool keepsJobHistory() { return false; }

protected:
    void recordDelivery(Delivery delivery) {
        lastDelivery_ = std::move(delivery);
        ++deliveries_;
    }
    // The job's title: the job name with the kind after it.
    QString jobTitle(const QString& kind) const;

private:
    QString jobName_;
    Delivery lastDelivery_;
    quint64 deliveries_ = 0;
};

}  // namespace kelmora::platform
