// kelmora render: prints a poll answer on virtual printers and writes what came out as files.
#include "commands.h"

#include "json/json_reader.h"
#include "json/runtime_error.h"
#include "platform/cups/cups_printer_system.h"
#include "platform/drawer_printer.h"
#include "platform/qt/qt_picture_loader.h"
#include "platform/settings_file.h"
#include "platform/text/text_printer.h"
#include "printing/escpos/escpos_encoder.h"
#include "printing/escpos/escpos_interpreter.h"
#include "printing/escpos/escpos_paper_image.h"
#include "printing/escpos/escpos_pictures.h"
#include "printing/contexto_ticket.h"
#include "printing/salida.h"
#include "printing/pdf/pdf_painter.h"
#include "shell/despachador.h"
#include "shell/respuesta.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QSet>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <variant>

namespace kelmora::app {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;        // bad arguments, an unreadable answer, JSON faults
constexpr int kExitDispatchFailed = 3;  // a run-time error that no ticket caught

const char kUsage[] = "uso: kelmora render [opciones] ARCHIVO_RESPUESTA CARPETA_SALIDA\n";

void printError(const QString& text) { std::fputs(qPrintable(text + u'\n'), stderr); }

struct RenderSettings {
    platform::TextPrinterSystem::Options printers;
    QLocale locale = QLocale::system();
    std::optional<QDateTime> now;
    QString programDir;
    bool withFonts = false;
    bool pdf = false;     // a PDF beside each text document
    bool system = false;  // the machine's printers instead of virtual ones
    QSet<QString> escpos;  // virtual printers taken as receipt printers
    QString answerFile;
    QString outDir;
};

QStringList listOption(const QString& value) { return value.split(u',', Qt::SkipEmptyParts); }

// The settings from the command line, the help text, or an error text for the user.
std::variant<RenderSettings, HelpRequest, QString> parseArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Imprime una respuesta del servidor en impresoras virtuales."));
    const QCommandLineOption help = helpOption();
    const QCommandLineOption printers(QStringLiteral("printers"),
                                      QStringLiteral("Las impresoras instaladas, en este orden (por omisión: %1).")
                                          .arg(platform::kDrawerPrinter),
                                      QStringLiteral("A,B,C"));
    const QCommandLineOption defaultPrinter(QStringLiteral("default"),
                                            QStringLiteral("La impresora predeterminada (por omisión: la primera)."),
                                            QStringLiteral("NOMBRE"));
    const QCommandLineOption offline(QStringLiteral("offline"),
                                     QStringLiteral("Impresoras cuya prueba de disponibilidad falla."), QStringLiteral("A,B"));
    const QCommandLineOption locale(QStringLiteral("locale"),
                                    QStringLiteral("La configuración regional de los números, p. ej. es_CO (por omisión: la del sistema)."),
                                    QStringLiteral("NOMBRE"));
    const QCommandLineOption now(QStringLiteral("now"), QStringLiteral("El reloj (por omisión: el real)."),
                                 QStringLiteral("YYYY-MM-DDTHH:MM:SS"));
    const QCommandLineOption dir(QStringLiteral("dir"),
                                 QStringLiteral("La carpeta del programa, donde se buscan el logo y kelmora.ini "
                                                "(por omisión: la del ejecutable)."),
                                 QStringLiteral("CARPETA"));
    const QCommandLineOption fonts(QStringLiteral("fonts"), QStringLiteral("Antepone a cada línea su tipo de letra."));
    const QCommandLineOption pdf(QStringLiteral("pdf"),
                                 QStringLiteral("Escribe también NNN-IMPRESORA.pdf, el documento en papel."));
    const QCommandLineOption system(QStringLiteral("system"),
                                    QStringLiteral("Imprime en las impresoras de la máquina en lugar de las virtuales."));
    const QCommandLineOption escpos(QStringLiteral("escpos"),
                                    QStringLiteral("Toma estas impresoras como impresoras de tickets, ajustadas como "
                                                   "dice kelmora.ini: escribe también NNN-IMPRESORA.escpos, los bytes "
                                                   "que reciben, y NNN-IMPRESORA.png, lo que imprimen."),
                                    QStringLiteral("A,B"));
    parser.addOptions({help, printers, defaultPrinter, offline, locale, now, dir, fonts, pdf, escpos, system});
    parser.addPositionalArgument(QStringLiteral("ARCHIVO_RESPUESTA"),
                                 QStringLiteral("La respuesta tal como la envía el servidor."));
    parser.addPositionalArgument(QStringLiteral("CARPETA_SALIDA"), QStringLiteral("Donde se escriben los documentos."));

    if (!parser.parse(arguments)) return spanishError(parser);
    if (parser.isSet(help)) return HelpRequest{spanishHelp(parser, QStringLiteral("kelmora render"))};
    if (parser.positionalArguments().size() != 2) {
        return QStringLiteral("hacen falta un archivo de respuesta y una carpeta de salida");
    }

    RenderSettings settings;
    if (parser.isSet(printers)) settings.printers.printers = listOption(parser.value(printers));
    settings.printers.defaultPrinter = parser.value(defaultPrinter);
    const QStringList offlinePrinters = listOption(parser.value(offline));
    settings.printers.offline = QSet<QString>(offlinePrinters.begin(), offlinePrinters.end());
    if (parser.isSet(locale)) {
        const QString name = parser.value(locale);
        settings.locale = QLocale(name);
        // An unknown name gives the C locale; asking for it by name is fine.
        if (settings.locale == QLocale::c() && name != u"C" && name != u"POSIX") {
            return QStringLiteral("configuración regional desconocida: ") + name;
        }
    }
    if (parser.isSet(now)) {
        const QDateTime time = QDateTime::fromString(parser.value(now), QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
        if (!time.isValid()) return QStringLiteral("hora no válida: ") + parser.value(now);
        settings.now = time;
    }
    settings.programDir = parser.isSet(dir) ? parser.value(dir) : QCoreApplication::applicationDirPath();
    settings.withFonts = parser.isSet(fonts);
    settings.pdf = parser.isSet(pdf);
    settings.system = parser.isSet(system);
    if (settings.system && (settings.pdf || parser.isSet(printers) || parser.isSet(defaultPrinter) ||
                            parser.isSet(offline) || settings.withFonts || parser.isSet(escpos))) {
        return QStringLiteral("--system imprime en las impresoras de la máquina: --printers, --default, --offline, "
                              "--fonts, --pdf y --escpos no se aplican.");
    }
    for (const QString& name : listOption(parser.value(escpos))) {
        if (!settings.printers.printers.contains(name)) {
            return QStringLiteral("--escpos nombra una impresora que no está entre las de --printers: ") + name;
        }
        settings.escpos.insert(name);
    }
    settings.answerFile = parser.positionalArguments().at(0);
    settings.outDir = parser.positionalArguments().at(1);
    return settings;
}

// What the virtual printers and the tray leave in the output folder: NNN-DEVICE.txt for each
// ended document (and NNN-DEVICE.pdf when painting; NNN-DEVICE.escpos and NNN-DEVICE.png on a
// receipt printer), NNN-DEVICE.raw for raw bytes, numbered in delivery order, and one line of
// balloons.txt per balloon. A receipt printer prints as the settings file sets it up (roll, code
// page, cutter, start, buzzer, colour); what the file leaves unsaid follows the document's roll.
class RenderOutput final : public platform::Notifier {
public:
    RenderOutput(const QString& folder, bool withFonts, bool pdf, const QSet<QString>& receiptPrinters,
                 const platform::SettingsFile& settings)
        : folder_(folder), withFonts_(withFonts), receiptPrinters_(receiptPrinters), settings_(settings) {
        if (pdf) painter_.emplace();
    }

    bool start() {
        return QDir().mkpath(folder_.path()) && write(QStringLiteral("balloons.txt"), {}, QIODevice::Truncate);
    }
    bool failed() const { return failed_; }

    void document(const QString& device, const paper::Document& document) {
        const QString name = nextName(device);
        write(name + QStringLiteral(".txt"), platform::renderText(document, withFonts_).toUtf8(), QIODevice::Truncate);
        // A document that cannot be painted fails as on a real printer: the ticket reports it.
        if (painter_) write(name + QStringLiteral(".pdf"), painter_->paint(document), QIODevice::Truncate);
        if (receiptPrinters_.contains(device)) {
            const paper::escpos::EscPosProfile profile =
                elegirSalida(settings_.printer({device}), true, document.paperWidthMm).perfil;
            const QByteArray bytes = paper::escpos::encodeEscPos(document, profile, &rasterizer_);
            write(name + QStringLiteral(".escpos"), bytes, QIODevice::Truncate);
            // Read back from the bytes, so the picture shows what the printer makes of them.
            writePng(name + QStringLiteral(".png"), paper::escpos::renderEscPosPaper(paper::escpos::interpretEscPos(
                                                          bytes, profile.printableDots())));
        }
    }
    void raw(const QString& device, const QByteArray& bytes) {
        write(nextName(device) + QStringLiteral(".raw"), bytes, QIODevice::Truncate);
    }
    void ShowBalloonTip(const QString& text, platform::BalloonIcon icon, const QString& title, int) override {
        QString line = QString::number(static_cast<int>(icon)) + u'|' + title + u'|' + text;
        line.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
        // A lone line break would split the record.
        line.replace(u'\r', QStringLiteral("\\n")).replace(u'\n', QStringLiteral("\\n"));
        write(QStringLiteral("balloons.txt"), (line + u'\n').toUtf8(), QIODevice::Append);
    }

private:
    void writePng(const QString& name, const QImage& image) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        if (buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG")) {
            write(name, bytes, QIODevice::Truncate);
            return;
        }
        printError(QStringLiteral("No se puede codificar ") + folder_.filePath(name));
        failed_ = true;
    }
    QString nextName(QString device) {
        device.replace(u'/', u'_').replace(u'\\', u'_');
        return QStringLiteral("%1-%2").arg(++count_, 3, 10, QChar(u'0')).arg(device);
    }
    bool write(const QString& name, const QByteArray& bytes, QIODevice::OpenModeFlag mode) {
        QFile file(folder_.filePath(name));
        if (file.open(QIODevice::WriteOnly | mode) && file.write(bytes) == bytes.size()) return true;
        printError(QStringLiteral("No se puede escribir ") + file.fileName() + QStringLiteral(": ") + file.errorString());
        failed_ = true;
        return false;
    }

    QDir folder_;
    bool withFonts_;
    std::optional<paper::PdfPainter> painter_;
    QSet<QString> receiptPrinters_;
    const platform::SettingsFile& settings_;
    paper::escpos::DitheringRasterizer rasterizer_;
    int count_ = 0;
    bool failed_ = false;
};

// Prints a clean payload and writes what came out.
int dispatch(const RenderSettings& settings, const Value& payload, const QString& json) {
    // The printers as the service sees them, with the settings file of the program folder.
    const platform::SettingsFile file =
        platform::SettingsFile::read(QDir(settings.programDir).filePath(platform::kSettingsFileName));
    for (const QString& problem : file.problems()) printError(problem);
    RenderOutput output(settings.outDir, settings.withFonts, settings.pdf, settings.escpos, file);
    if (!output.start()) return kExitBadInput;
    std::unique_ptr<platform::PrinterSystem> printers;
    if (settings.system) {
        printers = std::make_unique<platform::CupsPrinterSystem>(
            paper::PdfPainter::kDefaultPaperWidthMm, [file](const QStringList& names) { return file.printer(names); });
    } else {
        printers = std::make_unique<platform::TextPrinterSystem>(
            settings.printers, [&](const QString& device, const paper::Document& d) { output.document(device, d); },
            [&](const QString& device, const QByteArray& bytes) { output.raw(device, bytes); });
    }
    std::unique_ptr<platform::Clock> clock;
    if (settings.now) {
        clock = std::make_unique<platform::FixedClock>(*settings.now);
    } else {
        clock = std::make_unique<platform::SystemClock>();
    }
    platform::QtPictureLoader pictures;
    ConfigImpresion printSettings(settings.locale);
    SeleccionImpresora selection(*printers, output);
    TextoTicket layout(selection, printSettings);
    const ContextoTicket printing{printSettings, selection, layout, output, *clock, pictures, settings.programDir};
    shell::Despachador dispatcher(printSettings, printing);

    try {
        dispatcher.setComunicacion(payload, json);
    } catch (const RuntimeError& error) {
        // What the service's poll cycle would have dropped: the dispatch ended here.
        printError(error.description());
        return kExitDispatchFailed;
    }
    return output.failed() ? kExitBadInput : kExitOk;
}

int render(const RenderSettings& settings) {
    QFile file(settings.answerFile);
    if (!file.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("No se puede leer ") + settings.answerFile + QStringLiteral(": ") + file.errorString());
        return kExitBadInput;
    }
    // The same steps as a polled answer.
    JsonReader reader;
    int status = kExitOk;
    const QString faults = shell::atenderRespuesta(reader, QString::fromUtf8(file.readAll()),
                                                   [&](const Value& payload, const QString& json) {
                                                       status = dispatch(settings, payload, json);
                                                   });
    if (!faults.isEmpty()) {
        printError(faults.trimmed());
        return kExitBadInput;
    }
    return status;
}

}  // namespace

int runRender(int argc, char** argv) {
    // Painting needs fonts, which need the graphical application; it paints off screen, so no
    // display is needed. Without painting, no graphical application is started at all.
    bool paints = false;
    for (int i = 2; i < argc; ++i) {
        paints = paints || std::strcmp(argv[i], "--pdf") == 0 || std::strcmp(argv[i], "--system") == 0 ||
                 std::strcmp(argv[i], "--escpos") == 0 || std::strncmp(argv[i], "--escpos=", 9) == 0;
    }
    if (paints && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> application;
    if (paints) {
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeAt(1);  // "render"

    const auto parsed = parseArguments(arguments);
    if (const auto* help = std::get_if<HelpRequest>(&parsed)) {
        std::fputs(qPrintable(help->text), stdout);
        return kExitOk;
    }
    if (const QString* message = std::get_if<QString>(&parsed)) {
        printError(*message);
        std::fputs(kUsage, stderr);
        return kExitBadInput;
    }
    return render(std::get<RenderSettings>(parsed));
}

}  // namespace kelmora::app
