// ESC/POS timing on an 80 mm printer: a kitchen ticket and an invoice with its logo encoded, and the
// logo's dithering alone. Targets: under 1 ms per kitchen ticket, under 5 ms to dither a logo.
// `paperPerTicket` reports, for each kind on both rolls, the paper a ticket feeds and its bytes.
#include "json/json_reader.h"
#include "platform/qt/qt_picture_loader.h"
#include "platform/text/text_printer.h"
#include "printing/config_impresion.h"
#include "printing/escpos/escpos_encoder.h"
#include "printing/escpos/escpos_interpreter.h"
#include "printing/escpos/escpos_pictures.h"
#include "printing/contexto_ticket.h"
#include "printing/seleccion_impresora.h"
#include "printing/texto.h"
#include "tickets/anulacion.h"
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

// The roll's two settings ahead of the answer's own: the first entry of a name is the one that counts.
Collection onRoll(int roll, const Value& config) {
    Collection settings;
    for (const QString& name : {QStringLiteral("Tamaño de Factura"), QStringLiteral("Tamano de Factura")}) {
        Dictionary entry;
        entry.add(QStringLiteral("Nombre"), name);
        entry.add(QStringLiteral("Descripcion"), QStringLiteral("rollo %1mm").arg(roll));
        entry.add(QStringLiteral("Visible"), QStringLiteral("1"));
        settings.add(entry);
    }
    if (!config.isEmpty()) {
        for (const Value& entry : config.toCollection()) settings.add(entry);
    }
    return settings;
}

// One of each kind laid out for a roll (55 or 75 mm): the first kitchen ticket with values, the
// first cancellation and the closed account's invoice with the test logo.
struct Documents {
    paper::Document kitchen;
    paper::Document cancellation;
    paper::Document invoice;
};

Documents printDocuments(int roll) {
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
    config.actualizar(onRoll(roll, kitchen[u"config"]));
    imprimirComandas(impresion, kitchen[u"comanda"].toCollection());
    config.actualizar(onRoll(roll, Value()));
    imprimirAnulaciones(impresion, readAnswer(QStringLiteral("tickets/anulaciones.json")).toCollection());
    const Value invoice = readAnswer(QStringLiteral("invoices/cuenta_cerrada.json"));
    config.actualizar(onRoll(roll, invoice[u"config"]));
    for (const Value& factura : invoice[u"factura"].toCollection()) imprimirFactura(impresion, factura);
    const auto& delivered = printers.delivered();
    if (delivered.size() < 3 || delivered.back().document.pictures.isEmpty()) {
        std::fprintf(stderr, "the fixtures printed no kitchen ticket, cancellation and invoice with logo\n");
        std::exit(2);
    }
    const auto first = [&](const char* kind) {
        for (const auto& d : delivered) {
            if (d.document.kind == QLatin1String(kind)) return d.document;
        }
        return paper::Document();
    };
    return Documents{first("Comanda"), first("Anulacion"), delivered.back().document};
}

const Documents& documents() {
    static const Documents made = printDocuments(75);
    return made;
}

// Not a timing: the paper each kind feeds (mm) and the bytes it takes, on a 58 mm printer (the
// 55 mm layout) and an 80 mm one (the 75 mm layout).
void paperPerTicket(benchmark::State& state) {
    const int roll = static_cast<int>(state.range(0));
    const Documents made = printDocuments(roll == 58 ? 55 : 75);
    paper::escpos::EscPosProfile profile;
    profile.rollMm = roll;
    paper::escpos::DitheringRasterizer pictures;
    const std::pair<const char*, const paper::Document*> kinds[] = {
        {"kitchen", &made.kitchen}, {"cancellation", &made.cancellation}, {"invoice", &made.invoice}};
    for (auto _ : state) {
        for (const auto& [name, document] : kinds) {
            const QByteArray bytes = paper::escpos::encodeEscPos(*document, profile, &pictures);
            const int fed = paper::escpos::interpretEscPos(bytes, profile.printableDots()).length;
            state.counters[std::string(name) + "_mm"] = fed * 25.4 / paper::escpos::EscPosProfile::kDotsPerInch;
            state.counters[std::string(name) + "_bytes"] = static_cast<double>(bytes.size());
        }
    }
}
BENCHMARK(paperPerTicket)->Arg(58)->Arg(80)->Iterations(1)->Unit(benchmark::kMillisecond);

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
