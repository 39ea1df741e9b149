#pragma once

// The commands of the kelmora executable, one file each.
namespace kelmora::app {

// kelmora render [options] ANSWER_FILE OUT_DIR: prints a poll answer on virtual printers.
int runRender(int argc, char** argv);
// kelmora [options]: the print service.
int runService(int argc, char** argv);
// kelmora demo [options]: the service against an embedded demo server.
int runDemo(int argc, char** argv);

}  // namespace kelmora::app
