#pragma once

#include "platform/service_manager.h"

#include <chrono>

namespace kelmora::platform {

// systemd's notification socket (Type=notify): READY=1 once, WATCHDOG=1 while alive, at most
// twice per watchdog interval. Outside systemd (no NOTIFY_SOCKET) it says nothing.
class SystemdManager final : public ServiceManager {
public:
    SystemdManager();

    void ready() override;
    void alive() override;

    // The interval systemd expects a sign of life in; zero without a watchdog.
    std::chrono::microseconds watchdogInterval() const { return interval_; }

private:
    std::chrono::microseconds interval_{0};
    std::chrono::steady_clock::time_point lastAlive_{};
};

}  // namespace kelmora::platform
