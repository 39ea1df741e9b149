// Receipt printers reached directly, against the floor of the same bytes written straight through
// their links:
//  - Pipeline: a poll answer of 5 kitchen tickets for "Cocina" and an invoice with its logo (on
//    the default printer, "Facturas"), from the answer's text to the last confirmation on paper,
//    through the dispatcher, the print queue on a journal in memory and the direct printers;
//  - Floor: each document's bytes, as the pipeline sent them, printed with ReceiptLink::print,
//    which asks the same status and confirmation; "probed" adds a status request of its own before
//    each document, as the direct printers' availability probe does.
// The printers are two receipt printer stand-ins on loopback ports. Each figure is per answer;
// the counters say how many status requests and confirmations each document took.
#include "json/json_reader.h"
#include "platform/clock.h"
#include "platform/direct/direct_printer_system.h"
#include "platform/direct/receipt_link.h"
#include "platform/qt/qt_picture_loader.h"
#include "platform/virtual_printers.h"
#include "printing/config_impresion.h"
#include "printing/seleccion_impresora.h"
#include "shell/bitacora.h"
#include "shell/cola_impresion.h"
#include "shell/despachador.h"
#include "shell/diario_memoria.h"
#include "shell/hilo_impresion.h"
#include "shell/intento_impresion.h"
#include "shell/respuesta.h"
#include "support/receipt_printer_standin.h"
#include "bench_support.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace kelmora {
namespace {

using bench::CountingTray;
using bench::writeLogo;

constexpr int kKitchenTickets = 5;
constexpr int kDocuments = kKitchenTickets + 1;
const QString kKitchen = QStringLiteral("Cocina");
const QString kInvoices = QStringLiteral("Facturas");

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Everything the two benchmarks share: the printers, the answer, and the logo's program folder.
struct Floor {
    testing::ReceiptPrinterStandIn kitchen;
    testing::ReceiptPrinterStandIn invoices;
    QTemporaryDir program;
    QString answer;
    // Each document as it went to its printer, in order, from one answer through the pipeline.
    std::vector<platform::Delivery> documents;
    double floorMs = 0;  // the floor's time per answer, once measured

    int statusRequests() const { return kitchen.statusRequests() + invoices.statusRequests(); }
    int confirmations() const { return kitchen.confirmationRequests() + invoices.confirmationRequests(); }
};
Floor* floor_ = nullptr;

// The closed account invoice of the test fixtures, with its full header settings, and kitchen
// tickets for "Cocina" put in its answer, as the server sends it.
std::optional<QString> answerText() {
    QFile file(QStringLiteral(KELMORA_TEST_DATA "/invoices/cuenta_cerrada.json"));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QString json = QString::fromUtf8(file.readAll());
    QStringList tickets;
    for (int i = 0; i < kKitchenTickets; ++i) {
        tickets << QStringLiteral(R"({"area": "Cocina", "titulo": null, "nomMesa": "Mesa %1", "responsable": "Andrés",
            "nPedido": %2, "fecha": "2024-03-03 13:15", "clienteNombre": "", "clienteTelefono": "",
            "clienteDireccion": "", "codPlataforma": "",
            "productos": [
              {"nombre": "Cazuela de mariscos", "cantidad": 2, "valor": 84000, "detalle": ["Una sin picante"]},
              {"nombre": "Patacón con hogao", "cantidad": 1, "valor": 9500, "detalle": []},
              {"nombre": "Limonada de coco", "cantidad": 3, "valor": 28500, "detalle": ["Sin azúcar", "Poco hielo"]}
            ]})")
                       .arg(i + 1)
                       .arg(5000 + i);
    }
    const QString empty = QStringLiteral(R"("comanda": [],)");
    if (!json.contains(empty)) return std::nullopt;
    json.replace(empty, QStringLiteral(R"("comanda": [%1],)").arg(tickets.join(u',')));
    return QStringLiteral("00000") + json;
}

// Runs every work here, as EjecutorEnLinea does, and keeps each delivery it made.
class CapturingExecutor final : public shell::EjecutorImpresion {
public:
    explicit CapturingExecutor(platform::PrinterSystem& printers) : printers_(printers) {}
    bool ejecutar(std::function<void()> trabajo, std::function<void()>) override {
        const quint64 before = printers_.deliveries();
        trabajo();
        if (printers_.deliveries() != before) delivered.push_back(printers_.lastDelivery());
        return true;
    }
    std::vector<platform::Delivery> delivered;

private:
    platform::PrinterSystem& printers_;
};

// The service's printing side on the two direct printers, kept for the whole run as the service
// keeps it; the others are a printing system with no printers.
struct Service {
    Service()
        : printers(
              std::vector<platform::DirectPrinterSystem::Printer>{
                  {kKitchen, *platform::direct::Address::parse(floor_->kitchen.address()), {}},
                  {kInvoices, *platform::direct::Address::parse(floor_->invoices.address()), {}}},
              std::make_unique<platform::VirtualPrinterSystem>(platform::VirtualPrinterSystem::Options{{}, {}, {}}),
              kInvoices,
              [this](const QString& printer, platform::DirectPrinterSystem::StateChange change, const QString& problem) {
                  if (change == platform::DirectPrinterSystem::StateChange::PaperLow) return;
                  std::fprintf(stderr, "%s: state change %d %s\n", qPrintable(printer), static_cast<int>(change),
                               qPrintable(problem));
                  ++tray.failures;
              }),
          selection(printers, tray) {}

    // One answer, from its text: a fresh queue and journal, as nothing of one answer is read by
    // the next. Returns the reader's or the dispatch's fault, empty when it printed.
    QString print(shell::EjecutorImpresion& executor) {
        shell::DiarioMemoria journal;
        shell::BitacoraNula log;
        shell::LadoImpresion side{selection, tray, clock, pictures, floor_->program.path()};
        shell::ColaImpresion queue(shell::ColaImpresion::Servicios{journal, executor, side, tray, clock, locale, log,
                                                                   nullptr, {}, {}, {}, {}});
        ConfigImpresion settings(locale);
        shell::Despachador dispatcher(settings, queue);
        JsonReader reader;
        return shell::atenderRespuesta(reader, floor_->answer, [&](const Value& payload, const QString& json) {
            dispatcher.setComunicacion(payload, json);
        });
    }

    CountingTray tray;
    platform::SystemClock clock;
    platform::QtPictureLoader pictures;
    QLocale locale{QLocale::Spanish, QLocale::Colombia};
    platform::DirectPrinterSystem printers;
    SeleccionImpresora selection;
};

void Pipeline(benchmark::State& state) {
    Service service;
    shell::EjecutorEnLinea executor;
    // The connections opened, as in a service that has been running.
    if (const QString fault = service.print(executor); !fault.isEmpty()) {
        state.SkipWithError(qPrintable(fault));
        return;
    }
    const quint64 deliveries = service.printers.deliveries();
    const int status = floor_->statusRequests();
    const int confirmations = floor_->confirmations();
    double totalMs = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const QString fault = service.print(executor);
        totalMs += millisecondsSince(start);
        if (!fault.isEmpty()) {
            state.SkipWithError(qPrintable(fault));
            return;
        }
    }
    const double documents = static_cast<double>(state.iterations()) * kDocuments;
    if (service.tray.failures > 0 || service.printers.deliveries() - deliveries != static_cast<quint64>(state.iterations()) * kDocuments) {
        state.SkipWithError("the answer did not print whole");
        return;
    }
    const double answerMs = totalMs / static_cast<double>(state.iterations());
    state.counters["answer_ms"] = answerMs;
    state.counters["status_per_doc"] = (floor_->statusRequests() - status) / documents;
    state.counters["confirm_per_doc"] = (floor_->confirmations() - confirmations) / documents;
    if (floor_->floorMs > 0) state.counters["vs_floor"] = answerMs / floor_->floorMs;
}

// `probed`: each document after a status request of its own, as the direct printers' availability
// probe asks before a document is laid out; it tells what that round trip costs.
void FloorLinks(benchmark::State& state, bool probed) {
    platform::direct::ReceiptLink kitchen(*platform::direct::Address::parse(floor_->kitchen.address()));
    platform::direct::ReceiptLink invoices(*platform::direct::Address::parse(floor_->invoices.address()));
    const auto printAll = [&] {
        for (const platform::Delivery& document : floor_->documents) {
            platform::direct::ReceiptLink& link = document.printer == kKitchen ? kitchen : invoices;
            if (probed && link.status().kind != platform::direct::ReceiptLink::Result::Kind::Ready) return false;
            if (link.print(document.bytes).kind != platform::direct::ReceiptLink::Result::Kind::Ready) return false;
        }
        return true;
    };
    if (!printAll()) {
        state.SkipWithError("a stand-in did not confirm a document");
        return;
    }
    const int status = floor_->statusRequests();
    const int confirmations = floor_->confirmations();
    double totalMs = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const bool printed = printAll();
        totalMs += millisecondsSince(start);
        if (!printed) {
            state.SkipWithError("a stand-in did not confirm a document");
            return;
        }
    }
    const double documents = static_cast<double>(state.iterations()) * kDocuments;
    const double answerMs = totalMs / static_cast<double>(state.iterations());
    if (!probed) floor_->floorMs = answerMs;
    state.counters["answer_ms"] = answerMs;
    state.counters["status_per_doc"] = (floor_->statusRequests() - status) / documents;
    state.counters["confirm_per_doc"] = (floor_->confirmations() - confirmations) / documents;
}

// The floor first: the pipeline's figure is then told against it.
BENCHMARK_CAPTURE(FloorLinks, bare, false)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FloorLinks, probed, true)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Pipeline)->UseRealTime()->Unit(benchmark::kMillisecond);

// One answer through the pipeline, keeping each document's bytes for the floor.
bool captureDocuments() {
    Service service;
    CapturingExecutor executor(service.printers);
    const QString fault = service.print(executor);
    if (!fault.isEmpty() || service.tray.failures > 0) {
        std::fprintf(stderr, "the answer did not print: %s\n", qPrintable(fault));
        return false;
    }
    floor_->documents = executor.delivered;
    int kitchen = 0;
    qsizetype bytes = 0;
    for (const platform::Delivery& document : floor_->documents) {
        kitchen += document.printer == kKitchen ? 1 : 0;
        bytes += document.bytes.size();
    }
    if (floor_->documents.size() != kDocuments || kitchen != kKitchenTickets) {
        std::fprintf(stderr, "expected %d kitchen tickets and an invoice, got %zu documents (%d kitchen)\n",
                     kKitchenTickets, floor_->documents.size(), kitchen);
        return false;
    }
    std::printf("%d documents per answer, %lld bytes (the invoice %lld)\n", kDocuments, static_cast<long long>(bytes),
                static_cast<long long>(floor_->documents.back().bytes.size()));
    return true;
}

}  // namespace
}  // namespace kelmora

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    kelmora::Floor floor;
    kelmora::floor_ = &floor;
    const std::optional<QString> answer = kelmora::answerText();
    if (!answer || !floor.program.isValid() ||
        !kelmora::writeLogo(floor.program.filePath(QStringLiteral("logo.bmp")))) {
        std::fprintf(stderr, "cannot prepare the answer or the logo\n");
        return 2;
    }
    floor.answer = *answer;
    if (!kelmora::captureDocuments()) return 2;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
