// The kitchen order ticket through the text printer.
#include "support/test_support.h"

#include "json/qt_printers.h"
#include "tickets/comanda.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

const QStringList kImpresoras{QStringLiteral("Facturas"), QStringLiteral("Cocina"), QStringLiteral("Bar")};

// Every delivered document as "== DEVICE" and its text, with font states.
QString entregado(const PrintBench& banco) {
    QString texto;
    for (const QString& documento : banco.documents(true)) texto += QStringLiteral("== ") + documento;
    return texto;
}

class Comanda : public ::testing::Test {
protected:
    PrintBench banco{kImpresoras};

    // Prints the `comanda` list of a payload whose `config` becomes the settings.
    void imprime(const QString& json) {
        const Value datos = parseJson(json);
        banco.config.actualizar(datos[u"config"].toCollection());
        imprimirComandas(banco.impresion, datos[u"comanda"].toCollection());
    }
    void imprimeLista(const QString& comandas, const QString& config = QStringLiteral("[]")) {
        imprime(QStringLiteral(R"({"config": %1, "comanda": %2})").arg(config, comandas));
    }
    QStringList titulos() const {
        QStringList lista;
        for (const Balloon& b : banco.notifier.balloons) lista << b.title + u'|' + b.text;
        return lista;
    }
};

TEST_F(Comanda, ConValoresEnRolloDe75mm) {
    imprime(readDataFile(QStringLiteral("tickets/comanda_valores_75.json")));
    EXPECT_EQ(entregado(banco), readDataFile(QStringLiteral("tickets/comanda_valores_75.txt")));
    ASSERT_EQ(banco.notifier.balloons.size(), 1u);
    const Balloon& b = banco.notifier.balloons.front();
    EXPECT_EQ(b.text, "Comanda enviada a Cocina");
    EXPECT_EQ(b.icon, platform::BalloonIcon::Information);
    EXPECT_EQ(b.title, "Impresion de comanda");
    EXPECT_EQ(b.timeoutMs, 30000);
}

TEST_F(Comanda, SinValoresEnRolloDe55mm) {
    imprime(readDataFile(QStringLiteral("tickets/comanda_55.json")));
    EXPECT_EQ(entregado(banco), readDataFile(QStringLiteral("tickets/comanda_55.txt")));
}

TEST_F(Comanda, LasAreasNNOVaciasNoImprimen) {
    imprimeLista(QStringLiteral(R"([{"area": "NN", "nomMesa": "Mesa 1"}, {"area": "", "nomMesa": "Mesa 2"},
                                    {"nomMesa": "Mesa 3"}])"));
    EXPECT_TRUE(banco.documents().isEmpty());
    EXPECT_TRUE(banco.notifier.balloons.empty());
}

TEST_F(Comanda, UnTituloVacioAunImprimeSuRegla) {
    imprimeLista(QStringLiteral(R"([{"area": "Bar", "titulo": "", "nomMesa": "Mesa 9", "productos": []}])"));
    const QStringList lineas = banco.onlyDocument().split(u'\n');
    EXPECT_EQ(lineas.mid(0, 3), (QStringList{QString(37, u'='), QString(17, u' ') + "BAR", QString(37, u'=')}));
}

TEST_F(Comanda, CadaComandaSumaSusPropiosProductos) {
    const QString producto = QStringLiteral(R"({"nombre": "Tinto", "cantidad": 1, "valor": %1, "detalle": []})");
    imprimeLista(QStringLiteral(R"([{"area": "Bar", "nomMesa": "Mesa 1", "productos": [%1, %2]},
                                    {"area": "Cocina", "nomMesa": "Mesa 2", "productos": [%3]}])")
                     .arg(producto.arg(2500), producto.arg("1200.25"), producto.arg(4000)),
                 QStringLiteral(R"([{"Nombre": "Valores En Comanda", "Descripcion": 1}])"));
    const QStringList documentos = banco.documents();
    ASSERT_EQ(documentos.size(), 2);
    EXPECT_TRUE(documentos[0].contains("\nTOTAL 3700.25\n")) << documentos[0].toStdString();
    EXPECT_TRUE(documentos[1].contains("\nTOTAL 4000\n")) << documentos[1].toStdString();
}

TEST_F(Comanda, UnErrorDeEjecucionDetieneLaListaConUnGloboDeAdvertencia) {
    imprimeLista(QStringLiteral(R"([{"area": "Bar", "nomMesa": "Mesa 1", "productos": []},
                                    {"area": "Cocina", "nomMesa": "Mesa 2",
                                     "productos": [{"nombre": "Arepa", "cantidad": "dos", "detalle": []}]},
                                    {"area": "Bar", "nomMesa": "Mesa 3", "productos": []}])"));
    EXPECT_EQ(banco.documents().size(), 1);  // the second is abandoned, the third never started
    EXPECT_EQ(titulos(), (QStringList{"Impresion de comanda|Comanda enviada a Bar", "Comanda|No coinciden los tipos"}));
    EXPECT_EQ(banco.notifier.balloons.back().icon, platform::BalloonIcon::Warning);
    EXPECT_TRUE(banco.printers.current().pendingDocument().rows.isEmpty());
}

TEST_F(Comanda, SinImpresorasNoPasaNada) {
    PrintBench sinImpresoras{QStringList{}};
    imprimirComandas(sinImpresoras.impresion,
                     parseJson(QStringLiteral(R"([{"area": "Bar", "nomMesa": "Mesa 1"}])")).toCollection());
    EXPECT_TRUE(sinImpresoras.documents().isEmpty());
    EXPECT_TRUE(sinImpresoras.notifier.balloons.empty());
}

}  // namespace
}  // namespace kelmora::testing
