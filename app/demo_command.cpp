// kelmora demo: the service against an embedded demo server, on virtual PDF printers.
#include "commands.h"

#include "platform/drawer_printer.h"
#include "printing/logo.h"
#include "service.h"
#include "demo_server.h"

#include "shell/codigo_sucursal.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>

namespace kelmora::app {

namespace {

const QString kDemoBranchCode = QStringLiteral("D10000000004101");
const QStringList kDemoPrinters{QStringLiteral("Cocina"), QStringLiteral("Bar"), platform::kDrawerPrinter};
// How long the windows stay after the round, so the last balloons can be seen.
constexpr int kLingerDesktopMs = 4000;
constexpr int kLingerHeadlessMs = 300;

void say(const QString& text) {
    std::fputs(qPrintable(QStringLiteral("kelmora demo: ") + text + u'\n'), stdout);
    std::fflush(stdout);
}

// The branch's logo, drawn here so the demo needs no picture file of its own.
bool paintLogo(const QString& path) {
    QImage logo(500, 184, QImage::Format_RGB32);
    logo.fill(Qt::white);
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x8a, 0x2b, 0x0e), 10));
    p.drawRoundedRect(QRectF(8, 8, 484, 168), 36, 36);
    p.setBrush(QColor(0xe0, 0x6c, 0x1b));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(92, 92), 52, 52);
    p.setBrush(QColor(0xf7, 0xc9, 0x48));
    p.drawEllipse(QPointF(92, 104), 26, 30);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(56);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0x3b, 0x1d, 0x0c));
    p.drawText(QRectF(160, 20, 330, 100), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("El Fogón"));
    font.setPixelSize(26);
    font.setBold(false);
    p.setFont(font);
    p.drawText(QRectF(162, 108, 330, 50), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("cocina de leña"));
    p.end();
    return logo.save(path, "BMP");
}

// The documents of an earlier demo go, so the folder shows one round.
void clearDocuments(QDir folder) {
    static const QRegularExpression document(QStringLiteral(R"(^\d{3,}-.*\.(pdf|raw)$)"));
    for (const QString& name : folder.entryList(QDir::Files)) {
        if (document.match(name).hasMatch()) folder.remove(name);
    }
}

QStringList demoAnswers() {
    QStringList answers;
    const QDir resources(QStringLiteral(":/demo"));
    for (const QString& name : resources.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile file(resources.filePath(name));
        if (file.open(QIODevice::ReadOnly)) answers.append(QString::fromUtf8(file.readAll()));
    }
    return answers;
}

}  // namespace

int runDemo(int argc, char** argv) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("El servicio ante un servidor de demostración incluido; los documentos van a kelmora-demo/."));
    const QCommandLineOption help = helpOption();
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Sin ventanas ni ícono en la bandeja, aunque haya pantalla."));
    const QCommandLineOption keepPolling(QStringLiteral("forever"),
                                         QStringLiteral("Sigue consultando tras la ronda, hasta que se cierre el servicio."));
    parser.addOptions({help, headless, keepPolling});
    QStringList arguments{QStringLiteral("kelmora demo")};
    for (int i = 2; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        std::fputs(qPrintable(QStringLiteral("kelmora demo: ") +
                              (parser.errorText().isEmpty() ? QStringLiteral("argumento desconocido") : spanishError(parser)) +
                              QStringLiteral("\n")),
                   stderr);
        return kExitUsage;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(spanishHelp(parser, QStringLiteral("kelmora demo"))), stdout);
        return kExitNormal;
    }

    const Application application = createApplication(argc, argv, parser.isSet(headless));
    const QDir documents(QDir::current().absoluteFilePath(QStringLiteral("kelmora-demo")));
    const QString programFolder = documents.filePath(QStringLiteral("programa"));
    if (!QDir().mkpath(programFolder)) {
        std::fputs(qPrintable(QStringLiteral("kelmora demo: no se puede crear ") + programFolder + u'\n'), stderr);
        return kExitUsage;
    }
    clearDocuments(documents);
    // The demo branch, on a support workstation so the main window shows its console.
    QFile accessFile(shell::rutaAcceso(programFolder));
    if (!accessFile.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        accessFile.write((kDemoBranchCode + QStringLiteral("\r\n") + shell::kModoSoporte + QStringLiteral("\r\n")).toLatin1()) < 0) {
        std::fputs(qPrintable(QStringLiteral("kelmora demo: no se puede escribir ") + accessFile.fileName() + u'\n'), stderr);
        return kExitUsage;
    }
    accessFile.close();
    if (!paintLogo(rutaLogo(programFolder))) {
        say(QStringLiteral("no se pudo dibujar el logo; las facturas salen sin él"));
    }

    DemoServer server(kDemoBranchCode, demoAnswers());
    if (!server.listen()) {
        std::fputs("kelmora demo: no hay puerto local para el servidor de demostración\n", stderr);
        return kExitUsage;
    }
    const bool pollsOn = parser.isSet(keepPolling);
    server.onRoundDone = [&] {
        say(QStringLiteral("ronda completa; los documentos están en ") + QDir::toNativeSeparators(documents.path()));
        if (!pollsOn) {
            QTimer::singleShot(application.headless ? kLingerHeadlessMs : kLingerDesktopMs,
                               [] { QCoreApplication::quit(); });
        }
    };
    say(QStringLiteral("servidor de demostración en ") + server.url() + QStringLiteral(", código de sucursal ") +
        kDemoBranchCode);

    ServiceOptions options;
    options.server = server.url();
    options.serverGiven = true;
    options.folder = programFolder;
    options.headless = application.headless;
    // The demo is there to be watched, and its customers are made up.
    options.verbose = true;
    options.printTo = documents.path();
    options.printers = kDemoPrinters;
    options.defaultPrinter = platform::kDrawerPrinter;
    const int standardOutput = runPrintService(options, application.headless);
    if (standardOutput == kExitNormal) {
        say(QStringLiteral("los documentos están en ") + QDir::toNativeSeparators(documents.path()));
    }
    return standardOutput;
}

}  // namespace kelmora::app
