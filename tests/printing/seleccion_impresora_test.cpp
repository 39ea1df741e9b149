// Printer selection by device name, the probe, and the fallback to the default printer.
#include "support/test_support.h"

#include "json/runtime_error.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

const QStringList kImpresoras{QStringLiteral("Facturas"), QStringLiteral("COCINA"), QStringLiteral("Bar")};

// Selects `nombre` as a ticket does and prints one line of the ticket on whatever was selected.
bool imprimeEn(PrintBench& bench, const QString& nombre) {
    SeleccionImpresora& seleccion = bench.seleccion;
    if (!seleccion.seleccionarImpresora(seleccion.indiceImpresora(nombre), false)) return false;
    seleccion.impresora().printLine(QStringLiteral("1 TINTO"));
    seleccion.impresora().endDoc();
    return true;
}

TEST(SeleccionImpresora, NamesMatchTrimmedAndInCapitals) {
    PrintBench bench(kImpresoras, QStringLiteral("Bar"));
    EXPECT_EQ(bench.seleccion.impresoraPredeterminada(), "Bar");
    EXPECT_EQ(bench.seleccion.indiceImpresora(QStringLiteral("  cocina ")), 1);
    EXPECT_EQ(bench.seleccion.indiceImpresora(QStringLiteral("Parrilla")), 2);  // the default printer's
}

TEST(SeleccionImpresora, TheDefaultPrinterIsFoundByItsWholeName) {
    // A queue name may hold a comma: the fallback must find the default printer all the same.
    PrintBench bench({QStringLiteral("Facturas"), QStringLiteral("Caja,Barra")}, QStringLiteral("Caja,Barra"));
    EXPECT_EQ(bench.seleccion.impresoraPredeterminada(), "Caja,Barra");
    EXPECT_EQ(bench.seleccion.indiceImpresora(QStringLiteral("Parrilla")), 1);
}

TEST(SeleccionImpresora, TheProbeLeavesNoTrace) {
    PrintBench bench(kImpresoras);
    ASSERT_TRUE(imprimeEn(bench, QStringLiteral("cocina")));
    EXPECT_EQ(bench.documents(), QStringList{"COCINA\n1 TINTO\n"});
    EXPECT_TRUE(bench.notifier.balloons.empty());
}

TEST(SeleccionImpresora, AMissingPrinterFallsBackWithoutANote) {
    PrintBench bench(kImpresoras, QStringLiteral("Bar"));
    ASSERT_TRUE(imprimeEn(bench, QStringLiteral("Parrilla")));
    EXPECT_EQ(bench.documents(), QStringList{"Bar\n1 TINTO\n"});
    EXPECT_TRUE(bench.notifier.balloons.empty());
}

TEST(SeleccionImpresora, AFailingPrinterFallsBackUnderANote) {
    PrintBench bench(kImpresoras, QStringLiteral("Bar"));
    bench.printers.setOffline(QStringLiteral("COCINA"), true);
    ASSERT_TRUE(imprimeEn(bench, QStringLiteral("Cocina")));
    EXPECT_EQ(bench.documents(), QStringList{"Bar\nError en Impresora Bar\n1 TINTO\n"});
    EXPECT_TRUE(bench.notifier.balloons.empty());
}

TEST(SeleccionImpresora, WhenTheDefaultFailsTooABalloonNamesIt) {
    PrintBench bench(kImpresoras, QStringLiteral("Bar"));
    bench.printers.setOffline(QStringLiteral("COCINA"), true);
    bench.printers.setOffline(QStringLiteral("Bar"), true);
    EXPECT_FALSE(imprimeEn(bench, QStringLiteral("Cocina")));
    EXPECT_TRUE(bench.documents().isEmpty());
    ASSERT_EQ(bench.notifier.balloons.size(), 1u);
    const Balloon& b = bench.notifier.balloons.front();
    EXPECT_EQ(b.text, "Error al imprimir, La impresora Bar no esta disponible. \r\n"
                      "La impresora Bar está fuera de línea La impresora Bar está fuera de línea");
    EXPECT_EQ(b.icon, platform::BalloonIcon::Error);
    EXPECT_EQ(b.title, "Error al imprimir");
    EXPECT_EQ(b.timeoutMs, 30000);
}

TEST(SeleccionImpresora, NoMatchingPrinterAtAllFailsWithTheBalloon) {
    PrintBench bench(kImpresoras, QStringLiteral("Oficina"));
    EXPECT_EQ(bench.seleccion.indiceImpresora(QStringLiteral("Parrilla")), SeleccionImpresora::kSinImpresora);
    EXPECT_FALSE(imprimeEn(bench, QStringLiteral("Parrilla")));
    ASSERT_EQ(bench.notifier.balloons.size(), 1u);
    EXPECT_TRUE(bench.notifier.balloons.front().text.startsWith("Error al imprimir, La impresora Oficina no esta"));
}

TEST(SeleccionImpresora, AnIndexOutsideTheListIsNotAFailedProbe) {
    PrintBench bench(kImpresoras);
    EXPECT_THROW(bench.seleccion.seleccionarImpresora(3, false), RuntimeError);
    EXPECT_TRUE(bench.notifier.balloons.empty());
}

}  // namespace
}  // namespace kelmora::testing
