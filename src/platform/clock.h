#pragma once

#include <QDateTime>

#include <chrono>

namespace kelmora::platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds from some fixed origin that no change of the wall clock moves: for waits
    // measured while the process runs. Clocks that never step may follow now().
    virtual qint64 monotonicMs() const { return now().toMSecsSinceEpoch(); }
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

// A clock that always tells the same time: previews and tests.
class FixedClock final : public Clock {
public:
    explicit FixedClock(QDateTime time) : time_(std::move(time)) {}
    QDateTime now() const override { return time_; }

private:
    QDateTime time_;
};

}  // namespace kelmora::platform
