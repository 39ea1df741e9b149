// Settings lookups over the payload's settings list and the roll width they decide.
#include "support/test_support.h"

#include "json/runtime_error.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

class Configuracion : public ::testing::Test {
protected:
    PrintBench banco;
    const ConfigImpresion& imp = banco.config;
    void config(const char* json) { banco.config.actualizar(parseJson(QString::fromUtf8(json)).toCollection()); }
};

TEST_F(Configuracion, CuentaLaPrimeraEntradaDeCadaNombre) {
    config(R"([{"Nombre":"Tamaño de Factura","Descripcion":"rollo 55mm","Visible":"1"},
               {"Nombre":"Tamaño de Factura","Descripcion":"rollo 75mm","Visible":"1"},
               {"Nombre":"Servicio","Descripcion":10,"Visible":1}])");
    EXPECT_EQ(imp.anchoTicket(), 32);
    EXPECT_EQ(imp.leerConfig(QStringLiteral("Servicio")), "10");
    EXPECT_EQ(imp.leerConfig(QStringLiteral("servicio")), "");
    EXPECT_FALSE(imp.esRollo55());
}

TEST_F(Configuracion, LosDosNombresDelTamanoDePapelSonAjustesDistintos) {
    config(R"([{"Nombre":"Tamano de Factura","Descripcion":"rollo 55mm","Visible":"1"}])");
    EXPECT_TRUE(imp.esRollo55());
    EXPECT_EQ(imp.anchoTicket(), 40);
    config(R"([{"Nombre":"Tamano de Factura","Descripcion":"rollo 75mm"},
               {"Nombre":"Tamaño de Factura","Descripcion":"Rollo 55mm"}])");
    EXPECT_TRUE(imp.esRollo75());
    EXPECT_EQ(imp.anchoTicket(), 40);
    config(R"([{"Nombre":"Tamano de Factura","Descripcion":"Rollo 55mm"}])");
    EXPECT_FALSE(imp.esRollo55());
    EXPECT_FALSE(imp.esRollo75());
}

TEST_F(Configuracion, LosDocumentosVanAlRolloConCualquieraDeLosDosNombres) {
    const auto papelDeUnDocumento = [&] {
        banco.printers.select(0);
        Documento documento(banco.seleccion, banco.config, QStringLiteral("Comanda"));
        return banco.printers.current().pendingDocument().paperWidthMm;
    };
    EXPECT_EQ(papelDeUnDocumento(), 75);
    config(R"([{"Nombre":"Tamaño de Factura","Descripcion":"rollo 55mm"}])");
    EXPECT_EQ(papelDeUnDocumento(), 55);
    config(R"([{"Nombre":"Tamano de Factura","Descripcion":"rollo 55mm"}])");
    EXPECT_EQ(papelDeUnDocumento(), 55);
}

TEST_F(Configuracion, VisibleEsElTextoOElNumeroUno) {
    config(R"([{"Nombre":"A","Visible":1}, {"Nombre":"B","Visible":"1"}, {"Nombre":"C","Visible":0},
               {"Nombre":"D","Visible":"si"}, {"Nombre":"E"}, {"Nombre":"F","Visible":null},
               {"Nombre":"G","Visible":"0"}, {"Nombre":"G","Visible":"1"}])");
    const QList<std::pair<const char*, bool>> casos{{"A", true},  {"B", true},  {"C", false}, {"D", false},
                                                    {"E", false}, {"F", false}, {"G", false}, {"Z", false}};
    for (const auto& [nombre, visible] : casos) EXPECT_EQ(imp.configVisible(QString::fromUtf8(nombre)), visible) << nombre;
}

// A setting the server sends without a value would otherwise fail every invoice of the branch.
TEST_F(Configuracion, UnValorNuloSeLeeVacio) {
    config(R"([{"Nombre":"Pie de Factura","Descripcion":null},{"Nombre":"Pie de Factura","Descripcion":"otro"}])");
    EXPECT_EQ(imp.leerConfig(QStringLiteral("Pie de Factura")), QString());
    config(R"([{"Nombre":"Pie de Factura","Descripcion":{"a":1}}])");
    EXPECT_THROW(imp.leerConfig(QStringLiteral("Pie de Factura")), RuntimeError);
}

}  // namespace
}  // namespace kelmora::testing
