#pragma once

// The jobs the scheduler keeps, as the CUPS backend follows them to paper: their states with what
// holds them up, the latest job of a name, their cancellation, and whether finished ones are kept
// at all. Private to the backend.

#include "platform/printer.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace kelmora::platform::cups {

class IppConnection;

// What a queue's state reasons say in staff's words: "sin papel", "tapa abierta", "no responde",
// "fuera de línea", "en pausa" (also for a stopped queue), "papel atascado"; empty for reasons
// that say none of these.
QString staffTrouble(const QStringList& reasons, bool stopped);
// A stopped queue as staff read it: "La impresora Cocina está detenida (en pausa)".
QString stoppedQueue(const QString& queue, const QStringList& reasons);

class Jobs {
public:
    explicit Jobs(IppConnection& connection) : connection_(connection) {}

    // The jobs' states in one request, and the problems of the queues of those still waiting or
    // printing in one more. Raises PrinterError (System) when the scheduler cannot tell.
    QList<JobStatus> statuses(const QList<int>& jobIds);
    // The latest job of that name among all the scheduler keeps.
    std::optional<JobStatus> find(const QString& name);
    // A job already gone or finished has nothing to cancel: no failure is told.
    void cancel(int jobId);
    // Whether the scheduler holds any finished job (PreserveJobHistory, on by default).
    bool historyKept();

private:
    struct ServerJob {
        JobStatus status;
        QString queue;
        QString stoppedProblem;  // set when the scheduler stopped the job itself
    };
    // The jobs the scheduler keeps (finished ones too, as long as it keeps them), from `firstJobId`
    // on, in one request.
    QList<ServerJob> jobsFrom(int firstJobId);
    // Why each queue's jobs do not print, and what each says it is doing, by queue name, in one
    // request.
    struct QueueProblem {
        QString text;      // the scheduler's words
        QString trouble;   // staff's words, when the reasons say it
        bool unreached = false;
        QString message;   // the queue's state message, problem or not
    };
    QHash<QString, QueueProblem> printingProblems();

    IppConnection& connection_;
};

}  // namespace kelmora::platform::cups
