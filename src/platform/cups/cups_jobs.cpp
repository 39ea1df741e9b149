// Following jobs to paper on the scheduler: their states, the queue problems that hold them up,
// a job found again by name, and cancellation.

#include "platform/cups/cups_jobs.h"

#include "platform/cups/ipp_connection.h"

#include <algorithm>
#include <utility>

namespace kelmora::platform::cups {

// What a queue's state reasons say in staff's words: the device not answering, out of paper and
// so on; empty for reasons that say none of these. Reasons carry a severity suffix
// (media-empty-error) that is not part of the word.
QString staffTrouble(const QStringList& reasons, bool stopped) {
    const auto has = [&reasons](std::initializer_list<const char*> words) {
        return std::any_of(reasons.cbegin(), reasons.cend(), [&words](const QString& reason) {
            return std::any_of(words.begin(), words.end(),
                               [&reason](const char* word) { return reason.startsWith(QLatin1String(word)); });
        });
    };
    if (has({"media-empty", "media-needed"})) return QStringLiteral("sin papel");
    if (has({"cover-open", "door-open"})) return QStringLiteral("tapa abierta");
    if (has({"connecting-to-device", "timed-out"})) return QStringLiteral("no responde");
    if (has({"offline"})) return QStringLiteral("fuera de línea");
    if (has({"paused"}) || stopped) return QStringLiteral("en pausa");
    if (has({"media-jam"})) return QStringLiteral("papel atascado");
    return {};
}

QString stoppedQueue(const QString& queue, const QStringList& reasons) {
    return QStringLiteral("La impresora %1 está detenida (%2)").arg(queue, staffTrouble(reasons, true));
}

namespace {

// Why the jobs on a queue do not print, from its state, in staff's words with the queue's name;
// empty when nothing is wrong with it. The scheduler's own words (English, and meant for
// technicians) are left out: staff read them in balloons and in Trabajos.
QString printingProblem(const QString& queue, const IppObject& printer) {
    const QStringList reasons = printer.reasons("printer-state-reasons");
    const bool stopped = printer.integer("printer-state") == kPrinterStopped;
    if (!stopped && reasons.isEmpty()) return {};  // a message alone on a working queue tells its progress
    if (stopped) return stoppedQueue(queue, reasons);
    const QString trouble = staffTrouble(reasons, false);
    return QStringLiteral("La impresora %1 tiene un problema").arg(queue) +
           (trouble.isEmpty() ? QString() : QStringLiteral(": %1").arg(trouble));
}

// A job's state reasons in staff's words, the ones that say why it stopped or ended; the progress
// words (job-printing, job-incoming ...) and the ones staff cannot act on say nothing.
QString jobReasonInSpanish(const QStringList& reasons) {
    static const std::pair<const char*, const char*> words[] = {
        {"job-canceled-by-user", "cancelado por un usuario"},
        {"job-canceled-by-operator", "cancelado por el administrador de impresión"},
        {"job-canceled-at-device", "cancelado en la impresora"},
        {"aborted-by-system", "el sistema de impresión lo abandonó"},
        {"job-aborted-by-system", "el sistema de impresión lo abandonó"},
        {"job-completed-with-errors", "terminó con errores"},
        {"document-format-error", "la impresora no entiende el documento"},
        {"document-unprintable-error", "la impresora no entiende el documento"},
        {"job-data-insufficient", "el documento llegó incompleto"},
        {"printer-stopped", "la impresora está en pausa"},
        {"printer-stopped-partly", "la impresora está en pausa"},
        {"job-hold-until-specified", "retenido en la cola"},
        {"job-held-for-review", "retenido en la cola"},
    };
    QStringList said;
    for (const QString& reason : reasons) {
        for (const auto& [word, spanish] : words) {
            const QString text = QString::fromUtf8(spanish);
            if (reason == QLatin1String(word) && !said.contains(text)) said.append(text);
        }
    }
    return said.join(QStringLiteral(", "));
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

}  // namespace

QList<JobStatus> Jobs::statuses(const QList<int>& jobIds) {
    if (jobIds.isEmpty()) return {};
    QHash<int, ServerJob> known;
    for (ServerJob& job : jobsFrom(*std::min_element(jobIds.cbegin(), jobIds.cend()))) {
        known.insert(job.status.jobId, std::move(job));
    }
    QList<JobStatus> statuses;
    bool unfinished = false;
    for (const int id : jobIds) {
        const auto found = known.constFind(id);
        if (found == known.cend()) {
            JobStatus forgotten;
            forgotten.jobId = id;
            forgotten.state = JobStatus::State::Unknown;
            statuses.append(forgotten);
            continue;
        }
        statuses.append(found->status);
        const JobStatus::State state = found->status.state;
        unfinished = unfinished || state == JobStatus::State::Waiting || state == JobStatus::State::Printing;
    }
    if (!unfinished) return statuses;
    // Why the jobs still to print do not: their queues' problems.
    const QHash<QString, QueueProblem> problems = printingProblems();
    for (JobStatus& status : statuses) {
        if (status.state != JobStatus::State::Waiting && status.state != JobStatus::State::Printing) continue;
        const ServerJob job = known.value(status.jobId);
        const QueueProblem problem = problems.value(job.queue);
        status.queueProblem = problem.text;
        status.trouble = problem.trouble;
        status.deviceUnreached = problem.unreached;
        status.queueMessage = problem.message;
        if (status.queueProblem.isEmpty()) status.queueProblem = job.stoppedProblem;
    }
    return statuses;
}

std::optional<JobStatus> Jobs::find(const QString& name) {
    const QString prefix = name + u' ';
    std::optional<JobStatus> latest;
    // A document sent again after its job was found incomplete has a job of the same name: the
    // latest one tells what became of it.
    for (const ServerJob& job : jobsFrom(1)) {
        const QString& jobName = job.status.jobName;
        if (jobName != name && !jobName.startsWith(prefix)) continue;
        if (!latest || job.status.jobId > latest->jobId) latest = job.status;
    }
    return latest;
}

void Jobs::cancel(int jobId) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/jobs/%d", jobId);
    ipp_t* request = ippNewRequest(IPP_OP_CANCEL_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    // A job already gone or finished has nothing to cancel.
    connection_.exchange(request, "/jobs/");
}

bool Jobs::historyKept() {
    static const char* const wanted[] = {"job-id"};
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, serverUri().constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "completed");
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "limit", 1);
    addRequestedAttributes(request, wanted);
    const Answer answer = connection_.exchange(request, "/");
    if (!answer.unreachable.isEmpty()) throw unreachableError(answer.unreachable);
    return answer.ok() && !objectsOf(answer.response.get(), IPP_TAG_JOB).isEmpty();
}

QList<Jobs::ServerJob> Jobs::jobsFrom(int firstJobId) {
    static const char* const wanted[] = {
        "job-id",          "job-state",           "job-state-reasons",        "job-name",
        "job-printer-uri", "number-of-documents", "job-printer-state-message"};
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, serverUri().constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "first-job-id", std::max(firstJobId, 1));
    addRequestedAttributes(request, wanted);
    const Answer answer = connection_.exchange(request, "/");
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
        found.status.reason = jobReasonInSpanish(job.reasons("job-state-reasons"));
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

QHash<QString, Jobs::QueueProblem> Jobs::printingProblems() {
    static const char* const wanted[] = {"printer-name", "printer-state", "printer-state-reasons",
                                         "printer-state-message"};
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    addRequestedAttributes(request, wanted);
    const Answer answer = connection_.exchange(request, "/");
    if (!answer.unreachable.isEmpty()) throw unreachableError(answer.unreachable);
    QHash<QString, QueueProblem> problems;
    for (const IppObject& printer : objectsOf(answer.response.get(), IPP_TAG_PRINTER)) {
        const QString name = printer.text("printer-name");
        const QString message = printer.text("printer-state-message").trimmed();
        if (const QString problem = printingProblem(name, printer); !problem.isEmpty()) {
            const QStringList reasons = printer.reasons("printer-state-reasons");
            const bool stopped = printer.integer("printer-state") == kPrinterStopped;
            // Still connecting: none of the job has reached the device.
            const bool unreached = std::any_of(reasons.cbegin(), reasons.cend(), [](const QString& reason) {
                return reason.startsWith(QLatin1String("connecting-to-device"));
            });
            problems.insert(name, {problem, staffTrouble(reasons, stopped), unreached, message});
        } else if (!message.isEmpty()) {
            problems.insert(name, {QString(), QString(), false, message});
        }
    }
    return problems;
}

}  // namespace kelmora::platform::cups
