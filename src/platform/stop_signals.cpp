#include "platform/stop_signals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kelmora::platform {

namespace {

// A signal handler reaches nothing but what is static: the flag it raises and the pipe that
// wakes the event loop. Written only by the handler and read by the one instance.
volatile std::sig_atomic_t stopRequested = 0;
int wakeUp[2] = {-1, -1};

extern "C" void onSignal(int) {
    stopRequested = 1;
    const char byte = 1;
    // Nothing can be done about a full pipe here; one byte already waiting is enough anyway.
    [[maybe_unused]] const ssize_t written = ::write(wakeUp[1], &byte, 1);
}

}  // namespace

StopSignals::StopSignals(std::function<void()> onStop) : onStop_(std::move(onStop)) {
    stopRequested = 0;
    if (::pipe2(wakeUp, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(wakeUp[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(wakeUp[0], bytes, sizeof bytes) > 0) {
        }
        if (onStop_) onStop_();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Restarted, so that a request to the printing system under way is not cut by the signal.
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

StopSignals::~StopSignals() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    notifier_.reset();
    for (int& end : wakeUp) {
        if (end >= 0) ::close(end);
        end = -1;
    }
}

bool StopSignals::requested() const { return stopRequested != 0; }

}  // namespace kelmora::platform
