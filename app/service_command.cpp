#include "commands.h"

#include <cstdio>

namespace kelmora::app {

int runService(int, char**) {
    std::fputs("kelmora: the service is not available in this build yet; use 'kelmora render'\n", stderr);
    return 2;
}

int runDemo(int, char**) { return runService(0, nullptr); }

}  // namespace kelmora::app
