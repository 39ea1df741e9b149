#include "servicio.h"

#include "json/runtime_error.h"
#include "platform/clock.h"
#include "platform/cups/cups_printer_system.h"
#include "platform/events.h"
#include "platform/net/network_page_loader.h"
#include "platform/qt/pdf_printer_system.h"
#include "platform/qt/qt_picture_loader.h"
#include "platform/timer.h"
#include "platform/widgets/dialogos_widgets.h"
#include "printing/impresion.h"
#include "shell/arranque.h"
#include "shell/ciclo_consulta.h"
#include "shell/codigo_sucursal.h"
#include "shell/conexion.h"
#include "shell/salida_estandar.h"
#include "windows/frm_main.h"

#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QUrl>

#include <cstdio>

namespace kelmora::app {

namespace {

const QString kYaEnEjecucion = QStringLiteral("La Aplicación ya esta en ejecución");
const QString kImpresoraCajon = QStringLiteral("Facturas");

// The invoice printer lets the window's pending events run once per invoice.
class EventosQt final : public platform::EventPump {
public:
    void processPendingEvents() override { QCoreApplication::processEvents(); }
};

QStringList lista(const QString& valor) { return valor.split(u',', Qt::SkipEmptyParts); }

// The executable's folder when it can be written, else the user's application data folder.
QString carpetaPorDefecto() {
    const QString junto = QCoreApplication::applicationDirPath();
    if (QFileInfo(junto).isWritable()) return junto;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

// One lock per program folder, in the user's runtime folder: a second service on the same
// folder would print every job twice.
QString rutaCerrojo(const QString& carpeta) {
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty()) base = QDir::tempPath();
    const QByteArray clave =
        QCryptographicHash::hash(QFileInfo(carpeta).canonicalFilePath().toUtf8(), QCryptographicHash::Sha1).toHex();
    return QDir(base).filePath(QStringLiteral("kelmora-") + QString::fromLatin1(clave.left(16)) +
                               QStringLiteral(".lock"));
}

}  // namespace

std::variant<OpcionesServicio, PedidoAyuda, QString> leerOpciones(const QStringList& argumentos) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kelmora: the print service of the branch."));
    const QCommandLineOption ayuda(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                   QStringLiteral("Shows these options."));
    const QCommandLineOption servidor(QStringLiteral("server"),
                                      QStringLiteral("The central server: scheme, host and port (default: %1).")
                                          .arg(QStringLiteral(KELMORA_SERVER_URL)),
                                      QStringLiteral("URL"), QStringLiteral(KELMORA_SERVER_URL));
    const QCommandLineOption carpeta(
        QStringLiteral("dir"),
        QStringLiteral("The program folder, where Acceso and logo.bmp live (default: the executable's folder when "
                       "writable, else the user's application data folder)."),
        QStringLiteral("DIR"));
    const QCommandLineOption codigo(QStringLiteral("codigo"),
                                    QStringLiteral("Stores this branch code before starting; it must pass the rule "
                                                   "(15 characters or more, digits from the second on)."),
                                    QStringLiteral("CODE"));
    const QCommandLineOption sinVentanas(QStringLiteral("headless"),
                                         QStringLiteral("No windows and no tray icon: console lines and balloons go to "
                                                        "standard output (also when no display can be opened)."));
    const QCommandLineOption imprimirEn(QStringLiteral("print-to"),
                                        QStringLiteral("Virtual PDF printers writing NNN-PRINTER.pdf into DIR instead "
                                                       "of the machine's printers."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption impresoras(QStringLiteral("printers"),
                                        QStringLiteral("The virtual printers, in order (default: Facturas)."),
                                        QStringLiteral("A,B,C"));
    const QCommandLineOption predeterminada(
        QStringLiteral("default-printer"),
        QStringLiteral("The default one of the virtual printers (default: Facturas when listed, else the first)."),
        QStringLiteral("NAME"));
    // For soak, latency and fault runs only, so they are left out of the help text.
    QCommandLineOption intervalo(QStringLiteral("poll-interval-ms"), QString(), QStringLiteral("MS"));
    intervalo.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption limiteConsulta(QStringLiteral("fetch-timeout-ms"), QString(), QStringLiteral("MS"));
    limiteConsulta.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({ayuda, servidor, carpeta, codigo, sinVentanas, imprimirEn, impresoras, predeterminada, intervalo,
                       limiteConsulta});

    QStringList conPrograma = argumentos;
    conPrograma.prepend(QStringLiteral("kelmora"));
    if (!parser.parse(conPrograma)) return parser.errorText();
    if (parser.isSet(ayuda)) return PedidoAyuda{parser.helpText()};
    if (!parser.positionalArguments().isEmpty()) {
        return QStringLiteral("Unknown argument: ") + parser.positionalArguments().first();
    }

    OpcionesServicio o;
    o.servidor = parser.value(servidor);
    const QUrl url(o.servidor, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != u"http" && url.scheme() != u"https") || url.host().isEmpty() ||
        (!url.path().isEmpty() && url.path() != u"/") || url.hasQuery() || url.hasFragment()) {
        return QStringLiteral("--server needs http:// or https://, a host and optionally a port: ") + o.servidor;
    }
    o.carpeta = parser.value(carpeta);
    if (parser.isSet(codigo)) o.codigo = parser.value(codigo);
    o.sinVentanas = parser.isSet(sinVentanas);
    o.imprimirEn = parser.value(imprimirEn);
    if (o.imprimirEn.isEmpty() && (parser.isSet(impresoras) || parser.isSet(predeterminada))) {
        return QStringLiteral("--printers and --default-printer name the virtual printers of --print-to");
    }
    o.impresoras = parser.isSet(impresoras) ? lista(parser.value(impresoras)) : QStringList{kImpresoraCajon};
    if (o.impresoras.isEmpty()) return QStringLiteral("--printers names no printer");
    o.predeterminada = parser.value(predeterminada);
    if (!o.predeterminada.isEmpty() && !o.impresoras.contains(o.predeterminada)) {
        return QStringLiteral("--default-printer is not one of --printers: ") + o.predeterminada;
    }
    if (o.predeterminada.isEmpty() && o.impresoras.contains(kImpresoraCajon)) o.predeterminada = kImpresoraCajon;
    for (auto [opcion, destino] : {std::pair{&intervalo, &o.intervaloConsultaMs},
                                   std::pair{&limiteConsulta, &o.limiteConsultaMs}}) {
        if (!parser.isSet(*opcion)) continue;
        bool numero = false;
        *destino = parser.value(*opcion).toInt(&numero);
        if (!numero || *destino < 1) {
            return QStringLiteral("--") + opcion->names().first() +
                   QStringLiteral(" needs a whole number of milliseconds, 1 or more");
        }
    }
    return o;
}

Aplicacion crearAplicacion(int& argc, char** argv, bool sinVentanas) {
    if (sinVentanas) {
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
    Aplicacion a;
    a.qt = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelmora"));
    // The main window is hidden and the settings window comes and goes: only the service ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    const QString plataforma = QGuiApplication::platformName();
    a.sinVentanas = sinVentanas || plataforma == u"offscreen" || plataforma == u"minimal";
    return a;
}

int ejecutarServicio(OpcionesServicio o, bool sinVentanas) {
    platform::SystemClock reloj;
    shell::SalidaEstandar salida(reloj, stdout, stderr);
    std::unique_ptr<platform::Dialogs> cajas;
    if (!sinVentanas) cajas = std::make_unique<platform::DialogosWidgets>();
    platform::Dialogs& dialogos = cajas ? *cajas : static_cast<platform::Dialogs&>(salida);

    if (o.carpeta.isEmpty()) o.carpeta = carpetaPorDefecto();
    if (!QDir().mkpath(o.carpeta)) {
        dialogos.showMessage(QStringLiteral("No se pudo crear la carpeta del programa ") +
                                 QDir::toNativeSeparators(o.carpeta),
                             platform::MessageIcon::Error, QString());
        return kSalidaUso;
    }
    o.carpeta = QFileInfo(o.carpeta).canonicalFilePath();

    QLockFile cerrojo(rutaCerrojo(o.carpeta));
    if (!cerrojo.tryLock(0)) {
        dialogos.showMessage(kYaEnEjecucion, platform::MessageIcon::Warning, QString());
        return kSalidaUso;
    }

    // The branch code: stored from the command line, read from Acceso, or asked for on a desktop.
    QString codigo;
    if (o.codigo) {
        if (!shell::codigoAceptable(*o.codigo)) {
            dialogos.showMessage(QStringLiteral("El codigo de sucursal \"") + *o.codigo +
                                     QStringLiteral("\" no es valido: necesita ") + shell::textos::reglaCodigo + u'.',
                                 platform::MessageIcon::Error, QString());
            return kSalidaCodigo;
        }
        codigo = *o.codigo;
        shell::escribirCodigo(shell::rutaAcceso(o.carpeta), codigo, dialogos);
    } else if (sinVentanas) {
        codigo = shell::codigoGuardado(o.carpeta);
        if (!shell::codigoAceptable(codigo)) {
            dialogos.showMessage(QStringLiteral("Falta el codigo de sucursal: ") +
                                     QDir::toNativeSeparators(shell::rutaAcceso(o.carpeta)) +
                                     QStringLiteral(" no tiene uno valido (") + shell::textos::reglaCodigo +
                                     QStringLiteral(") y sin ventanas no se puede preguntar. Inicie con --codigo CODIGO."),
                                 platform::MessageIcon::Error, QString());
            return kSalidaCodigo;
        }
    } else {
        codigo = shell::leerCodigoSucursal(o.carpeta, dialogos);
    }
    const bool soporte = shell::esModoSoporte(shell::leerModoAcceso(o.carpeta));

    std::optional<platform::PdfFolder> carpetaPdf;
    std::unique_ptr<platform::PrinterSystem> impresoras;
    if (o.imprimirEn.isEmpty()) {
        impresoras = std::make_unique<platform::CupsPrinterSystem>();
    } else {
        try {
            carpetaPdf.emplace(o.imprimirEn);
        } catch (const RuntimeError& e) {
            dialogos.showMessage(e.description(), platform::MessageIcon::Error, QString());
            return kSalidaUso;
        }
        platform::PdfPrinterSystem::Options virtuales;
        virtuales.printers = o.impresoras;
        virtuales.defaultPrinter = o.predeterminada;
        impresoras = std::make_unique<platform::PdfPrinterSystem>(virtuales, carpetaPdf->documentSink(),
                                                                  carpetaPdf->rawSink());
    }

    std::unique_ptr<windows::frmMain> ventana;
    if (!sinVentanas) {
        ventana = std::make_unique<windows::frmMain>(windows::frmMain::Partes{
            o.carpeta, dialogos, [] { QCoreApplication::exit(kSalidaNormal); },
            [&salida](const QString& linea) { salida.escribirConsola(linea); }});
    }
    shell::VistaServicio& vista = ventana ? static_cast<shell::VistaServicio&>(*ventana) : salida;
    platform::Notifier& SysTray = ventana ? static_cast<platform::Notifier&>(ventana->SysTray()) : salida;

    platform::QtPictureLoader imagenes;
    EventosQt eventos;
    ConfigImpresion config(QLocale::system());
    SeleccionImpresora seleccion(*impresoras, SysTray);
    TextoTicket texto(seleccion, config);
    const Impresion impresion{config, seleccion, texto, SysTray, reloj, imagenes, eventos, o.carpeta};
    std::optional<Conexion> conexion;
    platform::NetworkPageLoader pageLoader;
    platform::SystemTimer pollTimer;
    platform::SystemTimer fetchTimeout;
    shell::CicloConsulta ciclo(shell::CicloConsulta::Partes{vista, pageLoader, pollTimer, fetchTimeout,
                                                            [&](const Value& datos) {
                                                                if (!conexion) conexion.emplace(config, impresion);
                                                                conexion->setComunicacion(datos);
                                                            }},
                               shell::urlConsulta(o.servidor, codigo), o.intervaloConsultaMs, o.limiteConsultaMs);
    if (ventana) {
        QObject::connect(ventana.get(), &windows::frmMain::relojPulsado, [&ciclo] { ciclo.pausarOReanudar(); });
        QObject::connect(ventana.get(), &windows::frmMain::descargada, [] { QCoreApplication::quit(); });
    }

    shell::iniciarServicio(vista, SysTray, eventos, ciclo, soporte);
    return QCoreApplication::exec();
}

}  // namespace kelmora::app
