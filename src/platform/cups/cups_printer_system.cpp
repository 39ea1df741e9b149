#include "platform/cups/cups_printer_system.h"

#include "json/runtime_error.h"

#include <cups/cups.h>

#include <algorithm>
#include <iterator>

namespace kelmora::platform {

namespace {

// printer-state values of IPP.
constexpr int kPrinterStopped = 5;

// Title of the jobs that name no document kind, raw bytes among them.
const QString kUntitledJob = QStringLiteral("Kelmora");

QString lastCupsError() { return QString::fromUtf8(cupsLastErrorString()); }

// The queue's address as the scheduler names it.
QByteArray queueUri(const QString& queue) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     queue.toUtf8().constData());
    return QByteArray(uri);
}

// A new job on the queue; 0 when refused. cupsCreateJob would first fetch every attribute of the
// queue (hundreds, read a few bytes at a time), which costs several times the job itself.
int createJob(const QString& queue, const QByteArray& title) {
    ipp_t* request = ippNewRequest(IPP_OP_CREATE_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, queueUri(queue).constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    if (!title.isEmpty()) ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, title.constData());
    const QByteArray resource = QByteArrayLiteral("/printers/") + queue.toUtf8();
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, resource.constData());
    int job = 0;
    if (cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE) {
        job = ippGetInteger(ippFindAttribute(response, "job-id", IPP_TAG_INTEGER), 0);
    }
    ippDelete(response);
    return job;
}

// The state of one queue, asked of the server; freed when it goes out of scope.
class QueueState {
public:
    explicit QueueState(const QString& queue) {
        static const char* const wanted[] = {"printer-state", "printer-state-reasons", "printer-is-accepting-jobs"};
        ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, queueUri(queue).constData());
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                      static_cast<int>(std::size(wanted)), nullptr, wanted);
        response_ = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
        status_ = cupsLastError();
    }
    ~QueueState() { ippDelete(response_); }
    QueueState(const QueueState&) = delete;
    QueueState& operator=(const QueueState&) = delete;

    bool found() const { return response_ != nullptr && status_ <= IPP_STATUS_OK_EVENTS_COMPLETE; }
    bool notFound() const { return status_ == IPP_STATUS_ERROR_NOT_FOUND; }
    int state() const { return ippGetInteger(ippFindAttribute(response_, "printer-state", IPP_TAG_ENUM), 0); }
    bool accepting() const {
        ipp_attribute_t* attribute = ippFindAttribute(response_, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
        return attribute == nullptr || ippGetBoolean(attribute, 0) != 0;
    }
    QString reasons() const {
        ipp_attribute_t* attribute = ippFindAttribute(response_, "printer-state-reasons", IPP_TAG_KEYWORD);
        QStringList all;
        for (int i = 0; i < ippGetCount(attribute); ++i) {
            const QString reason = QString::fromUtf8(ippGetString(attribute, i, nullptr));
            if (reason != u"none") all.append(reason);
        }
        return all.join(u',');
    }

private:
    ipp_t* response_ = nullptr;
    ipp_status_t status_ = IPP_STATUS_OK;
};

// Why a queue cannot take a job now, as the probe tells it; empty when nothing is wrong with it.
QString queueProblem(const QString& queue) {
    const QueueState state(queue);
    if (state.notFound()) return QStringLiteral("La impresora %1 ya no está instalada").arg(queue);
    if (!state.found()) return QStringLiteral("No se puede contactar con la impresora %1: %2").arg(queue, lastCupsError());
    if (state.state() == kPrinterStopped) {
        const QString reasons = state.reasons();
        return QStringLiteral("La impresora %1 está detenida").arg(queue) +
               (reasons.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reasons));
    }
    if (!state.accepting()) return QStringLiteral("La impresora %1 no acepta trabajos").arg(queue);
    return {};
}

}  // namespace

class CupsPrinterSystem::CupsPrinter final : public Printer {
public:
    CupsPrinter(QString deviceName, CupsPrinterSystem& owner) : Printer(std::move(deviceName)), owner_(owner) {}

protected:
    void checkAvailable() override {
        if (const QString problem = queueProblem(deviceName()); !problem.isEmpty()) throw RuntimeError(problem);
        if (const QString reason = owner_.painter_.cannotPaintReason(); !reason.isEmpty()) {
            throw RuntimeError(QStringLiteral("La impresora %1 no puede dibujar: %2").arg(deviceName(), reason));
        }
    }

    void deliver(const Document& document) override {
        const QByteArray pdf = owner_.painter_.paint(document);
        owner_.submit(deviceName(), document.kind.isEmpty() ? kUntitledJob : document.kind, CUPS_FORMAT_PDF, pdf);
    }

private:
    CupsPrinterSystem& owner_;
};

CupsPrinterSystem::CupsPrinterSystem(double paperWidthMm) : painter_(paperWidthMm) {}

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
    // the names alone keeps it one short request: the full destinations with the user's options
    // (cupsGetDests2) cost ten times as much.
    static const char* const wanted[] = {"printer-name"};
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(wanted)), nullptr, wanted);
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    QStringList names;
    for (ipp_attribute_t* name = ippFindAttribute(response, "printer-name", IPP_TAG_NAME); name != nullptr;
         name = ippFindNextAttribute(response, "printer-name", IPP_TAG_NAME)) {
        names.append(QString::fromUtf8(ippGetString(name, 0, nullptr)));
    }
    ippDelete(response);

    // The default of the user's and the server's settings, as every CUPS client sees it.
    QString defaultName;
    if (cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr)) {
        defaultName = QString::fromUtf8(dest->name);
        cupsFreeDests(1, dest);
    }

    names_ = names;
    defaultName_ = defaultName;
    listAge_.start();
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
    submit(current().deviceName(), kUntitledJob, CUPS_FORMAT_RAW, bytes);
}

void CupsPrinterSystem::submit(const QString& queue, const QString& title, const char* format,
                               const QByteArray& data) {
    const QByteArray name = queue.toUtf8();
    const QByteArray jobTitle = title.toUtf8();
    // CUPS words some refusals after the system call that failed ("No such file or directory" for
    // a queue that is gone): the queue's state says it better when something is wrong with it.
    const auto refused = [&queue](const QString& why) {
        const QString problem = queueProblem(queue);
        return RuntimeError(problem.isEmpty() ? QStringLiteral("La impresora %1 rechazó el trabajo: %2").arg(queue, why)
                                              : problem);
    };

    const int job = createJob(queue, jobTitle);
    if (job <= 0) throw refused(lastCupsError());
    QString failure;
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, name.constData(), job, jobTitle.constData(), format, 1) !=
        HTTP_STATUS_CONTINUE) {
        failure = lastCupsError();
    } else {
        if (cupsWriteRequestData(CUPS_HTTP_DEFAULT, data.constData(), static_cast<size_t>(data.size())) !=
            HTTP_STATUS_CONTINUE) {
            failure = lastCupsError();
        }
        // Also after a failed write: the answer must be read for the connection to stay usable.
        if (cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData()) != IPP_STATUS_OK && failure.isEmpty()) {
            failure = lastCupsError();
        }
    }
    if (!failure.isEmpty()) {
        // No job may wait half sent on the queue.
        cupsCancelJob2(CUPS_HTTP_DEFAULT, name.constData(), job, 0);
        throw refused(failure);
    }
    lastJobId_ = job;
}

}  // namespace kelmora::platform
