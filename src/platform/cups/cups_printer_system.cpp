// The machine's printers through CUPS: the list of queues, the printers that probe and take
// documents, and raw jobs. Requests go through the backend's bounded connection (ipp_connection);
// jobs are followed to paper in cups_jobs; the form a document takes is the printing layer's
// choice (printing/salida).

#include "platform/cups/cups_printer_system.h"

#include "json/runtime_error.h"
#include "platform/cups/cups_jobs.h"
#include "platform/cups/ipp_connection.h"
#include "printing/escpos/escpos_encoder.h"
#include "printing/salida.h"

#include <QTcpSocket>
#include <QUrl>

#include <algorithm>

namespace kelmora::platform {

using paper::Document;

namespace {

using cups::Answer;
using cups::IppObject;

// Title of the jobs that carry no name and no document kind, raw bytes among them.
const QString kUntitledJob = QStringLiteral("Kelmora");

// Why a queue cannot take a job now, as the probe tells it; empty when nothing is wrong with it.
// Raises PrinterError (System) when the scheduler cannot be reached.
QString queueProblem(cups::IppConnection& connection, const QString& queue) {
    static const char* const wanted[] = {"printer-state", "printer-state-reasons", "printer-is-accepting-jobs"};
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, cups::queueUri(queue).constData());
    cups::addRequestedAttributes(request, wanted);
    const Answer answer = connection.exchange(request, "/");
    if (!answer.unreachable.isEmpty()) throw cups::unreachableError(answer.unreachable);
    if (answer.status == IPP_STATUS_ERROR_NOT_FOUND) {
        return QStringLiteral("La impresora %1 ya no está instalada").arg(queue);
    }
    const QList<IppObject> printers = cups::objectsOf(answer.response.get(), IPP_TAG_PRINTER);
    if (!answer.ok() || printers.isEmpty()) {
        return QStringLiteral("No se puede contactar con la impresora %1: %2").arg(queue, answer.message);
    }
    const IppObject& printer = printers.first();
    if (printer.integer("printer-state") == cups::kPrinterStopped) {
        return cups::stoppedQueue(queue, printer.reasons("printer-state-reasons"));
    }
    if (!printer.boolean("printer-is-accepting-jobs", true)) {
        return QStringLiteral("La impresora %1 no acepta trabajos").arg(queue);
    }
    return {};
}

}  // namespace

class CupsPrinterSystem::CupsPrinter final : public Printer {
public:
    CupsPrinter(QString deviceName, CupsPrinterSystem& owner) : Printer(std::move(deviceName)), owner_(owner) {}

    // The queue behind the name the printer is known by; the name itself once the queue is gone
    // from the list, so that the probe says so.
    QString queue() const {
        const Queue* listed = owner_.queueListed(deviceName());
        return listed ? listed->name : deviceName();
    }

protected:
    void checkAvailable() override {
        const Output out = output(nullptr);
        if (const QString problem = queueProblem(*owner_.connection_, out.queue); !problem.isEmpty()) {
            throw PrinterError(PrinterError::Scope::Printer, problem);
        }
        if (out.salida.formato == FormatoSalida::EscPos) return;
        if (const QString reason = owner_.painter_.cannotPaintReason(); !reason.isEmpty()) {
            throw RuntimeError(QStringLiteral("La impresora %1 no puede dibujar: %2").arg(deviceName(), reason));
        }
    }

    void deliver(const Document& document) override {
        const Output out = output(&document);
        const bool receipt = out.salida.formato == FormatoSalida::EscPos;
        const char* format = receipt ? CUPS_FORMAT_RAW : CUPS_FORMAT_PDF;
        const QByteArray bytes = receipt ? paper::escpos::encodeEscPos(document, out.salida.perfil, &owner_.rasterizer_)
                                         : owner_.painter_.paint(document);
        const int job = owner_.submit(out.queue, owner_.jobTitle(document.kind), format, bytes);
        owner_.recordDelivery(Delivery{deviceName(), QString::fromLatin1(format), bytes, job});
    }

private:
    struct Output {
        QString queue;
        Salida salida;
    };

    // Where the document goes, and in what form: the settings of the printer by its queue's name
    // and its description, with what the queue takes.
    Output output(const Document* document) const {
        // What a queue takes is only known from the list: without one, a receipt printer would get
        // PDF. An empty list may be a server that could not be reached: read it again if it is old.
        if (owner_.queues_.isEmpty()) owner_.printerNames();
        if (!owner_.reachable_) throw cups::unreachableError(QStringLiteral("no hay lista de impresoras"));
        const Queue* listed = owner_.queueListed(deviceName());
        Output out;
        out.queue = listed ? listed->name : deviceName();
        QStringList names{out.queue};
        if (listed && !listed->description.isEmpty()) names.append(listed->description);
        const PrinterSettings settings = owner_.settings_ ? owner_.settings_(names) : PrinterSettings{};
        out.salida = elegirSalida(settings, listed != nullptr && listed->escpos,
                                  document != nullptr ? document->paperWidthMm : 0);
        return out;
    }

    CupsPrinterSystem& owner_;
};

CupsPrinterSystem::CupsPrinterSystem(double paperWidthMm, SettingsLookup settings,
                                     std::chrono::milliseconds requestBound)
    : painter_(paperWidthMm),
      settings_(std::move(settings)),
      // A request that finds the scheduler gone makes the next look at the list read it again.
      connection_(std::make_unique<cups::IppConnection>(requestBound, [this] { listAge_.invalidate(); })),
      jobs_(std::make_unique<cups::Jobs>(*connection_)) {}

bool CupsPrinterSystem::takesEscPos(const QString& makeAndModel, const QStringList& formats) {
    if (makeAndModel.compare(u"Local Raw Printer", Qt::CaseInsensitive) == 0) return true;
    return !formats.contains(QStringLiteral("application/pdf"), Qt::CaseInsensitive);
}

CupsPrinterSystem::~CupsPrinterSystem() = default;

QStringList CupsPrinterSystem::printerNames() const {
    if (!listAge_.isValid() || listAge_.hasExpired(kListLifetime.count())) readList();
    return names_;
}

QString CupsPrinterSystem::defaultPrinterName() const {
    if (!listAge_.isValid() || listAge_.hasExpired(kListLifetime.count())) readList();
    return defaultName_;
}

void CupsPrinterSystem::readList() const {
    // The scheduler's own list, in its order (by name, as every CUPS client lists them). Asking for
    // the few attributes needed keeps it one short request: the full destinations with the user's
    // options (cupsGetDests2) cost ten times as much.
    static const char* const wanted[] = {"printer-name", "printer-info", "printer-make-and-model",
                                         "document-format-supported"};
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    cups::addRequestedAttributes(request, wanted);
    const Answer answer = connection_->exchange(request, "/");
    QList<Queue> queues;
    for (const IppObject& printer : cups::objectsOf(answer.response.get(), IPP_TAG_PRINTER)) {
        Queue queue;
        queue.name = printer.text("printer-name");
        if (queue.name.isEmpty()) continue;
        queue.description = printer.text("printer-info").trimmed();
        queue.escpos = takesEscPos(printer.text("printer-make-and-model"), printer.texts("document-format-supported"));
        queues.append(queue);
    }

    // The queues by their names, then by the descriptions that name no queue and no other
    // description before them: a queue's own name always wins.
    QStringList names;
    for (const Queue& q : std::as_const(queues)) names.append(q.name);
    const auto listedAlready = [&names](const QString& name) {
        return std::any_of(names.cbegin(), names.cend(),
                           [&name](const QString& n) { return n.compare(name, Qt::CaseInsensitive) == 0; });
    };
    for (const Queue& q : std::as_const(queues)) {
        if (!q.description.isEmpty() && !listedAlready(q.description)) names.append(q.description);
    }

    // The default of the user's and the server's settings, as every CUPS client sees it.
    QString unreachable = answer.unreachable;
    const QString defaultName = unreachable.isEmpty() ? connection_->defaultDestination(&unreachable) : QString();

    // A scheduler that cannot be reached lists nothing: no printer can be used meanwhile.
    reachable_ = unreachable.isEmpty();
    queues_ = reachable_ ? queues : QList<Queue>();
    names_ = reachable_ ? names : QStringList();
    defaultName_ = reachable_ ? defaultName : QString();
    listAge_.start();
}

const CupsPrinterSystem::Queue* CupsPrinterSystem::queueListed(const QString& name) const {
    for (const Queue& q : std::as_const(queues_)) {
        if (q.name == name) return &q;
    }
    for (const Queue& q : std::as_const(queues_)) {
        if (!q.description.isEmpty() && q.description.compare(name, Qt::CaseInsensitive) == 0) return &q;
    }
    return nullptr;
}

Printer& CupsPrinterSystem::select(int index) {
    if (index < 0 || index >= names_.size()) throw RuntimeError(errors::subscriptOutOfRange);
    current_ = &printerNamed(names_.at(index));
    current_->resetFont();
    return *current_;
}

Printer& CupsPrinterSystem::current() {
    if (current_ == nullptr) {
        // As on the desktop, a machine with printers starts with its default printer as the
        // current one (the first when the default is not installed).
        const QStringList names = printerNames();
        if (names.isEmpty()) throw RuntimeError(QStringLiteral("No hay ninguna impresora seleccionada"));
        const qsizetype preferred = names.indexOf(defaultPrinterName());
        current_ = &printerNamed(names.at(std::max<qsizetype>(preferred, 0)));
    }
    return *current_;
}

std::optional<bool> CupsPrinterSystem::deviceAnswers(const QString& printer) {
    static const char* const wanted[] = {"device-uri"};
    const Queue* listed = queueListed(printer);
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 cups::queueUri(listed ? listed->name : printer).constData());
    cups::addRequestedAttributes(request, wanted);
    const Answer answer = connection_->exchange(request, "/");
    const QList<IppObject> printers = cups::objectsOf(answer.response.get(), IPP_TAG_PRINTER);
    if (!answer.ok() || printers.isEmpty()) return std::nullopt;
    // Only a device on the network's raw port can be asked without its driver: a connection
    // taken and closed at once.
    const QUrl device(printers.first().text("device-uri"));
    if (device.scheme() != u"socket" || device.host().isEmpty()) return std::nullopt;
    QTcpSocket socket;
    socket.connectToHost(device.host(), static_cast<quint16>(device.port(9100)));
    const bool connected = socket.waitForConnected(static_cast<int>(kDeviceBound.count()));
    socket.abort();
    return connected;
}

QList<PrinterSystem::PrinterState> CupsPrinterSystem::printerStates() {
    readList();
    QList<PrinterState> states;
    for (const Queue& queue : std::as_const(queues_)) {
        QStringList names{queue.name};
        if (!queue.description.isEmpty()) names.append(queue.description);
        const PrinterSettings settings = settings_ ? settings_(names) : PrinterSettings{};
        const Salida output = elegirSalida(settings, queue.escpos);
        const bool escpos = output.formato == FormatoSalida::EscPos;
        QString state;
        try {
            state = queueProblem(*connection_, queue.name);
        } catch (const PrinterError& error) {
            state = error.description();
        }
        const QString shown = queue.description.isEmpty() ? queue.name : queue.description;
        states.append({shown, QStringLiteral("CUPS (%1)").arg(queue.name),
                       escpos ? QStringLiteral("ESC/POS") : QStringLiteral("PDF"),
                       state.isEmpty() ? QStringLiteral("lista") : state,
                       escpos ? output.perfil.describe() : QStringList(), false,
                       queue.name});
    }
    return states;
}

CupsPrinterSystem::CupsPrinter& CupsPrinterSystem::printerNamed(const QString& name) {
    auto& printer = printers_[name];
    if (!printer) printer = std::make_unique<CupsPrinter>(name, *this);
    return *printer;
}

void CupsPrinterSystem::sendRaw(const QByteArray& bytes) {
    auto& printer = static_cast<CupsPrinter&>(current());
    const int job = submit(printer.queue(), jobTitle(QString()), CUPS_FORMAT_RAW, bytes);
    recordDelivery(Delivery{printer.deviceName(), QStringLiteral(CUPS_FORMAT_RAW), bytes, job});
}

int CupsPrinterSystem::submit(const QString& queue, const QString& title, const char* format, const QByteArray& data) {
    // One request carries the job and its document: a job never waits on the queue for a document
    // that a service stopped halfway through sending will not send.
    ipp_t* request = ippNewRequest(IPP_OP_PRINT_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, cups::queueUri(queue).constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                 (title.isEmpty() ? kUntitledJob : title).toUtf8().constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, format);
    const QByteArray resource = QByteArrayLiteral("/printers/") + queue.toUtf8();
    const Answer answer = connection_->exchange(request, resource.constData(), &data);
    if (!answer.unreachable.isEmpty()) {
        // Without an answer nobody knows whether the scheduler took the job.
        throw cups::unreachableError(answer.unreachable, true);
    }
    if (answer.ok()) {
        if (const int job = ippGetInteger(ippFindAttribute(answer.response.get(), "job-id", IPP_TAG_INTEGER), 0);
            job > 0) {
            return job;
        }
    }
    const auto systemRefusal = [&answer] {
        return PrinterError(
            PrinterError::Scope::System,
            QStringLiteral("El sistema de impresión no admite más trabajos ahora: %1").arg(answer.message));
    };
    if (cups::refusedBySystem(answer.status)) throw systemRefusal();
    if (answer.status == IPP_STATUS_ERROR_DOCUMENT_FORMAT_NOT_SUPPORTED) {
        throw PrinterError(
            PrinterError::Scope::Printer,
            QStringLiteral("La impresora %1 no admite el formato %2").arg(queue, QString::fromLatin1(format)));
    }
    // CUPS words some refusals after the system call that failed: the queue's state says it better
    // when something is wrong with it.
    if (const QString problem = queueProblem(*connection_, queue); !problem.isEmpty()) {
        throw PrinterError(PrinterError::Scope::Printer, problem);
    }
    // The scheduler refuses with "not possible" when it holds as many jobs as it may take ("Too
    // many active jobs", in the client's language): with nothing wrong with the queue, that is the
    // system's limit. A queue that is stopped, so that its jobs pile up, is that printer's failure.
    if (answer.status == IPP_STATUS_ERROR_NOT_POSSIBLE) throw systemRefusal();
    throw PrinterError(PrinterError::Scope::Printer,
                       QStringLiteral("La impresora %1 rechazó el trabajo: %2").arg(queue, answer.message));
}

QList<JobStatus> CupsPrinterSystem::jobStatuses(const QList<int>& jobIds) { return jobs_->statuses(jobIds); }

std::optional<JobStatus> CupsPrinterSystem::findJob(const QString& name) { return jobs_->find(name); }

bool CupsPrinterSystem::keepsJobHistory() { return jobs_->historyKept(); }

void CupsPrinterSystem::cancelJob(int jobId) { jobs_->cancel(jobId); }

}  // namespace kelmora::platform
