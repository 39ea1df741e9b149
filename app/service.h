#pragma once

#include "commands.h"
#include "shell/ciclo_consulta.h"

#include <QApplication>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <variant>

namespace kelmora::app {

// Exit statuses of the service.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitUsage = 1;         // bad options, a second instance, a folder that cannot be made
inline constexpr int kExitNoBranchCode = 2;  // no branch code that passes the rule, and none can be asked for

struct ServiceOptions {
    QString server;                    // scheme, host and port of the central server
    bool serverGiven = false;          // on the command line, which wins over the settings file
    QString folder;                    // program folder; empty: the default one
    std::optional<QString> branchCode; // a branch code to store before starting
    bool headless = false;             // --headless
    bool autostart = false;            // --autostart: the desktop session's start
    bool verbose = false;              // --verbose: headless, the whole exchange on standard output
    QString printTo;                   // virtual PDF printers writing here instead of the machine's
    QStringList printers;              // their names
    QString defaultPrinter;            // the default one among them
    int pollIntervalMs = shell::limites::intervaloConsultaMs;     // a hidden option, for measurements
    int fetchTimeoutMs = shell::limites::tiempoMaximoConsultaMs;  // a hidden option, for fault runs
};

// The options of `kelmora` (without the program name): the options, the help text, or an error
// text for the user.
std::variant<ServiceOptions, HelpRequest, QString> parseServiceArguments(const QStringList& arguments);

// The Qt application: with widgets when a display can be opened and windows are wanted, otherwise
// off screen, where the printers still paint. `headless` tells which it became.
struct Application {
    std::unique_ptr<QApplication> qt;
    bool headless = false;
};
Application createApplication(int& argc, char** argv, bool headless);

// The system service is enabled on this machine: it polls the branch, and a tray session must not.
bool systemServiceEnabled();

// Runs the service until it ends (the event loop of the application made above); the exit status.
int runPrintService(ServiceOptions options, bool headless);

}  // namespace kelmora::app
