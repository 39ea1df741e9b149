#pragma once

#include <QTimer>

#include <functional>

namespace kelmora::platform {

// A timer of the event loop. Tests drive a fake one on a fake time line.
class Timer {
public:
    enum class Mode { Repeating, SingleShot };

    virtual ~Timer() = default;

    // Calls the handler every `intervalMs` (once for SingleShot), from the event loop; starting a
    // running timer starts it over.
    virtual void start(int intervalMs, Mode mode) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

    void setHandler(std::function<void()> handler) { handler_ = std::move(handler); }

protected:
    void fire() {
        if (handler_) handler_();
    }

private:
    std::function<void()> handler_;
};

// A timer on QTimer.
class SystemTimer final : public Timer {
public:
    SystemTimer() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { fire(); });
    }

    void start(int intervalMs, Mode mode) override {
        timer_.setSingleShot(mode == Mode::SingleShot);
        timer_.start(intervalMs);
    }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

}  // namespace kelmora::platform
