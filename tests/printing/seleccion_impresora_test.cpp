// Printer selection by device name, the probe, and the fallback to the default printer.
#include "support/test_support.h"

#include "json/runtime_error.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

const QStringList kImpresoras{QStringLiteral("Facturas"), QStringLiteral("COCINA"), QStringLiteral("Bar")};

// Selects `nombre` as a ticket does and prints one line of the ticket on whatever was selected.
bool imprimeEn(PrintBench& banco, const QString& nombre) {
    SeleccionImpresora& seleccion = banco.seleccion;
    if (!seleccion.seleccionarImpresora(seleccion.indiceImpresora(nombre), false)) return false;
    seleccion.impresora().printLine(QStringLiteral("1 TINTO"));
    seleccion.impresora().endDoc();
    return true;
}

TEST(SeleccionImpresora, LosNombresCoincidenSinBlancosYEnMayusculas) {
    PrintBench banco(kImpresoras, QStringLiteral("Bar"));
    EXPECT_EQ(banco.seleccion.impresoraPredeterminada(), "Bar");
    EXPECT_EQ(banco.seleccion.indiceImpresora(QStringLiteral("  cocina ")), 1);
    EXPECT_EQ(banco.seleccion.indiceImpresora(QStringLiteral("Parrilla")), 2);  // the default printer's
}

TEST(SeleccionImpresora, LaPredeterminadaSeEncuentraPorSuNombreCompleto) {
    // A queue name may hold a comma: the fallback must find the default printer all the same.
    PrintBench banco({QStringLiteral("Facturas"), QStringLiteral("Caja,Barra")}, QStringLiteral("Caja,Barra"));
    EXPECT_EQ(banco.seleccion.impresoraPredeterminada(), "Caja,Barra");
    EXPECT_EQ(banco.seleccion.indiceImpresora(QStringLiteral("Parrilla")), 1);
}

TEST(SeleccionImpresora, LaPruebaNoDejaRastro) {
    PrintBench banco(kImpresoras);
    ASSERT_TRUE(imprimeEn(banco, QStringLiteral("cocina")));
    EXPECT_EQ(banco.documents(), QStringList{"COCINA\n1 TINTO\n"});
    EXPECT_TRUE(banco.notifier.balloons.empty());
}

TEST(SeleccionImpresora, SinLaImpresoraPedidaVaALaPredeterminadaSinNota) {
    PrintBench banco(kImpresoras, QStringLiteral("Bar"));
    ASSERT_TRUE(imprimeEn(banco, QStringLiteral("Parrilla")));
    EXPECT_EQ(banco.documents(), QStringList{"Bar\n1 TINTO\n"});
    EXPECT_TRUE(banco.notifier.balloons.empty());
}

TEST(SeleccionImpresora, SiLaImpresoraFallaVaALaPredeterminadaConNota) {
    PrintBench banco(kImpresoras, QStringLiteral("Bar"));
    banco.printers.setOffline(QStringLiteral("COCINA"), true);
    ASSERT_TRUE(imprimeEn(banco, QStringLiteral("Cocina")));
    EXPECT_EQ(banco.documents(), QStringList{"Bar\nError en Impresora Bar\n1 TINTO\n"});
    EXPECT_TRUE(banco.notifier.balloons.empty());
}

TEST(SeleccionImpresora, SiTambienFallaLaPredeterminadaUnGloboLaNombra) {
    PrintBench banco(kImpresoras, QStringLiteral("Bar"));
    banco.printers.setOffline(QStringLiteral("COCINA"), true);
    banco.printers.setOffline(QStringLiteral("Bar"), true);
    EXPECT_FALSE(imprimeEn(banco, QStringLiteral("Cocina")));
    EXPECT_TRUE(banco.documents().isEmpty());
    ASSERT_EQ(banco.notifier.balloons.size(), 1u);
    const Balloon& b = banco.notifier.balloons.front();
    EXPECT_EQ(b.text, "Error al imprimir, La impresora Bar no esta disponible. \r\n"
                      "La impresora Bar está fuera de línea La impresora Bar está fuera de línea");
    EXPECT_EQ(b.icon, platform::BalloonIcon::Error);
    EXPECT_EQ(b.title, "Error al imprimir");
    EXPECT_EQ(b.timeoutMs, 30000);
}

TEST(SeleccionImpresora, SinNingunaImpresoraQueCoincidaFallaConElGlobo) {
    PrintBench banco(kImpresoras, QStringLiteral("Oficina"));
    EXPECT_EQ(banco.seleccion.indiceImpresora(QStringLiteral("Parrilla")), SeleccionImpresora::kSinImpresora);
    EXPECT_FALSE(imprimeEn(banco, QStringLiteral("Parrilla")));
    ASSERT_EQ(banco.notifier.balloons.size(), 1u);
    EXPECT_TRUE(banco.notifier.balloons.front().text.startsWith("Error al imprimir, La impresora Oficina no esta"));
}

TEST(SeleccionImpresora, UnIndiceFueraDeLaListaNoEsUnaPruebaFallida) {
    PrintBench banco(kImpresoras);
    EXPECT_THROW(banco.seleccion.seleccionarImpresora(3, false), RuntimeError);
    EXPECT_TRUE(banco.notifier.balloons.empty());
}

}  // namespace
}  // namespace kelmora::testing
