// The cash drawer pulse.
#include "support/test_support.h"

#include "json/qt_printers.h"
#include "tickets/cajon.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

const QString kPulso = QStringLiteral("<raw 1b 70 00 3c f0>");

TEST(Cajon, ElPulsoVaSoloAFacturas) {
    PrintBench banco({QStringLiteral("Caja"), QStringLiteral("Facturas")});
    abrirCajonMonedero(banco.impresion);
    EXPECT_EQ(banco.documents(), QStringList{"Facturas\n" + kPulso});
    EXPECT_TRUE(banco.notifier.balloons.empty());
}

TEST(Cajon, SinFacturasElPulsoVaALaPredeterminada) {
    PrintBench banco({QStringLiteral("Cocina"), QStringLiteral("Caja")}, QStringLiteral("Caja"));
    abrirCajonMonedero(banco.impresion);
    EXPECT_EQ(banco.documents(), QStringList{"Caja\n" + kPulso});
}

TEST(Cajon, SiFallaFacturasDejaSuNotaEnLaPredeterminada) {
    PrintBench banco({QStringLiteral("Facturas"), QStringLiteral("Caja")}, QStringLiteral("Caja"));
    banco.printers.setOffline(QStringLiteral("Facturas"), true);
    abrirCajonMonedero(banco.impresion);
    EXPECT_EQ(banco.documents(), (QStringList{"Caja\nError en Impresora Caja\n", "Caja\n" + kPulso}));
    EXPECT_TRUE(banco.notifier.balloons.empty());
}

TEST(Cajon, NoSeEnviaNadaSiFallanAmbasImpresoras) {
    PrintBench banco({QStringLiteral("Facturas"), QStringLiteral("Caja")}, QStringLiteral("Caja"));
    banco.printers.setOffline(QStringLiteral("Facturas"), true);
    banco.printers.setOffline(QStringLiteral("Caja"), true);
    abrirCajonMonedero(banco.impresion);
    EXPECT_TRUE(banco.documents().isEmpty());
    ASSERT_EQ(banco.notifier.balloons.size(), 1u);
    EXPECT_EQ(banco.notifier.balloons.front().title, "Error al imprimir");
}

}  // namespace
}  // namespace kelmora::testing
