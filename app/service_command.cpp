// kelmora [options]: the print service.
#include "commands.h"
#include "service.h"

#include <QStringList>

#include <cstdio>

namespace kelmora::app {

int runService(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
    const auto parsed = parseServiceArguments(arguments);
    if (const auto* help = std::get_if<HelpRequest>(&parsed)) {
        std::fputs(qPrintable(help->text), stdout);
        return kExitNormal;
    }
    if (const QString* error = std::get_if<QString>(&parsed)) {
        std::fputs(qPrintable(QStringLiteral("kelmora: ") + *error + QStringLiteral("\nkelmora --help da las opciones\n")),
                   stderr);
        return kExitUsage;
    }
    ServiceOptions options = std::get<ServiceOptions>(parsed);
    if (options.autostart && systemServiceEnabled()) return kExitNormal;
    const Application application = createApplication(argc, argv, options.headless);
    return runPrintService(std::move(options), application.headless);
}

}  // namespace kelmora::app
