// The print-job dispatcher over whole poll answers.
#include "support/test_support.h"

#include "json/qt_printers.h"
#include "json/runtime_error.h"
#include "shell/despachador.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

class Despacho : public ::testing::Test {
protected:
    PrintBench banco{{QStringLiteral("Facturas"), QStringLiteral("Cocina"), QStringLiteral("Bar")}};
    shell::Despachador despachador{banco.config, banco.impresion};

    // An answer of the data files, dispatched with the text it came in.
    void despachaArchivo(const QString& archivo) {
        const QString json = readDataFile(QStringLiteral("answers/") + archivo).mid(5);
        despachador.setComunicacion(parseJson(json), json);
    }
    void despacha(const QString& json) { despachador.setComunicacion(parseJson(json), json); }
    // What came out, in order: the kind of each document, "raw" for the drawer pulse.
    QStringList salidas() const {
        QStringList lista;
        for (const auto& d : banco.printers.delivered()) lista << (d.isRaw ? QStringLiteral("raw") : d.document.kind);
        return lista;
    }
};

TEST_F(Despacho, ComandasLuegoFacturasLuegoElCajon) {
    despachaArchivo(QStringLiteral("turno_completo.txt"));
    const QStringList lista = salidas();
    ASSERT_GE(lista.size(), 4);
    EXPECT_EQ(lista.mid(0, 3), (QStringList{"Comanda", "Comanda", "Anulacion"}));
    EXPECT_EQ(lista.last(), "raw");
    // Whatever the invoices print comes between the cancellation and the drawer, one per invoice
    // in list order.
    const auto& entregado = banco.printers.delivered();
    QStringList mesas;
    for (size_t i = 3; i + 1 < entregado.size(); ++i) {
        const QString texto = platform::renderText(entregado[i].document, false);
        for (const char* mesa : {"Mesa 7", "Mesa 8", "Mesa 9"}) {
            if (texto.contains(QString::fromUtf8(mesa), Qt::CaseInsensitive)) mesas << QString::fromUtf8(mesa);
        }
    }
    if (entregado.size() > 4) {
        EXPECT_EQ(mesas, (QStringList{"Mesa 7", "Mesa 8", "Mesa 9"}));
    }
    EXPECT_EQ(despachador.listaIdsLeidos.Count(), 4);
    EXPECT_EQ(banco.config.leerConfig(QStringLiteral("Nombre Establecimiento")), "Restaurante El Fogón");
}

TEST_F(Despacho, SinIdsLeidosNoSeImprimeNadaPeroSeReemplazanLasListas) {
    despacha(QStringLiteral(R"({"config": [], "comanda": [], "anulaciones": [], "factura": [], "idsLeidos": [5]})"));
    Value todo = parseJson(readDataFile(QStringLiteral("answers/comandas_y_cajon.txt")).mid(5));
    Dictionary sinIds;
    for (const auto& [clave, valor] : todo.toDictionary().members()) {
        sinIds.add(clave, clave == u"idsLeidos" ? Value(Collection()) : valor);
    }
    despachador.setComunicacion(sinIds, {});
    EXPECT_TRUE(salidas().isEmpty());
    EXPECT_TRUE(banco.notifier.balloons.empty());
    EXPECT_EQ(despachador.listaIdsLeidos.Count(), 0);
    EXPECT_EQ(banco.config.leerConfig(QStringLiteral("Valores En Comanda")), "1");
}

TEST_F(Despacho, ListasVaciasNoImprimenYElCajonPuedeAbrirseSolo) {
    despacha(QStringLiteral(
        R"({"config": [], "comanda": [], "anulaciones": [], "factura": [], "abrirCajon": false, "idsLeidos": [5]})"));
    EXPECT_TRUE(salidas().isEmpty());
    EXPECT_TRUE(banco.notifier.balloons.empty());
    despacha(QStringLiteral(
        R"({"config": [], "comanda": [], "anulaciones": [], "factura": [], "abrirCajon": 1, "idsLeidos": [6]})"));
    EXPECT_EQ(salidas(), QStringList{"raw"});
}

TEST_F(Despacho, UnaBanderaDeCajonNulaFallaDespuesDeGuardarLosAjustes) {
    despacha(QStringLiteral(R"({"config": [], "comanda": [], "anulaciones": [], "factura": [], "idsLeidos": [5]})"));
    EXPECT_THROW(despacha(QStringLiteral(R"({"config": [{"Nombre": "Servicio", "Descripcion": "10"}],
        "comanda": [{"area": "Cocina", "nomMesa": "Mesa 1", "productos": []}], "anulaciones": [], "factura": [],
        "abrirCajon": null, "idsLeidos": [6, 7]})")),
                 RuntimeError);
    EXPECT_TRUE(salidas().isEmpty());
    EXPECT_EQ(banco.config.leerConfig(QStringLiteral("Servicio")), "10");
    EXPECT_EQ(despachador.listaIdsLeidos.Count(), 1);
}

TEST_F(Despacho, UnaListaAusenteODeOtroTipoHaceFallarElDespacho) {
    EXPECT_THROW(despacha(QStringLiteral(R"({"config": [], "comanda": [], "anulaciones": [], "idsLeidos": [5]})")),
                 RuntimeError);
    EXPECT_THROW(despacha(QStringLiteral(
                     R"({"config": [], "comanda": "", "anulaciones": [], "factura": [], "idsLeidos": [5]})")),
                 RuntimeError);
    EXPECT_THROW(despacha(QStringLiteral(
                     R"({"config": [], "comanda": [], "anulaciones": [], "factura": [], "idsLeidos": 5})")),
                 RuntimeError);
    EXPECT_TRUE(salidas().isEmpty());
}

TEST_F(Despacho, UnaAnulacionFallidaTerminaElDespachoAntesDelCajon) {
    EXPECT_THROW(despachaArchivo(QStringLiteral("anulacion_sin_productos.txt")), RuntimeError);
    EXPECT_EQ(salidas(), (QStringList{"Comanda", "Anulacion"}));
}

}  // namespace
}  // namespace kelmora::testing
