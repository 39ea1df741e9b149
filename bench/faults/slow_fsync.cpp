// Loaded into the service with LD_PRELOAD: every fsync and fdatasync takes SLOW_FSYNC_MS longer
// (10 by default), as on a slow disk, and their count is written to SLOW_FSYNC_COUNT (a file) at
// exit, so that a run can tell what the service's syncs cost and how many it made.
#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<long> syncs{0};

void slowDown() {
    ++syncs;
    const char* value = std::getenv("SLOW_FSYNC_MS");
    const long ms = value != nullptr ? std::atol(value) : 10;
    const timespec pause{ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

struct Report {
    ~Report() {
        if (const char* file = std::getenv("SLOW_FSYNC_COUNT")) {
            if (FILE* f = std::fopen(file, "w")) {
                std::fprintf(f, "%ld\n", syncs.load());
                std::fclose(f);
            }
        }
    }
} report;

}  // namespace

extern "C" int fsync(int fd) {
    static const auto real = next<int (*)(int)>("fsync");
    slowDown();
    return real(fd);
}

extern "C" int fdatasync(int fd) {
    static const auto real = next<int (*)(int)>("fdatasync");
    slowDown();
    return real(fd);
}
