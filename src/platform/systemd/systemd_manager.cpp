#include "platform/systemd/systemd_manager.h"

#include <systemd/sd-daemon.h>

namespace kelmora::platform {

SystemdManager::SystemdManager() {
    uint64_t usec = 0;
    // 0: no watchdog for this process.
    if (sd_watchdog_enabled(0, &usec) > 0) interval_ = std::chrono::microseconds(usec);
}

void SystemdManager::ready() { sd_notify(0, "READY=1\nSTATUS=Consultando el servidor"); }

void SystemdManager::alive() {
    if (interval_.count() == 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastAlive_ < interval_ / 2) return;
    lastAlive_ = now;
    sd_notify(0, "WATCHDOG=1");
}

}  // namespace kelmora::platform
