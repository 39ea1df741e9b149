// ESC/POS timing on an 80 mm printer: a kitchen ticket and an invoice with its logo encoded, and the
// logo's dithering alone. Targets: under 1 ms per kitchen ticket, under 5 ms to dither a logo.
#include "json/json_reader.h"
#include "platform/qt/qt_picture_loader.h"
#include "platform/text/text_printer.h"
#include "printing/config_impresion.h"
#include "printing/escpos/escpos_encoder.h"
#include "printing/escpos/escpos_pictures.h"
#include "printing/contexto_ticket.h"
#include "printing/seleccion_impresora.h"
#include "printing/texto.h"
#include "tickets/comanda.h"
#include "tickets/factura.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace kelmora {
namespace {

QString dataPath(const QString& relative) { return QStringLiteral(KELMORA_TEST_DATA "/") + relative; }

Value readAnswer(const QString& relative) {
    QFile file(dataPath(relative));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
        std::exit(2);
    }
    return JsonReader().leerJSON(QString::fromUtf8(file.readAll()));
}

class SilentTray final : public platform::Notifier {
public:
    void ShowBalloonTip(const QString&, platform::BalloonIcon, const QString&, int) override {}
};

// The first document of the kitchen fixture and the last of the invoice one, printed on a 75 mm roll with the test logo.
struct Documents {
    paper::Document kitchen;
    paper::Document invoice;
};

const Documents& documents() {
    static const Documents made = [] {
        QTemporaryDir folder;
        QFile::copy(dataPath(QStringLiteral("settings/logo-rojo.gif")), QDir(folder.path()).filePath(QStringLiteral("logo.bmp")));
        SilentTray tray;
        platform::QtPictureLoader pictures;
        platform::FixedClock clock{QDateTime(QDate(2024, 3, 3), QTime(17, 5, 9))};
        platform::TextPrinterSystem printers{platform::TextPrinterSystem::Options{
            {QStringLiteral("Facturas"), QStringLiteral("Cocina"), QStringLiteral("Bar")}, QStringLiteral("Facturas"), {}}};
        ConfigImpresion config{QLocale(QLocale::English, QLocale::UnitedStates)};
        SeleccionImpresora seleccion{printers, tray};
        TextoTicket texto{seleccion, config};
        const ContextoTicket impresion{config, seleccion, texto, tray, clock, pictures, folder.path()};
        const Value kitchen = readAnswer(QStringLiteral("tickets/comanda_valores_75.json"));
        config.actualizar(kitchen[u"config"].toCollection());
        imprimirComandas(impresion, kitchen[u"comanda"].toCollection());
        const Value invoice = readAnswer(QStringLiteral("invoices/cuenta_cerrada.json"));
        config.actualizar(invoice[u"config"].toCollection());
        for (const Value& factura : invoice[u"factura"].toCollection()) imprimirFactura(impresion, factura);
        if (printers.delivered().size() < 2 || printers.delivered().back().document.pictures.isEmpty()) {
            std::fprintf(stderr, "the fixtures printed no kitchen ticket and invoice with logo\n");
            std::exit(2);
        }
        return Documents{printers.delivered().front().document, printers.delivered().back().document};
    }();
    return made;
}

void encodeKitchenTicket(benchmark::State& state) {
    const paper::Document& document = documents().kitchen;
    for (auto _ : state) benchmark::DoNotOptimize(paper::escpos::encodeEscPos(document, {}));
}
BENCHMARK(encodeKitchenTicket)->Unit(benchmark::kMicrosecond);

// As the service prints: the logo is dithered once and kept.
void encodeInvoiceWithLogo(benchmark::State& state) {
    const paper::Document& document = documents().invoice;
    paper::escpos::DitheringRasterizer pictures;
    for (auto _ : state) benchmark::DoNotOptimize(paper::escpos::encodeEscPos(document, {}, &pictures));
}
BENCHMARK(encodeInvoiceWithLogo)->Unit(benchmark::kMicrosecond);

// The first invoice after a start: the logo read, scaled and dithered too.
void encodeInvoiceWithNewLogo(benchmark::State& state) {
    const paper::Document& document = documents().invoice;
    for (auto _ : state) {
        paper::escpos::DitheringRasterizer pictures;
        benchmark::DoNotOptimize(paper::escpos::encodeEscPos(document, {}, &pictures));
    }
}
BENCHMARK(encodeInvoiceWithNewLogo)->Unit(benchmark::kMicrosecond);

// The dithering alone, of the logo scaled to the width given in dots: the invoice's own box, and a
// logo that fills the roll.
void ditherLogo(benchmark::State& state) {
    const QImage logo = QImage(dataPath(QStringLiteral("settings/logo-rojo.gif")));
    const int width = static_cast<int>(state.range(0));
    const QImage scaled = logo.scaledToWidth(width, Qt::SmoothTransformation);
    for (auto _ : state) benchmark::DoNotOptimize(paper::escpos::ditherToMonochrome(scaled));
    state.SetLabel(QStringLiteral("%1x%2 dots").arg(scaled.width()).arg(scaled.height()).toStdString());
}
BENCHMARK(ditherLogo)->Arg(172)->Arg(576)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kelmora

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
