#pragma once

// The CUPS backend's way of talking to the scheduler: one connection on which every request has a
// time bound, the helpers that build requests and read answers, and the failures told as
// PrinterError of the system's scope. Private to the backend.

#include "platform/printer.h"

#include <cups/cups.h>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace kelmora::platform::cups {

// printer-state values of IPP.
constexpr int kPrinterStopped = 5;

struct IppDelete {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppDelete>;

// The queue's address as the scheduler names it.
QByteArray queueUri(const QString& queue);
QByteArray serverUri();

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

    QString text(const char* name) const;
    QStringList texts(const char* name) const;
    int integer(const char* name, int absent = 0) const;
    bool boolean(const char* name, bool absent) const;
    // State reasons without "none".
    QStringList reasons(const char* name) const;

private:
    QHash<QByteArray, ipp_attribute_t*> attributes_;
};

// The printers or jobs of an answer, in its order: each comes as a group of attributes, and a
// nameless attribute separates two groups.
QList<IppObject> objectsOf(ipp_t* response, ipp_tag_t group);

// What the scheduler said to a request.
struct Answer {
    Ipp response;
    ipp_status_t status = IPP_STATUS_OK;
    QString message;      // the scheduler's words for the status
    QString unreachable;  // why the scheduler could not be asked; empty when it answered
    bool ok() const { return unreachable.isEmpty() && status <= IPP_STATUS_OK_EVENTS_COMPLETE; }
};

PrinterError unreachableError(const QString& why, bool mayHaveArrived = false);

// Refusals that say nothing of the queue: whatever is sent next is refused as well.
bool refusedBySystem(ipp_status_t status);

// The scheduler over a connection of the backend's own: libcups's shared one waits as long as the
// scheduler takes, this one gives up once a request has taken its bound. After a failure the
// next request connects afresh.
class IppConnection {
public:
    // `onUnreachable` runs each time a request finds the scheduler gone or too slow.
    IppConnection(std::chrono::milliseconds bound, std::function<void()> onUnreachable)
        : bound_(bound), onUnreachable_(std::move(onUnreachable)) {}
    ~IppConnection() { disconnect(); }
    IppConnection(const IppConnection&) = delete;
    IppConnection& operator=(const IppConnection&) = delete;

    // Sends the request (which it frees) and, after its attributes, the document if any.
    Answer exchange(ipp_t* request, const char* resource, const QByteArray* document = nullptr);

    // The default destination as every CUPS client sees it (the user's settings, else the
    // scheduler's); empty when there is none. `unreachable` tells why it could not be asked.
    QString defaultDestination(QString* unreachable);

private:
    using Clock = std::chrono::steady_clock;

    // The connection for a new request, whose clock starts now; null when the scheduler cannot
    // be reached (why in `failure`).
    http_t* begin(QString* failure);
    // Asked by libcups each time a wait on the scheduler takes a slice: 0 gives the request up.
    static int keepWaiting(http_t*, void* data);
    Answer failed(Answer answer);
    QString tooLate() const;
    void disconnect();

    const std::chrono::milliseconds bound_;
    const std::function<void()> onUnreachable_;
    http_t* http_ = nullptr;
    Clock::time_point deadline_;
    Clock::time_point lastUse_;
    bool timedOut_ = false;
};

}  // namespace kelmora::platform::cups
