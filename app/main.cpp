#include "commands.h"

#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "render") == 0) return kelmora::app::runRender(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "demo") == 0) return kelmora::app::runDemo(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "trabajos") == 0) return kelmora::app::runJobList(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "reimprimir") == 0) return kelmora::app::runReprint(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "descartar") == 0) return kelmora::app::runDiscard(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "impresoras") == 0) return kelmora::app::runPrinterList(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "comprobar") == 0) return kelmora::app::runCheck(argc, argv);
    return kelmora::app::runService(argc, argv);
}
