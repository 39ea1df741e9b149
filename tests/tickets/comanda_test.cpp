// The kitchen order ticket through the text printer.
#include "support/test_support.h"

#include "json/qt_printers.h"
#include "tickets/comanda.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

const QStringList kImpresoras{QStringLiteral("Facturas"), QStringLiteral("Cocina"), QStringLiteral("Bar")};

// Every delivered document as "== DEVICE" and its text, with font states.
QString entregado(const PrintBench& bench) {
    QString out;
    for (const QString& documento : bench.documents(true)) out += QStringLiteral("== ") + documento;
    return out;
}

class Comanda : public ::testing::Test {
protected:
    PrintBench bench{kImpresoras};

    // Prints the `comanda` list of a payload whose `config` becomes the settings.
    void imprime(const QString& json) {
        const Value payload = parseJson(json);
        bench.config.actualizar(payload[u"config"].toCollection());
        imprimirComandas(bench.impresion, payload[u"comanda"].toCollection());
    }
    void imprimeLista(const QString& comandas, const QString& config = QStringLiteral("[]")) {
        imprime(QStringLiteral(R"({"config": %1, "comanda": %2})").arg(config, comandas));
    }
    QStringList titulos() const {
        QStringList out;
        for (const Balloon& b : bench.notifier.balloons) out << b.title + u'|' + b.text;
        return out;
    }
};

TEST_F(Comanda, WithValuesOnA75mmRoll) {
    imprime(readDataFile(QStringLiteral("tickets/comanda_valores_75.json")));
    EXPECT_EQ(entregado(bench), readDataFile(QStringLiteral("tickets/comanda_valores_75.txt")));
    ASSERT_EQ(bench.notifier.balloons.size(), 1u);
    const Balloon& b = bench.notifier.balloons.front();
    EXPECT_EQ(b.text, "Comanda enviada a Cocina");
    EXPECT_EQ(b.icon, platform::BalloonIcon::Information);
    EXPECT_EQ(b.title, "Impresion de comanda");
    EXPECT_EQ(b.timeoutMs, 30000);
}

TEST_F(Comanda, WithoutValuesOnA55mmRoll) {
    imprime(readDataFile(QStringLiteral("tickets/comanda_55.json")));
    EXPECT_EQ(entregado(bench), readDataFile(QStringLiteral("tickets/comanda_55.txt")));
}

TEST_F(Comanda, AreasNNOrEmptyPrintNothing) {
    imprimeLista(QStringLiteral(R"([{"area": "NN", "nomMesa": "Mesa 1"}, {"area": "", "nomMesa": "Mesa 2"},
                                    {"nomMesa": "Mesa 3"}])"));
    EXPECT_TRUE(bench.documents().isEmpty());
    EXPECT_TRUE(bench.notifier.balloons.empty());
}

TEST_F(Comanda, AnEmptyTitleStillPrintsItsRule) {
    imprimeLista(QStringLiteral(R"([{"area": "Bar", "titulo": "", "nomMesa": "Mesa 9", "productos": []}])"));
    const QStringList lineas = bench.onlyDocument().split(u'\n');
    EXPECT_EQ(lineas.mid(0, 3), (QStringList{QString(37, u'='), QString(17, u' ') + "BAR", QString(37, u'=')}));
}

TEST_F(Comanda, EachTicketTotalsItsOwnProducts) {
    const QString producto = QStringLiteral(R"({"nombre": "Tinto", "cantidad": 1, "valor": %1, "detalle": []})");
    imprimeLista(QStringLiteral(R"([{"area": "Bar", "nomMesa": "Mesa 1", "productos": [%1, %2]},
                                    {"area": "Cocina", "nomMesa": "Mesa 2", "productos": [%3]}])")
                     .arg(producto.arg(2500), producto.arg("1200.25"), producto.arg(4000)),
                 QStringLiteral(R"([{"Nombre": "Valores En Comanda", "Descripcion": 1}])"));
    const QStringList documentos = bench.documents();
    ASSERT_EQ(documentos.size(), 2);
    EXPECT_TRUE(documentos[0].contains("\nTOTAL 3700.25\n")) << documentos[0].toStdString();
    EXPECT_TRUE(documentos[1].contains("\nTOTAL 4000\n")) << documentos[1].toStdString();
}

TEST_F(Comanda, ARunTimeErrorStopsTheListInAWarningBalloon) {
    imprimeLista(QStringLiteral(R"([{"area": "Bar", "nomMesa": "Mesa 1", "productos": []},
                                    {"area": "Cocina", "nomMesa": "Mesa 2",
                                     "productos": [{"nombre": "Arepa", "cantidad": "dos", "detalle": []}]},
                                    {"area": "Bar", "nomMesa": "Mesa 3", "productos": []}])"));
    EXPECT_EQ(bench.documents().size(), 1);  // the second is abandoned, the third never started
    EXPECT_EQ(titulos(), (QStringList{"Impresion de comanda|Comanda enviada a Bar", "Comanda|No coinciden los tipos"}));
    EXPECT_EQ(bench.notifier.balloons.back().icon, platform::BalloonIcon::Warning);
    EXPECT_TRUE(bench.printers.current().pendingDocument().rows.isEmpty());
}

TEST_F(Comanda, NothingHappensWithoutPrinters) {
    PrintBench sinImpresoras{QStringList{}};
    imprimirComandas(sinImpresoras.impresion,
                     parseJson(QStringLiteral(R"([{"area": "Bar", "nomMesa": "Mesa 1"}])")).toCollection());
    EXPECT_TRUE(sinImpresoras.documents().isEmpty());
    EXPECT_TRUE(sinImpresoras.notifier.balloons.empty());
}

}  // namespace
}  // namespace kelmora::testing
