// The answer path of the service under libFuzzer. Each input is the body of one poll answer and
// goes through the real poll cycle: the five leading characters cut, the JSON read, and a clean
// payload handed to the dispatcher, which prints on virtual text printers. A run-time error is
// caught only where the poll cycle catches it; anything else that escapes is a finding.
#include "shell/ciclo_consulta.h"
#include "shell/despachador.h"
#include "support/service_fakes.h"
#include "support/test_support.h"

#include <cstddef>
#include <cstdint>

namespace kelmora {
namespace {

const QString kBranchCode = QStringLiteral("123451234512345");

void oneAnswer(const QString& body) {
    // Fresh for every input: nothing one answer leaves behind may hide what the next one does.
    testing::PrintBench bench({QStringLiteral("Cocina"), QStringLiteral("Bar"), QStringLiteral("Facturas")},
                              QStringLiteral("Facturas"));
    shell::Despachador dispatcher(bench.config, bench.impresion);
    testing::FakeTimeLine time;
    testing::FakeTimer pollTimer{time};
    testing::FakeTimer fetchTimeout{time};
    testing::FakePageLoader loader;
    testing::RecordingView view;
    shell::CicloConsulta cycle(
        shell::CicloConsulta::Servicios{view, loader, pollTimer, fetchTimeout,
                                     [&dispatcher](const Value& payload, const QString& json) {
                                         dispatcher.setComunicacion(payload, json);
                                     }},
        shell::urlConsulta(QStringLiteral("http://127.0.0.1:8080"), kBranchCode));

    cycle.iniciar();
    time.advance(shell::limites::intervaloConsultaMs);  // the first tick polls
    loader.complete(body);

    // Every delivered document laid out as text, as a preview or a support copy would be.
    for (const auto& delivered : bench.printers.delivered()) {
        if (!delivered.isRaw) (void)platform::renderText(delivered.document, true);
    }
}

}  // namespace
}  // namespace kelmora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelmora::oneAnswer(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
