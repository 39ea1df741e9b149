#include "platform/cups/cups_printer_system.h"

#include "json/runtime_error.h"
#include "platform/escpos/escpos_encoder.h"

#include <cups/cups.h>

#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

namespace kelmora::platform {

namespace {

using Clock = std::chrono::steady_clock;

// printer-state values of IPP.
constexpr int kPrinterStopped = 5;

// Title of the jobs that carry no name and no document kind, raw bytes among them.
const QString kUntitledJob = QStringLiteral("Kelmora");

// How often a request that waits on the scheduler looks at its clock.
constexpr std::chrono::milliseconds kWaitSlice{200};
// A connection left unused longer than this is opened afresh: the scheduler may have closed it
// meanwhile, and a request on a closed connection would fail as if the scheduler were gone.
constexpr std::chrono::seconds kIdleLimit{10};

struct IppDelete {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppDelete>;

// The queue's address as the scheduler names it.
QByteArray queueUri(const QString& queue) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     queue.toUtf8().constData());
    return QByteArray(uri);
}

QByteArray serverUri() {
    char uri[HTTP_MAX_URI];
    httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/");
    return QByteArray(uri);
}

template <std::size_t N>
void addRequestedAttributes(ipp_t* request, const char* const (&wanted)[N]) {
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", static_cast<int>(N), nullptr,
                  wanted);
}

// One printer or job of an answer: its attributes by name.
class IppObject {
public:
    void add(const char* name, ipp_attribute_t* attribute) { attributes_.insert(QByteArray(name), attribute); }
    bool isEmpty() const { return attributes_.isEmpty(); }

    QString text(const char* name) const {
        ipp_attribute_t* attribute = attributes_.value(QByteArray(name));
        return attribute ? QString::fromUtf8(ippGetString(attribute, 0, nullptr)) : QString();
    }
    QStringList texts(const char* name) const {
        ipp_attribute_t* attribute = attributes_.value(QByteArray(name));
        QStringList all;
        for (int i = 0; i < ippGetCount(attribute); ++i) {
            all.append(QString::fromUtf8(ippGetString(attribute, i, nullptr)));
        }
        return all;
    }
    int integer(const char* name, int absent = 0) const {
        ipp_attribute_t* attribute = attributes_.value(QByteArray(name));
        return attribute ? ippGetInteger(attribute, 0) : absent;
    }
    bool boolean(const char* name, bool absent) const {
        ipp_attribute_t* attribute = attributes_.value(QByteArray(name));
        return attribute ? ippGetBoolean(attribute, 0) != 0 : absent;
    }
    // State reasons without "none".
    QStringList reasons(const char* name) const {
        QStringList all = texts(name);
        all.removeAll(QStringLiteral("none"));
        return all;
    }

private:
    QHash<QByteArray, ipp_attribute_t*> attributes_;
};

// The printers or jobs of an answer, in its order: each comes as a group of attributes, and a
// nameless attribute separates two groups.
QList<IppObject> objectsOf(ipp_t* response, ipp_tag_t group) {
    QList<IppObject> objects;
    IppObject object;
    const auto endOfObject = [&] {
        if (!object.isEmpty()) objects.append(object);
        object = IppObject();
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute != nullptr;
         attribute = ippNextAttribute(response)) {
        const char* name = ippGetName(attribute);
        if (name == nullptr || ippGetGroupTag(attribute) != group) {
            endOfObject();
            continue;
        }
        object.add(name, attribute);
    }
    endOfObject();
    return objects;
}

// What the scheduler said to a request.
struct Answer {
    Ipp response;
    ipp_status_t status = IPP_STATUS_OK;
    QString message;      // the scheduler's words for the status
    QString unreachable;  // why the scheduler could not be asked; empty when it answered
    bool ok() const { return unreachable.isEmpty() && status <= IPP_STATUS_OK_EVENTS_COMPLETE; }
};

PrinterError unreachableError(const QString& why, bool mayHaveArrived = false) {
    return PrinterError(PrinterError::Scope::System,
                        QStringLiteral("No se puede contactar con el sistema de impresión: %1").arg(why), mayHaveArrived);
}

// Refusals that say nothing of the queue: whatever is sent next is refused as well.
bool refusedBySystem(ipp_status_t status) {
    return status == IPP_STATUS_ERROR_BUSY || status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE ||
           status == IPP_STATUS_ERROR_TEMPORARY || status == IPP_STATUS_ERROR_TOO_MANY_JOBS;
}

// Why the jobs on a queue do not print, from its state; empty when nothing is wrong with it.
QString printingProblem(const QString& queue, const IppObject& printer) {
    const QString reasons = printer.reasons("printer-state-reasons").join(u',');
    const QString message = printer.text("printer-state-message").trimmed();
    QString problem;
    if (printer.integer("printer-state") == kPrinterStopped) {
        problem = QStringLiteral("La impresora %1 está detenida").arg(queue);
    } else if (!reasons.isEmpty()) {
        problem = QStringLiteral("La impresora %1 tiene un problema").arg(queue);
    } else {
        return {};  // a message alone on a working queue tells its progress
    }
    if (!reasons.isEmpty()) problem += QStringLiteral(" (%1)").arg(reasons);
    if (!message.isEmpty()) problem += QStringLiteral(": %1").arg(message);
    return problem;
}

JobStatus::State jobState(int ippState) {
    switch (ippState) {
    case IPP_JSTATE_PENDING:
    case IPP_JSTATE_HELD:
        return JobStatus::State::Waiting;
    case IPP_JSTATE_PROCESSING:
    case IPP_JSTATE_STOPPED:
        return JobStatus::State::Printing;
    case IPP_JSTATE_CANCELED:
        return JobStatus::State::Canceled;
    case IPP_JSTATE_ABORTED:
        return JobStatus::State::Aborted;
    case IPP_JSTATE_COMPLETED:
        return JobStatus::State::Completed;
    default:
        return JobStatus::State::Unknown;
    }
}

struct ServerJob {
    JobStatus status;
    QString queue;
    QString stoppedProblem;  // set when the scheduler stopped the job itself
};

}  // namespace

// The scheduler over a connection of the system's own: libcups's shared one waits as long as the
// scheduler takes, this one gives up once a request has taken its bound. After a failure the
// next request connects afresh.
class CupsPrinterSystem::Server {
public:
    Server(std::chrono::milliseconds bound, std::function<void()> onUnreachable)
        : bound_(bound), onUnreachable_(std::move(onUnreachable)) {}
    ~Server() { disconnect(); }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Sends the request (which it frees) and, after its attributes, the document if any.
    Answer exchange(ipp_t* request, const char* resource, const QByteArray* document = nullptr) {
        const Ipp owned(request);
        Answer answer;
        http_t* http = begin(&answer.unreachable);
        if (http == nullptr) return failed(std::move(answer));
        // The length is the whole body's: the request's attributes, then the document.
        const auto length = static_cast<size_t>(document ? document->size() : 0);
        http_status_t sent = cupsSendRequest(http, request, resource, ippLength(request) + length);
        if (sent == HTTP_STATUS_CONTINUE && length > 0) {
            sent = cupsWriteRequestData(http, document->constData(), length);
        }
        if (sent == HTTP_STATUS_CONTINUE || sent == HTTP_STATUS_OK) {
            answer.response.reset(cupsGetResponse(http, resource));
        }
        answer.status = cupsLastError();
        answer.message = QString::fromUtf8(cupsLastErrorString());
        if (timedOut_) {
            answer.unreachable = tooLate();
        } else if (!answer.response &&
                   (answer.status < IPP_STATUS_ERROR_BAD_REQUEST || answer.status >= IPP_STATUS_ERROR_INTERNAL)) {
            // No answer and no refusal of HTTP's: the connection failed.
            answer.unreachable = answer.message;
        }
        if (!answer.response) disconnect();  // nothing left half read on it
        return answer.unreachable.isEmpty() ? std::move(answer) : failed(std::move(answer));
    }

    // The default destination as every CUPS client sees it (the user's settings, else the
    // scheduler's); empty when there is none. `unreachable` tells why it could not be asked.
    QString defaultDestination(QString* unreachable) {
        http_t* http = begin(unreachable);
        if (http == nullptr) return {};
        QString name;
        if (cups_dest_t* dest = cupsGetNamedDest(http, nullptr, nullptr)) {
            name = QString::fromUtf8(dest->name);
            cupsFreeDests(1, dest);
        }
        if (timedOut_) {
            *unreachable = tooLate();
            disconnect();
            onUnreachable_();
        }
        return name;
    }

    // Why a queue cannot take a job now, as the probe tells it; empty when nothing is wrong with it.
    // Raises PrinterError (System) when the scheduler cannot be reached.
    QString queueProblem(const QString& queue) {
        static const char* const wanted[] = {"printer-state", "printer-state-reasons", "printer-is-accepting-jobs"};
        ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, queueUri(queue).constData());
        addRequestedAttributes(request, wanted);
        const Answer answer = exchange(request, "/");
        if (!answer.unreachable.isEmpty()) throw unreachableError(answer.unreachable);
        if (answer.status == IPP_STATUS_ERROR_NOT_FOUND) {
            return QStringLiteral("La impresora %1 ya no está instalada").arg(queue);
        }
        const QList<IppObject> printers = objectsOf(answer.response.get(), IPP_TAG_PRINTER);
        if (!answer.ok() || printers.isEmpty()) {
            return QStringLiteral("No se puede contactar con la impresora %1: %2").arg(queue, answer.message);
        }
        const IppObject& printer = printers.first();
        if (printer.integer("printer-state") == kPrinterStopped) {
            const QString reasons = printer.reasons("printer-state-reasons").join(u',');
            return QStringLiteral("La impresora %1 está detenida").arg(queue) +
                   (reasons.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reasons));
        }
        if (!printer.boolean("printer-is-accepting-jobs", true)) {
            return QStringLiteral("La impresora %1 no acepta trabajos").arg(queue);
        }
        return {};
    }

    // The jobs the scheduler keeps (finished ones too, as long as it keeps them), from `firstJobId`
    // on, in one request.
    QList<ServerJob> jobsFrom(int firstJobId) {
        static const char* const wanted[] = {
            "job-id",          "job-state",           "job-state-reasons",        "job-name",
            "job-printer-uri", "number-of-documents", "job-printer-state-message"};
        ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, serverUri().constData());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
        ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "first-job-id", std::max(firstJobId, 1));
        addRequestedAttributes(request, wanted);
        const Answer answer = exchange(request, "/");
        if (!answer.unreachable.isEmpty()) throw unreachableError(answer.unreachable);
        // No job at all comes as "not found".
        if (!answer.ok() && answer.status != IPP_STATUS_ERROR_NOT_FOUND) {
            throw PrinterError(
                PrinterError::Scope::System,
                QStringLiteral("El sistema de impresión no informa de los trabajos: %1").arg(answer.message));
        }
        QList<ServerJob> jobs;
        for (const IppObject& job : objectsOf(answer.response.get(), IPP_TAG_JOB)) {
            ServerJob found;
            found.status.jobId = job.integer("job-id");
            found.status.state = jobState(job.integer("job-state"));
            found.status.jobName = job.text("job-name");
            found.status.reason = job.reasons("job-state-reasons").join(QStringLiteral(", "));
            if (const QString message = job.text("job-printer-state-message").trimmed(); !message.isEmpty()) {
                found.status.reason += (found.status.reason.isEmpty() ? QString() : QStringLiteral(": ")) + message;
            }
            found.status.documents = job.integer("number-of-documents");
            // A job the scheduler stopped (a filter that failed) goes nowhere by itself, whatever
            // its queue says: that is its problem.
            if (job.integer("job-state") == IPP_JSTATE_STOPPED) {
                found.stoppedProblem = QStringLiteral("El trabajo %1 está detenido").arg(found.status.jobId) +
                                       (found.status.reason.isEmpty() ? QString()
                                                                      : QStringLiteral(" (%1)").arg(found.status.reason));
            }
            const QString printerUri = job.text("job-printer-uri");
            found.queue = printerUri.mid(printerUri.lastIndexOf(u'/') + 1);
            if (found.status.jobId > 0) jobs.append(found);
        }
        return jobs;
    }

    // Whether the scheduler holds any finished job at all.
    bool holdsFinishedJobs() {
        static const char* const wanted[] = {"job-id"};
        ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, serverUri().constData());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "completed");
        ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "limit", 1);
        addRequestedAttributes(request, wanted);
        const Answer answer = exchange(request, "/");
        if (!answer.unreachable.isEmpty()) throw unreachableError(answer.unreachable);
        return answer.ok() && !objectsOf(answer.response.get(), IPP_TAG_JOB).isEmpty();
    }

    // Why each queue's jobs do not print, by queue name, in one request.
    QHash<QString, QString> printingProblems() {
        static const char* const wanted[] = {"printer-name", "printer-state", "printer-state-reasons",
                                             "printer-state-message"};
        ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
        addRequestedAttributes(request, wanted);
        const Answer answer = exchange(request, "/");
        if (!answer.unreachable.isEmpty()) throw unreachableError(answer.unreachable);
        QHash<QString, QString> problems;
        for (const IppObject& printer : objectsOf(answer.response.get(), IPP_TAG_PRINTER)) {
            const QString name = printer.text("printer-name");
            if (const QString problem = printingProblem(name, printer); !problem.isEmpty()) {
                problems.insert(name, problem);
            }
        }
        return problems;
    }

private:
    // The connection for a new request, whose clock starts now; null when the scheduler cannot
    // be reached (why in `failure`).
    http_t* begin(QString* failure) {
        const auto now = Clock::now();
        deadline_ = now + bound_;
        timedOut_ = false;
        if (http_ != nullptr && now - lastUse_ > kIdleLimit) disconnect();
        lastUse_ = now;
        if (http_ != nullptr) return http_;
        // A domain socket's path stands for the host.
        errno = 0;
        http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                             static_cast<int>(bound_.count()), nullptr);
        if (http_ == nullptr) {
            *failure = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("sin conexión");
            return nullptr;
        }
        const double slice =
            std::chrono::duration<double>(std::min<std::chrono::milliseconds>(kWaitSlice, bound_)).count();
        httpSetTimeout(http_, slice, &Server::keepWaiting, this);
        return http_;
    }

    // Asked by libcups each time a wait on the scheduler takes a slice: 0 gives the request up.
    static int keepWaiting(http_t*, void* data) {
        auto* server = static_cast<Server*>(data);
        if (Clock::now() < server->deadline_) return 1;
        server->timedOut_ = true;
        return 0;
    }

    Answer failed(Answer answer) {
        disconnect();
        onUnreachable_();
        return answer;
    }

    QString tooLate() const {
        return QStringLiteral("no responde en %1 s").arg(std::chrono::duration<double>(bound_).count());
    }

    void disconnect() {
        if (http_ != nullptr) httpClose(http_);
        http_ = nullptr;
    }

    const std::chrono::milliseconds bound_;
    const std::function<void()> onUnreachable_;
    http_t* http_ = nullptr;
    Clock::time_point deadline_;
    Clock::time_point lastUse_;
    bool timedOut_ = false;
};

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
        if (const QString problem = owner_.server_->queueProblem(out.queue); !problem.isEmpty()) {
            throw PrinterError(PrinterError::Scope::Printer, problem);
        }
        if (out.escpos) return;
        if (const QString reason = owner_.painter_.cannotPaintReason(); !reason.isEmpty()) {
            throw RuntimeError(QStringLiteral("La impresora %1 no puede dibujar: %2").arg(deviceName(), reason));
        }
    }

    void deliver(const Document& document) override {
        const Output out = output(&document);
        const char* format = out.escpos ? CUPS_FORMAT_RAW : CUPS_FORMAT_PDF;
        const QByteArray bytes = out.escpos ? escpos::encodeEscPos(document, out.profile, &owner_.rasterizer_)
                                            : owner_.painter_.paint(document);
        const int job = owner_.submit(out.queue, owner_.jobTitle(document.kind), format, bytes);
        owner_.recordDelivery(Delivery{deviceName(), QString::fromLatin1(format), bytes, job});
    }

private:
    struct Output {
        QString queue;
        bool escpos = false;
        escpos::EscPosProfile profile;
    };

    // Where and how the document goes: the settings file's word for this printer, else what its
    // queue takes. A receipt printer with no roll set prints on the roll the document was laid out for.
    Output output(const Document* document) const {
        // What a queue takes is only known from the list: without one, a receipt printer would get
        // PDF. An empty list may be a server that could not be reached: read it again if it is old.
        if (owner_.queues_.isEmpty()) owner_.printerNames();
        if (!owner_.reachable_) throw unreachableError(QStringLiteral("no hay lista de impresoras"));
        const Queue* listed = owner_.queueListed(deviceName());
        Output out;
        out.queue = listed ? listed->name : deviceName();
        QStringList names{out.queue};
        if (listed && !listed->description.isEmpty()) names.append(listed->description);
        const PrinterSettings settings = owner_.settings_ ? owner_.settings_(names) : PrinterSettings{};
        out.escpos = settings.output == PrinterOutput::EscPos ||
                     (settings.output == PrinterOutput::Automatic && listed != nullptr && listed->escpos);
        out.profile = settings.escpos;
        if (!settings.rollSet && document != nullptr) out.profile.followLayout(document->paperWidthMm);
        return out;
    }

    CupsPrinterSystem& owner_;
};

CupsPrinterSystem::CupsPrinterSystem(double paperWidthMm, SettingsLookup settings,
                                     std::chrono::milliseconds requestBound)
    : painter_(paperWidthMm),
      settings_(std::move(settings)),
      // A request that finds the scheduler gone makes the next look at the list read it again.
      server_(std::make_unique<Server>(requestBound, [this] { listAge_.invalidate(); })) {}

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
    addRequestedAttributes(request, wanted);
    const Answer answer = server_->exchange(request, "/");
    QList<Queue> queues;
    for (const IppObject& printer : objectsOf(answer.response.get(), IPP_TAG_PRINTER)) {
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
    const QString defaultName = unreachable.isEmpty() ? server_->defaultDestination(&unreachable) : QString();

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
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, queueUri(queue).constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                 (title.isEmpty() ? kUntitledJob : title).toUtf8().constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, format);
    const QByteArray resource = QByteArrayLiteral("/printers/") + queue.toUtf8();
    const Answer answer = server_->exchange(request, resource.constData(), &data);
    if (!answer.unreachable.isEmpty()) {
        // Without an answer nobody knows whether the scheduler took the job.
        throw unreachableError(answer.unreachable, true);
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
    if (refusedBySystem(answer.status)) throw systemRefusal();
    if (answer.status == IPP_STATUS_ERROR_DOCUMENT_FORMAT_NOT_SUPPORTED) {
        throw PrinterError(
            PrinterError::Scope::Printer,
            QStringLiteral("La impresora %1 no admite el formato %2").arg(queue, QString::fromLatin1(format)));
    }
    // CUPS words some refusals after the system call that failed: the queue's state says it better
    // when something is wrong with it.
    if (const QString problem = server_->queueProblem(queue); !problem.isEmpty()) {
        throw PrinterError(PrinterError::Scope::Printer, problem);
    }
    // The scheduler refuses with "not possible" when it holds as many jobs as it may take ("Too
    // many active jobs", in the client's language): with nothing wrong with the queue, that is the
    // system's limit. A queue that is stopped, so that its jobs pile up, is that printer's failure.
    if (answer.status == IPP_STATUS_ERROR_NOT_POSSIBLE) throw systemRefusal();
    throw PrinterError(PrinterError::Scope::Printer,
                       QStringLiteral("La impresora %1 rechazó el trabajo: %2").arg(queue, answer.message));
}

QList<JobStatus> CupsPrinterSystem::jobStatuses(const QList<int>& jobIds) {
    if (jobIds.isEmpty()) return {};
    QHash<int, ServerJob> known;
    for (ServerJob& job : server_->jobsFrom(*std::min_element(jobIds.cbegin(), jobIds.cend()))) {
        known.insert(job.status.jobId, std::move(job));
    }
    QList<JobStatus> statuses;
    bool unfinished = false;
    for (const int id : jobIds) {
        const auto found = known.constFind(id);
        if (found == known.cend()) {
            statuses.append(JobStatus{id, JobStatus::State::Unknown, {}, {}, {}, 0});
            continue;
        }
        statuses.append(found->status);
        const JobStatus::State state = found->status.state;
        unfinished = unfinished || state == JobStatus::State::Waiting || state == JobStatus::State::Printing;
    }
    if (!unfinished) return statuses;
    // Why the jobs still to print do not: their queues' problems.
    const QHash<QString, QString> problems = server_->printingProblems();
    for (JobStatus& status : statuses) {
        if (status.state != JobStatus::State::Waiting && status.state != JobStatus::State::Printing) continue;
        const ServerJob job = known.value(status.jobId);
        status.queueProblem = problems.value(job.queue);
        if (status.queueProblem.isEmpty()) status.queueProblem = job.stoppedProblem;
    }
    return statuses;
}

std::optional<JobStatus> CupsPrinterSystem::findJob(const QString& name) {
    const QString prefix = name + u' ';
    std::optional<JobStatus> latest;
    // A document sent again after its job was found incomplete has a job of the same name: the
    // latest one tells what became of it.
    for (const ServerJob& job : server_->jobsFrom(1)) {
        const QString& jobName = job.status.jobName;
        if (jobName != name && !jobName.startsWith(prefix)) continue;
        if (!latest || job.status.jobId > latest->jobId) latest = job.status;
    }
    return latest;
}

bool CupsPrinterSystem::keepsJobHistory() { return server_->holdsFinishedJobs(); }

void CupsPrinterSystem::cancelJob(int jobId) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/jobs/%d", jobId);
    ipp_t* request = ippNewRequest(IPP_OP_CANCEL_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    // A job already gone or finished has nothing to cancel.
    server_->exchange(request, "/jobs/");
}

}  // namespace kelmora::platform
