#include "service.h"
#include "program_folder.h"

#include "json/runtime_error.h"
#include "platform/clock.h"
#include "platform/cups/cups_printer_system.h"
#include "platform/direct/direct_printer_system.h"
#include "platform/drawer_printer.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/folder_lock.h"
#include "platform/net/network_page_loader.h"
#include "platform/qt/pdf_printer_system.h"
#include "platform/qt/qt_picture_loader.h"
#include "platform/rotating_log.h"
#include "platform/settings_file.h"
#include "platform/systemd/systemd_manager.h"
#include "platform/sqlite/sqlite_journal.h"
#include "platform/stop_signals.h"
#include "platform/timer.h"
#include "platform/widgets/widget_dialogs.h"
#include "printing/contexto_ticket.h"
#include "shell/arranque.h"
#include "shell/ciclo_consulta.h"
#include "shell/codigo_sucursal.h"
#include "shell/cola_impresion.h"
#include "shell/diario_resguardado.h"
#include "shell/despachador.h"
#include "shell/hilo_impresion.h"
#include "shell/bitacora.h"
#include "shell/salida_estandar.h"
#include "shell/trabajos.h"
#include "tickets/pagina_prueba.h"
#include "windows/frm_main.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTranslator>

#include <cstdio>

namespace kelmora::app {

namespace {

const QString kAlreadyRunning = QStringLiteral("La Aplicación ya esta en ejecución");

// The start-up lets the window's pending events run once, before the tray icon appears.
class QtEventPump final : public platform::EventPump {
public:
    void processPendingEvents() override { QCoreApplication::processEvents(); }
};

QStringList splitList(const QString& value) { return value.split(u',', Qt::SkipEmptyParts); }

// The log of a desktop session: its rotated file.
class FileLog final : public shell::Bitacora {
public:
    FileLog(QString path, const platform::Clock& clock, std::function<void(const QString&)> onProblem)
        : file_(std::move(path), clock, std::move(onProblem)) {}
    void anotar(const QString& line, shell::Gravedad) override { file_.append(line); }

private:
    platform::RotatingLogFile file_;
};

}  // namespace

bool systemServiceEnabled() {
    return QFileInfo::exists(QStringLiteral("/etc/systemd/system/multi-user.target.wants/kelmora.service"));
}

std::variant<ServiceOptions, HelpRequest, QString> parseServiceArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Kelmora %1: el servicio de impresión de la sucursal.\n"
        "\n"
        "Órdenes:\n"
        "  kelmora [opciones]                                   el servicio (estas opciones)\n"
        "  kelmora render [opciones] ARCHIVO_RESPUESTA CARPETA  imprime una respuesta en impresoras virtuales\n"
        "  kelmora demo [opciones]                              el servicio ante un servidor de demostración\n"
        "  kelmora trabajos [opciones]                          los documentos de los últimos días\n"
        "  kelmora reimprimir [opciones] ID                     imprime un documento de nuevo\n"
        "  kelmora descartar [opciones] ID                      saca un documento de lo que falta imprimir\n"
        "  kelmora impresoras [opciones]                        las impresoras que usaría el servicio\n"
        "  kelmora comprobar [opciones]                         revisa la instalación antes de iniciar\n"
        "Cada orden da sus opciones con --help.").arg(QStringLiteral(KELMORA_VERSION)));
    const QCommandLineOption help = helpOption();
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Muestra la versión."));
    const QCommandLineOption server(QStringLiteral("server"),
                                    QStringLiteral("El servidor central: esquema, máquina y puerto (por omisión: %1).")
                                        .arg(QStringLiteral(KELMORA_SERVER_URL)),
                                    QStringLiteral("URL"), QStringLiteral(KELMORA_SERVER_URL));
    const QCommandLineOption folder(
        QStringLiteral("dir"),
        QStringLiteral("La carpeta del programa, con Acceso, logo.bmp y kelmora.ini (por omisión: la del ejecutable "
                       "si es del usuario y no está bajo /usr; si no, la carpeta de datos del usuario)."),
        QStringLiteral("CARPETA"));
    const QCommandLineOption code(QStringLiteral("codigo"),
                                  QStringLiteral("Guarda este código de sucursal antes de empezar; debe cumplir la "
                                                 "regla (de 15 a 256 caracteres, dígitos desde el segundo)."),
                                  QStringLiteral("CÓDIGO"));
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Sin ventanas ni ícono en la bandeja: el registro sale por la "
                                                     "salida de errores (también cuando no se puede abrir pantalla)."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Sin ventanas, además cada consulta, cambio de ícono y globo por "
                                                    "la salida estándar: las respuestas del servidor, con nombres, "
                                                    "teléfonos y direcciones de los clientes."));
    const QCommandLineOption printTo(QStringLiteral("print-to"),
                                     QStringLiteral("Impresoras PDF virtuales que escriben NNN-IMPRESORA.pdf en "
                                                    "CARPETA en lugar de las impresoras de la máquina."),
                                     QStringLiteral("CARPETA"));
    const QCommandLineOption printers(QStringLiteral("printers"),
                                      QStringLiteral("Las impresoras virtuales, en orden (por omisión: %1).")
                                          .arg(platform::kDrawerPrinter),
                                      QStringLiteral("A,B,C"));
    const QCommandLineOption defaultPrinter(
        QStringLiteral("default-printer"),
        QStringLiteral("La predeterminada de las impresoras virtuales (por omisión: %1 si está, si no la primera).")
            .arg(platform::kDrawerPrinter),
        QStringLiteral("NOMBRE"));
    const QCommandLineOption autostart(QStringLiteral("autostart"),
                                       QStringLiteral("Inicio con la sesión de escritorio: termina enseguida, sin "
                                                      "decir nada, si el servicio del sistema está habilitado."));
    // For soak, latency and fault runs only, so they are left out of the help text.
    QCommandLineOption pollInterval(QStringLiteral("poll-interval-ms"), QString(), QStringLiteral("MS"));
    pollInterval.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption fetchTimeout(QStringLiteral("fetch-timeout-ms"), QString(), QStringLiteral("MS"));
    fetchTimeout.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({help, version, server, folder, code, headless, verbose, printTo, printers, defaultPrinter,
                       autostart, pollInterval, fetchTimeout});

    QStringList withProgram = arguments;
    withProgram.prepend(QStringLiteral("kelmora"));
    if (!parser.parse(withProgram)) return spanishError(parser);
    if (parser.isSet(help)) return HelpRequest{spanishHelp(parser, QStringLiteral("kelmora"))};
    if (parser.isSet(version)) return HelpRequest{QStringLiteral("kelmora %1\n").arg(QStringLiteral(KELMORA_VERSION))};
    if (!parser.positionalArguments().isEmpty()) {
        return QStringLiteral("argumento desconocido: ") + parser.positionalArguments().first();
    }

    ServiceOptions o;
    o.autostart = parser.isSet(autostart);
    o.server = parser.value(server);
    o.serverGiven = parser.isSet(server);
    if (!platform::isServerAddress(o.server)) {
        return QStringLiteral("--server necesita http:// o https://, una máquina y, si se quiere, un puerto: ") + o.server;
    }
    o.folder = parser.value(folder);
    if (parser.isSet(code)) o.branchCode = parser.value(code);
    o.headless = parser.isSet(headless);
    o.verbose = parser.isSet(verbose);
    o.printTo = parser.value(printTo);
    if (o.printTo.isEmpty() && (parser.isSet(printers) || parser.isSet(defaultPrinter))) {
        return QStringLiteral("--printers y --default-printer nombran las impresoras virtuales de --print-to");
    }
    o.printers = parser.isSet(printers) ? splitList(parser.value(printers)) : QStringList{platform::kDrawerPrinter};
    if (o.printers.isEmpty()) return QStringLiteral("--printers no nombra ninguna impresora");
    o.defaultPrinter = parser.value(defaultPrinter);
    if (!o.defaultPrinter.isEmpty() && !o.printers.contains(o.defaultPrinter)) {
        return QStringLiteral("--default-printer no está entre las de --printers: ") + o.defaultPrinter;
    }
    if (o.defaultPrinter.isEmpty() && o.printers.contains(platform::kDrawerPrinter)) {
        o.defaultPrinter = platform::kDrawerPrinter;
    }
    for (auto [option, target] : {std::pair{&pollInterval, &o.pollIntervalMs},
                                   std::pair{&fetchTimeout, &o.fetchTimeoutMs}}) {
        if (!parser.isSet(*option)) continue;
        bool isNumber = false;
        *target = parser.value(*option).toInt(&isNumber);
        if (!isNumber || *target < 1) {
            return QStringLiteral("--") + option->names().first() +
                   QStringLiteral(" necesita un número entero de milisegundos, 1 o más");
        }
    }
    return o;
}

Application createApplication(int& argc, char** argv, bool headless) {
    if (headless) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        // The desktop when one answers, else off screen: Qt tries each in turn.
        if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            qputenv("QT_QPA_PLATFORM", "wayland;xcb;offscreen");
        } else if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
            qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
        } else {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
    }
    Application a;
    a.qt = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelmora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELMORA_VERSION));
    // Qt's own buttons and dialogs ("Aceptar", "Cancelar") in the language of every other text.
    auto* spanish = new QTranslator(a.qt.get());
    if (spanish->load(QLocale(QLocale::Spanish), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(spanish);
    }
    // The main window is hidden and the settings window comes and goes: only the service ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    const QString platform_ = QGuiApplication::platformName();
    a.headless = headless || platform_ == u"offscreen" || platform_ == u"minimal";
    return a;
}

namespace {

// The branch code: stored from the command line, read from Acceso, or asked for on a desktop.
// Nullopt when there is none that passes the rule; the user has been told why.
std::optional<QString> acquireBranchCode(const ServiceOptions& o, bool headless, platform::Dialogs& dialogs) {
    if (o.branchCode) {
        const QString given = o.branchCode->trimmed();
        if (const QString why = shell::motivoCodigo(given); !why.isEmpty()) {
            dialogs.showMessage(QStringLiteral("El codigo de sucursal \"") + given + QStringLiteral("\" no es valido: ") +
                                    why + QStringLiteral(" (") + shell::textos::reglaCodigo + QStringLiteral(")."),
                                platform::MessageIcon::Error, QString());
            return std::nullopt;
        }
        shell::escribirCodigo(shell::rutaAcceso(o.folder), given, dialogs);
        return given;
    }
    if (headless) {
        const QString path = shell::rutaAcceso(o.folder);
        const QString code = shell::codigoGuardado(o.folder);
        QString why;
        if (!platform::fileExists(path)) {
            why = QStringLiteral("no existe");
        } else if (const QString access = platform::accessProblem(path, false); !access.isEmpty()) {
            why = QStringLiteral("no se puede leer: ") + access;
        } else if (const QString rule = shell::motivoCodigo(code); !rule.isEmpty()) {
            why = QStringLiteral("su código ") + rule + QStringLiteral(" (") + shell::textos::reglaCodigo + u')';
        }
        if (!why.isEmpty()) {
            dialogs.showMessage(QStringLiteral("Falta el codigo de sucursal: ") + QDir::toNativeSeparators(path) + u' ' +
                                    why + QStringLiteral(", y sin ventanas no se puede preguntar. Inicie con --codigo CODIGO."),
                                platform::MessageIcon::Error, QString());
            return std::nullopt;
        }
        return code;
    }
    std::optional<QString> asked = shell::leerCodigoSucursal(o.folder, dialogs);
    if (!asked) dialogs.showMessage(shell::textos::sinCodigo, platform::MessageIcon::Error, QString());
    return asked;
}

// Where the machine-wide locks live: one poller per branch, whoever starts it and wherever.
QString machineLockFolder() {
    const QString asked = qEnvironmentVariable("KELMORA_LOCK_DIR");
    return asked.isEmpty() ? QStringLiteral("/run/lock") : asked;
}

// The branch held for this process on the machine: a second poller of the same branch (another
// user, another folder) would split or double its tickets. False, once told who polls it, when
// another process does; a lock folder out of reach is only noted.
bool claimBranch(const QString& code, const QString& folder, platform::Dialogs& dialogs,
                 std::optional<platform::FolderLock>& lock, QStringList& problems) {
    lock.emplace(platform::FolderLock::Branch{machineLockFolder(), code, folder});
    if (lock->tryLock()) return true;
    if (!lock->heldByAnother()) {
        problems.append(QStringLiteral("No se pudo comprobar que otra copia no consulte esta sucursal (%1 no se puede "
                                       "escribir)")
                            .arg(machineLockFolder()));
        return true;
    }
    const QString holder = lock->holder();
    dialogs.showMessage(QStringLiteral("Esta sucursal ya se consulta en esta máquina") +
                            (holder.isEmpty() ? QString() : QStringLiteral(" (") + holder + u')') +
                            QStringLiteral(": una segunda copia imprimiría sus trabajos dos veces."),
                        platform::MessageIcon::Warning, QString());
    return false;
}

// The settings of this start, from the command line and the program folder's settings file.
struct ResolvedSettings {
    platform::SettingsFile file;  // also the printers' settings
    QString server;
    shell::AjustesCola queue;
    QStringList problems;  // what is wrong with the settings file
};

ResolvedSettings resolveSettings(const ServiceOptions& o) {
    // The server: the command line's, else the settings file's, else the one built in.
    ResolvedSettings settings{
        platform::SettingsFile::read(QDir(o.folder).filePath(platform::kSettingsFileName),
                                     o.serverGiven ? std::nullopt : std::optional<QString>(o.server)),
        o.server, {}, {}};
    const platform::ServiceSettings& service = settings.file.service();
    if (!o.serverGiven && service.server) settings.server = *service.server;
    settings.queue.diasDiario = service.journalDays;
    settings.queue.limitePapel = service.paperWait;
    settings.queue.vencimientoComanda = service.orderExpiry;
    settings.problems = settings.file.problems();
    return settings;
}

}  // namespace

namespace {

// The program folder made, and held for this service alone: a second service on the same folder
// would print every job twice. False, once told why, when it cannot be.
bool claimFolder(ServiceOptions& o, platform::Dialogs& dialogs, std::optional<platform::FolderLock>& lock) {
    if (o.folder.isEmpty()) o.folder = defaultFolder();
    if (!QDir().mkpath(o.folder)) {
        dialogs.showMessage(QStringLiteral("No se pudo crear la carpeta del programa ") +
                                QDir::toNativeSeparators(o.folder),
                            platform::MessageIcon::Error, QString());
        return false;
    }
    o.folder = QFileInfo(o.folder).canonicalFilePath();
    QString runtimeFolder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtimeFolder.isEmpty()) runtimeFolder = QDir::tempPath();
    lock.emplace(o.folder, runtimeFolder);
    if (lock->tryLock()) return true;
    const QString holder = lock->holder();
    dialogs.showMessage(holder.isEmpty() ? kAlreadyRunning : kAlreadyRunning + QStringLiteral(" (") + holder + u')',
                        platform::MessageIcon::Warning, QString());
    return false;
}

// The machine's printers, or the virtual PDF printers of --print-to writing into `pdfFolder`, with
// the receipt printers the settings file reaches directly ahead of them; null, once told why, when
// that folder cannot be used.
std::unique_ptr<platform::PrinterSystem> createPrinters(const ServiceOptions& o, const platform::SettingsFile& file,
                                                        platform::Dialogs& dialogs,
                                                        std::optional<platform::PdfFolder>& pdfFolder,
                                                        platform::DirectPrinterSystem::StateListener listener,
                                                        QStringList& problems) {
    std::unique_ptr<platform::PrinterSystem> system;
    if (o.printTo.isEmpty()) {
        system = std::make_unique<platform::CupsPrinterSystem>(
            paper::PdfPainter::kDefaultPaperWidthMm,
            [file](const QStringList& names) { return file.printer(names); });
    } else {
        try {
            pdfFolder.emplace(o.printTo);
        } catch (const RuntimeError& e) {
            dialogs.showMessage(e.description(), platform::MessageIcon::Error, QString());
            return nullptr;
        }
        platform::PdfPrinterSystem::Options virtualPrinters;
        virtualPrinters.printers = o.printers;
        virtualPrinters.defaultPrinter = o.defaultPrinter;
        system = std::make_unique<platform::PdfPrinterSystem>(virtualPrinters, pdfFolder->documentSink(),
                                                              pdfFolder->rawSink());
    }
    std::vector<platform::DirectPrinterSystem::Printer> direct =
        platform::DirectPrinterSystem::fromSettings(file, problems);
    const QString defaultPrinter = file.service().defaultPrinter;
    if (direct.empty() && defaultPrinter.isEmpty()) return system;
    return std::make_unique<platform::DirectPrinterSystem>(std::move(direct), std::move(system), defaultPrinter,
                                                           std::move(listener));
}

// What the direct printers say of themselves comes from the printing thread; it is told here, on
// the thread of the tray and the log, once per change.
class PrinterStateRelay {
public:
    using Change = platform::DirectPrinterSystem::StateChange;
    using Tell = std::function<void(const QString& printer, Change change, const QString& problem)>;

    void setTell(Tell tell) { tell_ = std::move(tell); }
    platform::DirectPrinterSystem::StateListener listener() {
        return [this](const QString& printer, Change change, const QString& problem) {
            // Dropped with the context if the service is ending.
            QMetaObject::invokeMethod(&context_, [this, printer, change, problem] {
                if (tell_) tell_(printer, change, problem);
            }, Qt::QueuedConnection);
        };
    }

private:
    QObject context_;
    Tell tell_;
};

void tellPrinterState(const QString& printer, PrinterStateRelay::Change change, const QString& problem,
                      shell::Bitacora& log, platform::Notifier& tray, shell::CicloConsulta& pollCycle) {
    using Change = PrinterStateRelay::Change;
    QString text;
    platform::BalloonIcon icon = platform::BalloonIcon::Warning;
    switch (change) {
    case Change::Trouble:
        text = printer + QStringLiteral(": ") + problem;
        break;
    case Change::Recovered:
        text = printer + QStringLiteral(": lista de nuevo");
        icon = platform::BalloonIcon::Information;
        break;
    case Change::PaperLow:
        text = printer + QStringLiteral(": queda poco papel");
        break;
    case Change::NoStatus:
        // Nothing staff can act on: the log says it once, for the technician.
        log.anotar(printer + QStringLiteral(": sin estado: se da por impreso lo enviado"));
        return;
    }
    log.anotar(text, change == Change::Recovered ? shell::Gravedad::Nota : shell::Gravedad::Advertencia);
    pollCycle.mostrarImpresora(printer, change == Change::Trouble ? problem : QString());
    tray.ShowBalloonTip(text, icon, QStringLiteral("Impresora"), platform::kBalloonMilliseconds);
}

}  // namespace

int runPrintService(ServiceOptions o, bool headless) {
    platform::SystemClock clock;
    // On a desktop standard output only backs the window up (settings problems, a missing tray),
    // as it always did; headless it shows the exchange only when asked to.
    // Under systemd standard error is the system journal's stream, which reads priorities.
    shell::SalidaEstandar standardOutput(clock, stdout, stderr, !headless || o.verbose,
                                         !qEnvironmentVariableIsEmpty("JOURNAL_STREAM"));
    std::unique_ptr<platform::Dialogs> widgetDialogs;
    if (!headless) widgetDialogs = std::make_unique<platform::WidgetDialogs>();
    platform::Dialogs& dialogs = widgetDialogs ? *widgetDialogs : static_cast<platform::Dialogs&>(standardOutput);

    std::optional<platform::FolderLock> lock;
    if (!claimFolder(o, dialogs, lock)) return kExitUsage;

    const std::optional<QString> branchCode = acquireBranchCode(o, headless, dialogs);
    if (!branchCode) return kExitNoBranchCode;
    const QString code = *branchCode;
    const bool supportMode = shell::esModoSoporte(shell::leerModoAcceso(o.folder));

    const ResolvedSettings settings = resolveSettings(o);
    o.server = settings.server;
    shell::AjustesCola queueSettings = settings.queue;
    QStringList settingsProblems = settings.problems;
    std::optional<platform::FolderLock> branchLock;
    if (!claimBranch(code, o.folder, dialogs, branchLock, settingsProblems)) return kExitUsage;

    // Every document the server hands out is in the journal before it is printed.
    platform::SqliteJournal::Opened journal =
        platform::SqliteJournal::open(QDir(o.folder).filePath(platform::SqliteJournal::kFileName));
    if (!journal.problem.isEmpty()) settingsProblems.append(journal.problem);
    // What the disk does not take meanwhile (full, failing) waits in memory, never printed twice.
    shell::DiarioResguardado guardedJournal(*journal.journal);
    std::optional<shell::ColaImpresion> queue;

    std::optional<platform::PdfFolder> pdfFolder;
    PrinterStateRelay printerStates;
    const std::unique_ptr<platform::PrinterSystem> printers =
        createPrinters(o, settings.file, dialogs, pdfFolder, printerStates.listener(), settingsProblems);
    if (!printers) return kExitUsage;

    // The printing thread: a printer or a printing system that hangs never holds the tray, the
    // windows or the polls. Before the window, which asks the printers their state through it.
    shell::HiloImpresion printingThread;
    std::unique_ptr<windows::frmMain> window;
    // The service's log, once it is chosen below; the window's menu writes to it.
    shell::Bitacora* serviceLog = nullptr;
    if (!headless) {
        windows::frmMain::Servicios parts{o.folder, dialogs, [] { QCoreApplication::exit(kExitNormal); },
                                       [&standardOutput](const QString& linea) { standardOutput.escribirConsola(linea); }};
        parts.trabajos.emplace(windows::frmMain::Trabajos{guardedJournal, clock,
                                                          [&queue](qint64 id, auto done) { queue->reimprimir(id, done); },
                                                          [&queue](qint64 id, auto done) { queue->descartar(id, done); },
                                                          // Both asked where the printers are touched.
                                                          [&printingThread, &printers](auto done) {
                                                              shell::enHiloYLuego(printingThread,
                                                                                  [&printers] { return shell::estadosImpresoras(*printers); },
                                                                                  done);
                                                          },
                                                          [&printingThread, &printers, &clock](const auto& printer, auto done) {
                                                              shell::enHiloYLuego(printingThread,
                                                                                  [printer, &printers, &clock] {
                                                                                      return imprimirPaginaPrueba(*printers, printer, clock.now());
                                                                                  },
                                                                                  done);
                                                          }});
        parts.anotar = [&serviceLog](const QString& line) {
            if (serviceLog) serviceLog->anotar(line);
        };
        window = std::make_unique<windows::frmMain>(std::move(parts));
    }
    shell::VistaServicio& view = window ? static_cast<shell::VistaServicio&>(*window) : standardOutput;
    platform::Notifier& SysTray = window ? static_cast<platform::Notifier&>(window->SysTray()) : standardOutput;
    std::optional<FileLog> fileLog;
    if (window) {
        fileLog.emplace(QDir(o.folder).filePath(platform::kLogFileName), clock, [&](const QString& problem) {
            view.escribirConsola(problem);
            standardOutput.showMessage(problem, platform::MessageIcon::Warning, QString());
        });
    }
    // The service's log, for the poll cycle and the print queue: standard error headless, else kelmora.log.
    shell::Bitacora& log = fileLog ? static_cast<shell::Bitacora&>(*fileLog) : standardOutput;
    serviceLog = &log;
    log.anotar(QStringLiteral("Kelmora %1 en marcha: servidor %2, carpeta %3")
                   .arg(QStringLiteral(KELMORA_VERSION), o.server, QDir::toNativeSeparators(o.folder)));
    // The window's console is emptied at every poll: what is wrong with the settings file stays on
    // standard output and in the log too.
    for (const QString& problem : std::as_const(settingsProblems)) {
        view.escribirConsola(problem);
        if (window) standardOutput.escribirConsola(problem);
        log.anotar(problem, shell::Gravedad::Advertencia);
    }

    // The printing side: the printers, the selection and the tickets, on the printing thread.
    platform::QtPictureLoader pictures;
    shell::AvisosDesdeOtroHilo printingBalloons(SysTray);
    SeleccionImpresora selection(*printers, printingBalloons);
    shell::LadoImpresion printingSide{selection, printingBalloons, clock, pictures, o.folder};

    platform::NetworkPageLoader pageLoader;
    platform::SystemTimer pollTimer;
    platform::SystemTimer fetchTimeout;
    ConfigImpresion config(QLocale::system());
    std::optional<shell::Despachador> dispatcher;
    shell::CicloConsulta pollCycle(
        shell::CicloConsulta::Servicios{view, pageLoader, pollTimer, fetchTimeout,
                                     [&dispatcher](const Value& payload, const QString& json) {
                                         dispatcher->setComunicacion(payload, json);
                                     }},
        shell::urlConsulta(o.server, code), o.pollIntervalMs, o.fetchTimeoutMs);
    if (window) {
        QObject::connect(window.get(), &windows::frmMain::relojPulsado, [&pollCycle] { pollCycle.pausarOReanudar(); });
        QObject::connect(window.get(), &windows::frmMain::descargada, [] { QCoreApplication::quit(); });
    }

    pollCycle.setBitacora(log);
    printerStates.setTell([&](const QString& printer, PrinterStateRelay::Change change, const QString& problem) {
        tellPrinterState(printer, change, problem, log, SysTray, pollCycle);
    });

    // A stop asked of the service (a shutdown, systemctl stop, Ctrl+C) lets the document being sent
    // finish; the rest stay pending in the journal for the next start.
    platform::StopSignals stopSignals([] { QCoreApplication::exit(kExitNormal); });
    platform::SystemTimer revisionTimer;
    guardedJournal.avisarCon(log, SysTray);
    queue.emplace(shell::ColaImpresion::Servicios{guardedJournal, printingThread, printingSide, SysTray, clock,
                                                  QLocale::system(), log, &revisionTimer,
                                                  [&stopSignals] { return stopSignals.requested(); },
                                                  [&pollCycle](int documents) { pollCycle.mostrarSinImprimir(documents); },
                                                  [&pollCycle](const QString& error) { pollCycle.fallarDespacho(error); },
                                                  [&](const QString& printer, const QString& problem) {
                                                      tellPrinterState(printer,
                                                                       problem.isEmpty()
                                                                           ? PrinterStateRelay::Change::Recovered
                                                                           : PrinterStateRelay::Change::Trouble,
                                                                       problem, log, SysTray, pollCycle);
                                                  }},
                  queueSettings);
    dispatcher.emplace(config, *queue);
    // Before the thread, the timer and the printers they use go, however this ends.
    struct QueueEnd {
        std::optional<shell::Despachador>& dispatcher;
        std::optional<shell::ColaImpresion>& queue;
        ~QueueEnd() {
            dispatcher.reset();
            queue.reset();
        }
    } queueEnd{dispatcher, queue};

    // systemd hears that the service is ready once the journal is open and the first poll is
    // scheduled, and then a sign of life at every tick of the poll cycle: a hung loop is restarted.
    platform::SystemdManager serviceManager;
    pollCycle.setLatido([&serviceManager] { serviceManager.alive(); });

    QtEventPump events;
    shell::iniciarServicio(view, SysTray, events, pollCycle, supportMode);
    queue->iniciar();
    serviceManager.ready();
    const int status = QCoreApplication::exec();
    if (stopSignals.requested()) log.anotar(QStringLiteral("Kelmora se detiene a pedido del sistema"));
    // The document being printed finishes and is recorded; then nothing more is started.
    queue->terminar();
    return status;
}

}  // namespace kelmora::app
