// kelmora demo: the service against an embedded demo server, on virtual PDF printers.
#include "commands.h"

#include "printing/logo.h"
#include "servicio.h"
#include "servidor_demo.h"

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

const QString kCodigoDemo = QStringLiteral("D10000000004101");
const QStringList kImpresorasDemo{QStringLiteral("Cocina"), QStringLiteral("Bar"), QStringLiteral("Facturas")};
// How long the windows stay after the round, so the last balloons can be seen.
constexpr int kEsperaFinalEscritorioMs = 4000;
constexpr int kEsperaFinalSinVentanasMs = 300;

void decir(const QString& texto) {
    std::fputs(qPrintable(QStringLiteral("kelmora demo: ") + texto + u'\n'), stdout);
    std::fflush(stdout);
}

// The branch's logo, drawn here so the demo needs no picture file of its own.
bool pintarLogo(const QString& ruta) {
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
    QFont letra(QStringLiteral("DejaVu Serif"));
    letra.setPixelSize(56);
    letra.setBold(true);
    p.setFont(letra);
    p.setPen(QColor(0x3b, 0x1d, 0x0c));
    p.drawText(QRectF(160, 20, 330, 100), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("El Fogón"));
    letra.setPixelSize(26);
    letra.setBold(false);
    p.setFont(letra);
    p.drawText(QRectF(162, 108, 330, 50), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("cocina de leña"));
    p.end();
    return logo.save(ruta, "BMP");
}

// The documents of an earlier demo go, so the folder shows one round.
void vaciarDocumentos(QDir carpeta) {
    static const QRegularExpression documento(QStringLiteral(R"(^\d{3,}-.*\.(pdf|raw)$)"));
    for (const QString& nombre : carpeta.entryList(QDir::Files)) {
        if (documento.match(nombre).hasMatch()) carpeta.remove(nombre);
    }
}

QStringList respuestasDemo() {
    QStringList respuestas;
    const QDir recursos(QStringLiteral(":/demo"));
    for (const QString& nombre : recursos.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile archivo(recursos.filePath(nombre));
        if (archivo.open(QIODevice::ReadOnly)) respuestas.append(QString::fromUtf8(archivo.readAll()));
    }
    return respuestas;
}

}  // namespace

int runDemo(int argc, char** argv) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs the service against an embedded demo server; the documents go to kelmora-demo/."));
    const QCommandLineOption ayuda(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                   QStringLiteral("Shows these options."));
    const QCommandLineOption sinVentanas(QStringLiteral("headless"),
                                         QStringLiteral("No windows and no tray icon, also where a display is."));
    const QCommandLineOption siempre(QStringLiteral("forever"),
                                     QStringLiteral("Goes on polling after the round, until the service is shut down."));
    parser.addOptions({ayuda, sinVentanas, siempre});
    QStringList argumentos{QStringLiteral("kelmora demo")};
    for (int i = 2; i < argc; ++i) argumentos.append(QString::fromLocal8Bit(argv[i]));
    if (!parser.parse(argumentos) || !parser.positionalArguments().isEmpty()) {
        std::fputs(qPrintable(QStringLiteral("kelmora demo: ") +
                              (parser.errorText().isEmpty() ? QStringLiteral("unknown argument") : parser.errorText()) +
                              QStringLiteral("\n")),
                   stderr);
        return kSalidaUso;
    }
    if (parser.isSet(ayuda)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return kSalidaNormal;
    }

    const Aplicacion aplicacion = crearAplicacion(argc, argv, parser.isSet(sinVentanas));
    const QDir documentos(QDir::current().absoluteFilePath(QStringLiteral("kelmora-demo")));
    const QString programa = documentos.filePath(QStringLiteral("programa"));
    if (!QDir().mkpath(programa)) {
        std::fputs(qPrintable(QStringLiteral("kelmora demo: cannot create ") + programa + u'\n'), stderr);
        return kSalidaUso;
    }
    vaciarDocumentos(documentos);
    // The demo branch, on a support workstation so the main window shows its console.
    QFile acceso(shell::rutaAcceso(programa));
    if (!acceso.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        acceso.write((kCodigoDemo + QStringLiteral("\r\n") + shell::kModoSoporte + QStringLiteral("\r\n")).toLatin1()) < 0) {
        std::fputs(qPrintable(QStringLiteral("kelmora demo: cannot write ") + acceso.fileName() + u'\n'), stderr);
        return kSalidaUso;
    }
    acceso.close();
    if (!pintarLogo(rutaLogo(programa))) {
        decir(QStringLiteral("the logo could not be drawn; invoices come out without it"));
    }

    ServidorDemo servidor(kCodigoDemo, respuestasDemo());
    if (!servidor.escuchar()) {
        std::fputs("kelmora demo: no loopback port for the demo server\n", stderr);
        return kSalidaUso;
    }
    const bool sinFin = parser.isSet(siempre);
    servidor.alTerminarRonda = [&] {
        decir(QStringLiteral("round complete; the documents are in ") + QDir::toNativeSeparators(documentos.path()));
        if (!sinFin) {
            QTimer::singleShot(aplicacion.sinVentanas ? kEsperaFinalSinVentanasMs : kEsperaFinalEscritorioMs,
                               [] { QCoreApplication::quit(); });
        }
    };
    decir(QStringLiteral("demo server at ") + servidor.url() + QStringLiteral(", branch code ") + kCodigoDemo);

    OpcionesServicio opciones;
    opciones.servidor = servidor.url();
    opciones.carpeta = programa;
    opciones.sinVentanas = aplicacion.sinVentanas;
    opciones.imprimirEn = documentos.path();
    opciones.impresoras = kImpresorasDemo;
    opciones.predeterminada = QStringLiteral("Facturas");
    const int salida = ejecutarServicio(opciones, aplicacion.sinVentanas);
    if (salida == kSalidaNormal) {
        decir(QStringLiteral("the documents are in ") + QDir::toNativeSeparators(documentos.path()));
    }
    return salida;
}

}  // namespace kelmora::app
