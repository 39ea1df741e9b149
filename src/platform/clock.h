#pragma once

#include <QDateTime>

namespace kelmora::platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
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
