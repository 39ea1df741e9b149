// kelmora trabajos, reimprimir, descartar, impresoras, comprobar: the journal of print documents,
// the printers and the set-up from a terminal, for the branches that run the service without a
// desktop.
#include "commands.h"
#include "program_folder.h"

#include "platform/cups/cups_printer_system.h"
#include "platform/files.h"
#include "platform/net/network_page_loader.h"
#include "platform/rotating_log.h"
#include "platform/direct/direct_printer_system.h"
#include "platform/settings_file.h"
#include "printing/seleccion_impresora.h"
#include "printing/texto.h"
#include "platform/sqlite/sqlite_journal.h"
#include "shell/codigo_sucursal.h"
#include "shell/trabajos.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace kelmora::app {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // bad arguments, no journal, or the action could not be done

constexpr int kDefaultDays = 7;

void printOut(const QString& text) { std::fputs(qPrintable(text + u'\n'), stdout); }
void printError(const QString& text) { std::fputs(qPrintable(text + u'\n'), stderr); }

QCommandLineOption folderOption() {
    return QCommandLineOption(QStringLiteral("dir"),
                              QStringLiteral("La carpeta del programa, donde el servicio guarda su diario (por "
                                             "omisión: la del ejecutable si es del usuario y no está bajo /usr; si "
                                             "no, la carpeta de datos del usuario; la del servicio del sistema es "
                                             "/var/lib/kelmora)."),
                              QStringLiteral("CARPETA"));
}

// The command's arguments without the program and the command's name, in an application of its
// own that finds the same default folder as the service.
QStringList startApplication(std::unique_ptr<QCoreApplication>& application, int& argc, char** argv) {
    application = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelmora"));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeAt(1);
    return arguments;
}

// A usage fault, with the way to the help.
int usageError(const QString& command, const QString& message) {
    printError(QStringLiteral("kelmora %1: %2\nkelmora %1 --help da las opciones").arg(command, message));
    return kExitFailed;
}

// The exit status when the arguments asked for the help (printed) or were faulty (told); nullopt
// when there are options to run with.
template <typename Options>
std::optional<int> helpOrFault(const std::variant<Options, HelpRequest, QString>& parsed, const QString& command) {
    if (const auto* help = std::get_if<HelpRequest>(&parsed)) {
        std::fputs(qPrintable(help->text), stdout);
        return kExitOk;
    }
    if (const QString* message = std::get_if<QString>(&parsed)) return usageError(command, *message);
    return std::nullopt;
}

// The journal of the folder as it is; null, with the reason told, when there is none to read.
std::unique_ptr<platform::SqliteJournal> openJournal(const QString& folder) {
    const QString path = QDir(folder.isEmpty() ? defaultFolder() : folder).filePath(platform::SqliteJournal::kFileName);
    QString error;
    std::unique_ptr<platform::SqliteJournal> journal = platform::SqliteJournal::openExisting(path, &error);
    if (!journal) printError(error);
    return journal;
}

struct ListOptions {
    QString folder;
    bool pendingOnly = false;
    int days = kDefaultDays;
};

std::variant<ListOptions, HelpRequest, QString> parseListArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lista los documentos del diario, el más nuevo primero: número, hora, clase, mesa y pedido, "
                       "impresora, estado y por qué está retenido, fallido o vencido."));
    const QCommandLineOption help = helpOption();
    const QCommandLineOption folder = folderOption();
    const QCommandLineOption pending(QStringLiteral("pendientes"),
                                     QStringLiteral("Solo los documentos aún sin imprimir, sin los descartados."));
    const QCommandLineOption days(QStringLiteral("dias"),
                                  QStringLiteral("Cuántos días atrás (por omisión: %1).").arg(kDefaultDays),
                                  QStringLiteral("N"));
    parser.addOptions({help, folder, pending, days});
    if (!parser.parse(arguments)) return spanishError(parser);
    if (parser.isSet(help)) return HelpRequest{spanishHelp(parser, QStringLiteral("kelmora trabajos"))};
    if (!parser.positionalArguments().isEmpty()) {
        return QStringLiteral("argumento desconocido: ") + parser.positionalArguments().first();
    }
    ListOptions o;
    o.folder = parser.value(folder);
    o.pendingOnly = parser.isSet(pending);
    if (parser.isSet(days)) {
        bool isNumber = false;
        o.days = parser.value(days).toInt(&isNumber);
        if (!isNumber || o.days < 1) return QStringLiteral("--dias necesita un número entero de días, 1 o más");
    }
    return o;
}

struct ActionOptions {
    QString folder;
    qint64 id = 0;
};

std::variant<ActionOptions, HelpRequest, QString> parseActionArguments(const QStringList& arguments,
                                                                       const QString& command,
                                                                       const QString& description) {
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    const QCommandLineOption help = helpOption();
    const QCommandLineOption folder = folderOption();
    parser.addOptions({help, folder});
    parser.addPositionalArgument(QStringLiteral("ID"),
                                 QStringLiteral("El número del documento, como lo lista kelmora trabajos."));
    if (!parser.parse(arguments)) return spanishError(parser);
    if (parser.isSet(help)) return HelpRequest{spanishHelp(parser, QStringLiteral("kelmora ") + command)};
    if (parser.positionalArguments().size() != 1) return QStringLiteral("hace falta un número de documento");
    ActionOptions o;
    o.folder = parser.value(folder);
    bool isNumber = false;
    o.id = parser.positionalArguments().first().toLongLong(&isNumber);
    if (!isNumber || o.id < 1) return QStringLiteral("no es un número de documento: ") + parser.positionalArguments().first();
    return o;
}

struct PrinterListOptions {
    QString folder;
};

std::variant<PrinterListOptions, HelpRequest, QString> parsePrinterArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lista las impresoras que usaría el servicio (colas de CUPS e impresoras de tickets "
                       "directas): cómo se llega a cada una, qué recibe, su estado ahora y cuántos documentos "
                       "esperan en ella."));
    const QCommandLineOption help = helpOption();
    const QCommandLineOption folder = folderOption();
    parser.addOptions({help, folder});
    if (!parser.parse(arguments)) return spanishError(parser);
    if (parser.isSet(help)) return HelpRequest{spanishHelp(parser, QStringLiteral("kelmora impresoras"))};
    if (!parser.positionalArguments().isEmpty()) {
        return QStringLiteral("argumento desconocido: ") + parser.positionalArguments().first();
    }
    return PrinterListOptions{parser.value(folder)};
}

// The printers as the service sees them: CUPS's queues, with the receipt printers the settings
// file reaches directly ahead of them. What is wrong with the file's printers is added to `problems`.
platform::DirectPrinterSystem servicePrinters(const platform::SettingsFile& file, QStringList& problems) {
    auto cups = std::make_unique<platform::CupsPrinterSystem>(
        paper::PdfPainter::kDefaultPaperWidthMm, [file](const QStringList& names) { return file.printer(names); });
    return platform::DirectPrinterSystem(platform::DirectPrinterSystem::fromSettings(file, problems), std::move(cups),
                                         file.service().defaultPrinter);
}

using Action = std::function<std::optional<QString>(platform::Journal&, qint64, const QDateTime&)>;

// reimprimir and descartar: the action on the document, and what came of it.
int runAction(int argc, char** argv, const QString& command, const QString& description, const Action& action,
              const QString& done) {
    std::unique_ptr<QCoreApplication> application;
    const auto parsed = parseActionArguments(startApplication(application, argc, argv), command, description);
    if (const std::optional<int> status = helpOrFault(parsed, command)) return *status;
    const ActionOptions& o = std::get<ActionOptions>(parsed);

    const std::unique_ptr<platform::SqliteJournal> journal = openJournal(o.folder);
    if (!journal) return kExitFailed;
    if (const std::optional<QString> reason = action(*journal, o.id, QDateTime::currentDateTime())) {
        printError(*reason);
        return kExitFailed;
    }
    printOut(done.arg(o.id));
    return kExitOk;
}

}  // namespace

int runJobList(int argc, char** argv) {
    std::unique_ptr<QCoreApplication> application;
    const auto parsed = parseListArguments(startApplication(application, argc, argv));
    if (const std::optional<int> status = helpOrFault(parsed, QStringLiteral("trabajos"))) return *status;
    const ListOptions& o = std::get<ListOptions>(parsed);

    const std::unique_ptr<platform::SqliteJournal> journal = openJournal(o.folder);
    if (!journal) return kExitFailed;
    const QList<paper::JournalDocument> documents =
        journal->recentDocuments(QDateTime::currentDateTime().addDays(-o.days), o.pendingOnly);
    if (documents.isEmpty()) {
        const QString period = o.days == 1 ? QStringLiteral("del último día")
                                           : QStringLiteral("de los últimos %1 días").arg(o.days);
        printOut(o.pendingOnly ? QStringLiteral("No hay documentos sin imprimir %1.").arg(period)
                               : QStringLiteral("No hay documentos %1.").arg(period));
        return kExitOk;
    }
    printOut(shell::cabeceraTrabajos());
    for (const paper::JournalDocument& document : documents) printOut(shell::lineaTrabajo(document));
    return kExitOk;
}

int runReprint(int argc, char** argv) {
    return runAction(argc, argv, QStringLiteral("reimprimir"),
                     QStringLiteral("Imprime de nuevo un documento del diario, con una línea REIMPRESIÓN: el "
                                    "servicio lo imprime en cuanto una impresora pueda tomarlo."),
                     [](platform::Journal& journal, qint64 id, const QDateTime& now) -> std::optional<QString> {
                         // A job that could still come out is canceled first, as the window does.
                         platform::CupsPrinterSystem printers;
                         if (auto reason = shell::cancelarAntesDeReimprimir(printers, journal, id, now)) return reason;
                         return shell::marcarReimpresion(journal, id, now);
                     },
                     QStringLiteral("El documento %1 se imprimirá de nuevo en cuanto una impresora pueda tomarlo."));
}

int runPrinterList(int argc, char** argv) {
    std::unique_ptr<QCoreApplication> application;
    const auto parsed = parsePrinterArguments(startApplication(application, argc, argv));
    if (const std::optional<int> status = helpOrFault(parsed, QStringLiteral("impresoras"))) return *status;
    const QString chosen = std::get<PrinterListOptions>(parsed).folder;
    const QString folder = chosen.isEmpty() ? defaultFolder() : chosen;

    const platform::SettingsFile file = platform::SettingsFile::read(QDir(folder).filePath(platform::kSettingsFileName));
    QStringList problems = file.problems();
    platform::DirectPrinterSystem printers = servicePrinters(file, problems);
    for (const QString& problem : std::as_const(problems)) printError(problem);

    const QList<platform::PrinterSystem::PrinterState> states = shell::estadosImpresoras(printers);
    // A folder without a journal has nothing waiting.
    QList<int> waiting(states.size(), 0);
    QString ignored;
    if (const auto journal = platform::SqliteJournal::openExisting(
            QDir(folder).filePath(platform::SqliteJournal::kFileName), &ignored)) {
        waiting = shell::documentosEnEspera(*journal, states);
    }
    if (states.isEmpty()) {
        printOut(printers.reachable() ? QStringLiteral("No hay ninguna impresora.")
                                      : QStringLiteral("No hay ninguna impresora: no se puede contactar con CUPS."));
        return kExitOk;
    }
    printOut(QStringLiteral("%1  %2  %3  %4  %5")
                 .arg(QStringLiteral("Impresora"), -16)
                 .arg(QStringLiteral("Conexión"), -28)
                 .arg(QStringLiteral("Recibe"), -7)
                 .arg(QStringLiteral("En espera"), -9)
                 .arg(QStringLiteral("Estado")));
    for (qsizetype i = 0; i < states.size(); ++i) {
        const platform::PrinterSystem::PrinterState& state = states.at(i);
        printOut(QStringLiteral("%1  %2  %3  %4  %5")
                     .arg(state.name + (state.isDefault ? QStringLiteral(" *") : QString()), -16)
                     .arg(state.reachedBy, -28)
                     .arg(state.output, -7)
                     .arg(waiting.at(i), -9)
                     .arg(state.state));
    }
    printOut(QStringLiteral("* la impresora predeterminada (facturas, y la que toma lo que otra no puede)"));
    return kExitOk;
}

struct CheckOptions {
    QString folder;
    QString server;  // empty: the settings file's, else the built-in one
};

std::variant<CheckOptions, HelpRequest, QString> parseCheckArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Revisa la instalación antes de iniciar el servicio: el código de sucursal de Acceso, "
                       "kelmora.ini, los archivos de la carpeta del programa, las impresoras de las áreas de los "
                       "últimos %1 días y la predeterminada, y si el servidor central responde. Sale con 0 solo si "
                       "todo está bien.")
            .arg(kDefaultDays));
    const QCommandLineOption help = helpOption();
    const QCommandLineOption folder = folderOption();
    const QCommandLineOption server(QStringLiteral("server"),
                                    QStringLiteral("El servidor central (por omisión: el de kelmora.ini, si no %1).")
                                        .arg(QStringLiteral(KELMORA_SERVER_URL)),
                                    QStringLiteral("URL"));
    parser.addOptions({help, folder, server});
    if (!parser.parse(arguments)) return spanishError(parser);
    if (parser.isSet(help)) return HelpRequest{spanishHelp(parser, QStringLiteral("kelmora comprobar"))};
    if (!parser.positionalArguments().isEmpty()) {
        return QStringLiteral("argumento desconocido: ") + parser.positionalArguments().first();
    }
    return CheckOptions{parser.value(folder), parser.value(server)};
}

// One request to the server's address, not the poll (which would hand out the branch's jobs):
// nothing when it answers at all, else why not.
std::optional<QString> serverSilence(const QString& server) {
    platform::NetworkPageLoader loader;
    QEventLoop loop;
    std::optional<QString> silence = QStringLiteral("no respondió en 10 segundos");
    loader.setEvents({{},
                      [&](const QString&) {
                          silence.reset();
                          loop.quit();
                      },
                      [&](platform::PageLoader::Failure failure, const QString& why) {
                          // A redirect or a large page is an answer too.
                          if (failure == platform::PageLoader::Failure::Transport) {
                              silence = why;
                          } else {
                              silence.reset();
                          }
                          loop.quit();
                      }});
    QTimer::singleShot(10000, &loop, [&] {
        loader.abort();
        loop.quit();
    });
    loader.start(QUrl(server + u'/'), 1 << 20);
    loop.exec();
    return silence;
}

int runCheck(int argc, char** argv) {
    std::unique_ptr<QCoreApplication> application;
    const auto parsed = parseCheckArguments(startApplication(application, argc, argv));
    if (const std::optional<int> status = helpOrFault(parsed, QStringLiteral("comprobar"))) return *status;
    const CheckOptions o = std::get<CheckOptions>(parsed);
    const QString folder = o.folder.isEmpty() ? defaultFolder() : o.folder;
    int faults = 0;
    const auto fault = [&faults](const QString& text) {
        ++faults;
        printOut(QStringLiteral("MAL   ") + text);
    };
    const auto fine = [](const QString& text) { printOut(QStringLiteral("bien  ") + text); };
    printOut(QStringLiteral("Carpeta del programa: ") + QDir::toNativeSeparators(folder));

    const QString access = shell::rutaAcceso(folder);
    if (!QFileInfo::exists(access)) {
        fault(QStringLiteral("Acceso: no existe; escriba en él el código de la sucursal"));
    } else if (const QString problem = platform::accessProblem(access, false); !problem.isEmpty()) {
        fault(QStringLiteral("Acceso: no se puede leer: ") + problem);
    } else if (const QString rule = shell::motivoCodigo(shell::codigoGuardado(folder)); !rule.isEmpty()) {
        fault(QStringLiteral("Acceso: el código ") + rule + QStringLiteral(" (") + shell::textos::reglaCodigo + u')');
    } else {
        fine(QStringLiteral("Acceso: código de sucursal válido"));
    }
    for (const QString& name : {platform::SqliteJournal::kFileName, platform::kLogFileName, QStringLiteral("logo.bmp")}) {
        const QString path = QDir(folder).filePath(name);
        if (const QString problem = platform::accessProblem(path, name != u"logo.bmp"); !problem.isEmpty()) {
            fault(name + QStringLiteral(": ") + problem);
        }
    }

    const platform::SettingsFile file = platform::SettingsFile::read(QDir(folder).filePath(platform::kSettingsFileName));
    QStringList problems = file.problems();
    platform::DirectPrinterSystem printers = servicePrinters(file, problems);
    for (const QString& problem : std::as_const(problems)) fault(problem);
    if (problems.isEmpty()) fine(platform::kSettingsFileName + QStringLiteral(": sin problemas"));

    // The areas the server printed to lately, and the default printer.
    const QString defaultName = printers.defaultPrinterName();
    QStringList wanted;
    QString ignored;
    if (const auto journal = platform::SqliteJournal::openExisting(
            QDir(folder).filePath(platform::SqliteJournal::kFileName), &ignored)) {
        const QList<paper::JournalDocument> recent =
            journal->recentDocuments(QDateTime::currentDateTime().addDays(-kDefaultDays), false);
        // Oldest first, as the areas came.
        for (auto d = recent.crbegin(); d != recent.crend(); ++d) {
            const QString area = recortarBlancos(d->requestedPrinter);
            if (area.isEmpty() || mayusculas(area) == u"NN") continue;
            if (!wanted.contains(area, Qt::CaseInsensitive)) wanted.append(area);
        }
    }
    if (!printers.reachable()) {
        fault(QStringLiteral("Impresoras: no se puede contactar con CUPS"));
    } else if (defaultName.isEmpty()) {
        fault(QStringLiteral("Impresoras: no hay impresora predeterminada (facturas, y la que toma lo que otra no "
                             "puede): lpadmin -d NOMBRE, o predeterminada= en [General]"));
    } else if (!wanted.contains(defaultName, Qt::CaseInsensitive)) {
        wanted.prepend(defaultName);
    }
    const QList<platform::PrinterSystem::PrinterState> states = shell::estadosImpresoras(printers);
    for (const QString& name : std::as_const(wanted)) {
        const qsizetype index = impresoraLlamada(states, name);
        if (index < 0) {
            fault(name + QStringLiteral(": no hay ninguna impresora con ese nombre; sus tickets irían a ") +
                  (defaultName.isEmpty() ? QStringLiteral("ninguna") : defaultName));
        } else if (const auto& found = states.at(index); found.state != u"lista") {
            fault(QStringLiteral("%1 (%2, %3): %4").arg(name, found.reachedBy, found.output, found.state));
        } else {
            fine(QStringLiteral("%1 (%2, %3): lista").arg(name, found.reachedBy, found.output));
        }
    }

    QString server = o.server.isEmpty() ? file.service().server.value_or(QStringLiteral(KELMORA_SERVER_URL)) : o.server;
    while (server.endsWith(u'/')) server.chop(1);
    if (!platform::isServerAddress(server)) {
        fault(QStringLiteral("Servidor: ") + server + QStringLiteral(" no es una dirección http o https"));
    } else if (const std::optional<QString> silence = serverSilence(server)) {
        fault(QStringLiteral("Servidor ") + server + QStringLiteral(": ") + *silence);
    } else {
        fine(QStringLiteral("Servidor ") + server + QStringLiteral(": responde"));
    }

    printOut(faults == 0   ? QStringLiteral("Todo en orden.")
             : faults == 1 ? QStringLiteral("1 problema.")
                           : QStringLiteral("%1 problemas.").arg(faults));
    return faults == 0 ? kExitOk : kExitFailed;
}

int runDiscard(int argc, char** argv) {
    return runAction(argc, argv, QStringLiteral("descartar"),
                     QStringLiteral("Saca un documento del diario de lo que falta imprimir: el servicio ya no lo "
                                    "imprime por sí solo."),
                     shell::descartarDocumento, QStringLiteral("El documento %1 se descartó: ya no se imprimirá."));
}

}  // namespace kelmora::app
