#include "commands.h"

#include <cstdio>

namespace kelmora::app {

int runRender(int, char**) {
    std::fputs("usage: kelmora render [options] ANSWER_FILE OUT_DIR\n", stderr);
    return 1;
}

}  // namespace kelmora::app
