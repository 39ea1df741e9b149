// The cash drawer pulse.
#include "support/test_support.h"

#include "json/qt_printers.h"
#include "tickets/cajon.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

const QString kPulso = QStringLiteral("<raw 1b 70 00 3c f0>");

TEST(Cajon, ThePulseGoesToFacturasAlone) {
    PrintBench bench({QStringLiteral("Caja"), QStringLiteral("Facturas")});
    abrirCajonMonedero(bench.impresion);
    EXPECT_EQ(bench.documents(), QStringList{"Facturas\n" + kPulso});
    EXPECT_TRUE(bench.notifier.balloons.empty());
}

TEST(Cajon, WithoutFacturasThePulseGoesToTheDefaultPrinter) {
    PrintBench bench({QStringLiteral("Cocina"), QStringLiteral("Caja")}, QStringLiteral("Caja"));
    abrirCajonMonedero(bench.impresion);
    EXPECT_EQ(bench.documents(), QStringList{"Caja\n" + kPulso});
}

TEST(Cajon, AFailingFacturasLeavesItsNoteOnTheDefaultPrinter) {
    PrintBench bench({QStringLiteral("Facturas"), QStringLiteral("Caja")}, QStringLiteral("Caja"));
    bench.printers.setOffline(QStringLiteral("Facturas"), true);
    abrirCajonMonedero(bench.impresion);
    EXPECT_EQ(bench.documents(), (QStringList{"Caja\nError en Impresora Caja\n", "Caja\n" + kPulso}));
    EXPECT_TRUE(bench.notifier.balloons.empty());
}

TEST(Cajon, NothingIsSentWhenBothPrintersFail) {
    PrintBench bench({QStringLiteral("Facturas"), QStringLiteral("Caja")}, QStringLiteral("Caja"));
    bench.printers.setOffline(QStringLiteral("Facturas"), true);
    bench.printers.setOffline(QStringLiteral("Caja"), true);
    abrirCajonMonedero(bench.impresion);
    EXPECT_TRUE(bench.documents().isEmpty());
    ASSERT_EQ(bench.notifier.balloons.size(), 1u);
    EXPECT_EQ(bench.notifier.balloons.front().title, "Error al imprimir");
}

}  // namespace
}  // namespace kelmora::testing
