#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace kelmora::platform {

// SIGTERM and SIGINT (a system shutdown, a service stop, Ctrl+C) as a request to stop: `requested()`
// turns true the moment a signal arrives, so work in progress can end at its next safe point, and
// `onStop` runs from the event loop once it gets there. One instance per process.
class StopSignals final : public QObject {
public:
    explicit StopSignals(std::function<void()> onStop);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool requested() const;

private:
    std::function<void()> onStop_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace kelmora::platform
