// The cancellation ticket through the text printer.
#include "support/test_support.h"

#include "json/qt_printers.h"
#include "json/runtime_error.h"
#include "tickets/anulacion.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

const QStringList kImpresoras{QStringLiteral("Facturas"), QStringLiteral("Cocina"), QStringLiteral("Bar")};

TEST(Anulacion, EncabezadoProductosYHoraDeImpresion) {
    PrintBench banco(kImpresoras);
    imprimirAnulaciones(banco.impresion,
                        parseJson(readDataFile(QStringLiteral("tickets/anulaciones.json"))).toCollection());
    QString entregado;
    for (const QString& documento : banco.documents(true)) entregado += QStringLiteral("== ") + documento;
    EXPECT_EQ(entregado, readDataFile(QStringLiteral("tickets/anulaciones.txt")));
    ASSERT_EQ(banco.notifier.balloons.size(), 2u);
    EXPECT_EQ(banco.notifier.balloons[0].text, "Comanda enviada a Facturas");  // "NN" goes to the default printer
    EXPECT_EQ(banco.notifier.balloons[1].text, "Comanda enviada a Bar");
    EXPECT_EQ(banco.notifier.balloons[1].title, "Impresion de comanda");
    EXPECT_EQ(banco.notifier.balloons[1].icon, platform::BalloonIcon::Information);
}

TEST(Anulacion, UnErrorDeEjecucionSaleDeLaLlamadaYAbandonaElTiquete) {
    PrintBench banco(kImpresoras);
    const Collection anulaciones = parseJson(QStringLiteral(R"([{"area": "Cocina", "nomMesa": "Mesa 1", "productos": []},
                                                               {"area": "Bar", "nomMesa": "Mesa 2"},
                                                               {"area": "Cocina", "nomMesa": "Mesa 3", "productos": []}])"))
                                       .toCollection();
    EXPECT_THROW(imprimirAnulaciones(banco.impresion, anulaciones), RuntimeError);
    EXPECT_EQ(banco.documents().size(), 1);
    EXPECT_EQ(banco.notifier.balloons.size(), 1u);
    EXPECT_TRUE(banco.printers.current().pendingDocument().rows.isEmpty());
}

TEST(Anulacion, SinImpresorasNoPasaNada) {
    PrintBench banco{QStringList{}};
    imprimirAnulaciones(banco.impresion, parseJson(QStringLiteral(R"([{"area": "Bar"}])")).toCollection());
    EXPECT_TRUE(banco.documents().isEmpty());
    EXPECT_TRUE(banco.notifier.balloons.empty());
}

}  // namespace
}  // namespace kelmora::testing
