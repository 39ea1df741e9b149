// The answer path of the service under libFuzzer. Each input is the body of one poll answer and
// goes through the real poll cycle: the five leading characters cut, the JSON read, and a clean
// payload handed to the dispatcher, which prints on virtual text printers. A run-time error is
// caught only where the poll cycle catches it; anything else that escapes is a finding.
#include "shell/ciclo_consulta.h"
#include "shell/conexion.h"
#include "shell/shell_fakes.h"
#include "support/test_support.h"

#include <cstddef>
#include <cstdint>

namespace kelmora {
namespace {

const QString kCodigo = QStringLiteral("123451234512345");

void unaRespuesta(const QString& cuerpo) {
    // Fresh for every input: nothing one answer leaves behind may hide what the next one does.
    testing::PrintBench bench({QStringLiteral("Cocina"), QStringLiteral("Bar"), QStringLiteral("Facturas")},
                              QStringLiteral("Facturas"));
    Conexion conexion(bench.config, bench.impresion);
    testing::LineaDeTiempoFalsa tiempo;
    testing::TemporizadorFalso reloj{tiempo};
    testing::TemporizadorFalso limiteConsulta{tiempo};
    testing::CargadorFalso loader;
    testing::VistaQueAnota vista;
    shell::CicloConsulta ciclo(
        shell::CicloConsulta::Partes{vista, loader, reloj, limiteConsulta,
                                     [&conexion](const Value& datos) { conexion.setComunicacion(datos); }},
        shell::urlConsulta(QStringLiteral("http://127.0.0.1:8080"), kCodigo));

    ciclo.iniciar();
    tiempo.avanzar(shell::limites::intervaloConsultaMs);  // the first tick polls
    loader.completar(cuerpo);

    // Every delivered document laid out as text, as a preview or a support copy would be.
    for (const auto& entregado : bench.printers.delivered()) {
        if (!entregado.isRaw) (void)platform::renderText(entregado.document, true);
    }
}

}  // namespace
}  // namespace kelmora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelmora::unaRespuesta(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
