#pragma once

// A byte stream to a receipt printer, every wait bounded by a deadline. Used from one thread.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <chrono>

namespace kelmora::platform::direct {

using Deadline = std::chrono::steady_clock::time_point;

class Transport {
public:
    enum class Outcome {
        Done,
        TimedOut,  // the connection is still there; the caller decides whether to keep it
        Failed,    // the connection is gone or unusable (error() says why)
    };

    virtual ~Transport() = default;

    virtual Outcome open(Deadline deadline) = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    // Hands all of `bytes` to the connection; `taken` counts those it took, whatever the outcome.
    virtual Outcome write(QByteArrayView bytes, Deadline deadline, qint64& taken) = 0;
    // Appends to `into` the bytes that come first, waiting for them up to the deadline.
    virtual Outcome read(QByteArray& into, Deadline deadline) = 0;
    // Appends to `into` what is waiting to be read, without waiting. Failed when the connection
    // turns out to be gone (the printer closed it while it was idle).
    virtual Outcome takeWaiting(QByteArray& into) = 0;
    // The last failure or time-out, for the technician.
    virtual QString error() const = 0;
};

// Milliseconds left until the deadline, rounded up so a wait never spins; 0 once passed.
int millisecondsLeft(Deadline deadline);

}  // namespace kelmora::platform::direct
