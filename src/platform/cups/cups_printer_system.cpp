#include "platform/cups/cups_printer_system.h"

#include "json/runtime_error.h"
#include "platform/escpos/escpos_encoder.h"

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

    // The queue behind the name the printer is known by; the name itself once the queue is gone
    // from the list, so that the probe says so.
    QString queue() const {
        const Queue* listed = owner_.queueListed(deviceName());
        return listed ? listed->name : deviceName();
    }

protected:
    void checkAvailable() override {
        const Output out = output(nullptr);
        if (const QString problem = queueProblem(out.queue); !problem.isEmpty()) throw RuntimeError(problem);
        if (out.escpos) return;
        if (const QString reason = owner_.painter_.cannotPaintReason(); !reason.isEmpty()) {
            throw RuntimeError(QStringLiteral("La impresora %1 no puede dibujar: %2").arg(deviceName(), reason));
        }
    }

    void deliver(const Document& document) override {
        const Output out = output(&document);
        const QString title = document.kind.isEmpty() ? kUntitledJob : document.kind;
        if (out.escpos) {
            owner_.submit(out.queue, title, CUPS_FORMAT_RAW, escpos::encodeEscPos(document, out.profile, &owner_.rasterizer_));
        } else {
            owner_.submit(out.queue, title, CUPS_FORMAT_PDF, owner_.painter_.paint(document));
        }
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

CupsPrinterSystem::CupsPrinterSystem(double paperWidthMm, SettingsLookup settings)
    : painter_(paperWidthMm), settings_(std::move(settings)) {}

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
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(wanted)), nullptr, wanted);
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    QList<Queue> queues;
    // Each printer's attributes come as a group; a nameless attribute separates two groups.
    Queue queue;
    QString makeAndModel;
    QStringList formats;
    const auto endOfPrinter = [&] {
        if (!queue.name.isEmpty()) {
            queue.escpos = takesEscPos(makeAndModel, formats);
            queues.append(queue);
        }
        queue = Queue();
        makeAndModel.clear();
        formats.clear();
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute != nullptr;
         attribute = ippNextAttribute(response)) {
        const char* name = ippGetName(attribute);
        if (name == nullptr) {
            endOfPrinter();
            continue;
        }
        if (ippGetGroupTag(attribute) != IPP_TAG_PRINTER) continue;
        const QByteArrayView key(name);
        const QString first = QString::fromUtf8(ippGetString(attribute, 0, nullptr));
        if (key == "printer-name") {
            queue.name = first;
        } else if (key == "printer-info") {
            queue.description = first.trimmed();
        } else if (key == "printer-make-and-model") {
            makeAndModel = first;
        } else if (key == "document-format-supported") {
            for (int i = 0; i < ippGetCount(attribute); ++i) {
                formats.append(QString::fromUtf8(ippGetString(attribute, i, nullptr)));
            }
        }
    }
    endOfPrinter();
    ippDelete(response);

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
    QString defaultName;
    if (cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr)) {
        defaultName = QString::fromUtf8(dest->name);
        cupsFreeDests(1, dest);
    }

    queues_ = queues;
    names_ = names;
    defaultName_ = defaultName;
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
    submit(static_cast<CupsPrinter&>(current()).queue(), kUntitledJob, CUPS_FORMAT_RAW, bytes);
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
