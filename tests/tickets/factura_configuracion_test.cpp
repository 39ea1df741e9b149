#include "factura_pruebas.h"

namespace kelmora::testing {
namespace {

ConfigFactura cargar(const QList<std::pair<QString, QString>>& ajustes,
                     const QLocale& region = QLocale(QLocale::English, QLocale::UnitedStates)) {
    PrintBench banco({QStringLiteral("Facturas")}, {}, region);
    banco.setSettings(ajustes);
    return cargarConfigFactura(banco.config);
}

qint16 servicio(const QString& valor, const QLocale& region = QLocale(QLocale::English, QLocale::UnitedStates)) {
    return cargar({{QStringLiteral("Servicio"), valor}}, region).servicio;
}

TEST(ConfigFactura, ValoresPorDefectoYRecarga) {
    const ConfigFactura vacia = cargar({});
    EXPECT_EQ(vacia.nombreFacturaCerrada, u"Boleto Fiscal");
    EXPECT_EQ(vacia.tituloVendedor, u"Mesero");
    EXPECT_EQ(vacia.conceptoDomicilio, u"Domicilio");
    EXPECT_FALSE(vacia.imprimeHoraFactura || vacia.aplicaPropina || vacia.resaltarTotal);
    EXPECT_EQ(vacia.servicio, 0);
    // The regime is compared upper-cased; only an empty title takes a default.
    EXPECT_EQ(cargar({{QStringLiteral("Regimen"), QStringLiteral("comun")}}).nombreFacturaCerrada, u"Factura");
    EXPECT_EQ(cargar({{QStringLiteral("Titulo del Vendedor"), QStringLiteral(" ")}}).tituloVendedor, u" ");

    PrintBench banco;
    banco.setSettings({{QStringLiteral("Hora Factura"), QStringLiteral("1")}});
    EXPECT_TRUE(cargarConfigFactura(banco.config).imprimeHoraFactura);
    banco.setSettings({});
    EXPECT_FALSE(cargarConfigFactura(banco.config).imprimeHoraFactura);
}

TEST(ConfigFactura, InterruptoresSoloConSuValorExacto) {
    EXPECT_TRUE(cargar({{QStringLiteral("Propina"), QStringLiteral("Aplica")}}).aplicaPropina);
    EXPECT_FALSE(cargar({{QStringLiteral("Propina"), QStringLiteral("aplica")}}).aplicaPropina);
    EXPECT_FALSE(cargar({{QStringLiteral("Hora Factura"), QStringLiteral("True")}}).imprimeHoraFactura);
    EXPECT_FALSE(cargar({{QStringLiteral("Hora Factura"), QStringLiteral(" 1")}}).imprimeHoraFactura);
}

TEST(ConfigFactura, ServicioRedondeaAlParYSeDesborda) {
    EXPECT_EQ(servicio(QStringLiteral("2.5")), 2);
    EXPECT_EQ(servicio(QStringLiteral("3.5")), 4);
    EXPECT_EQ(servicio(QStringLiteral("diez")), 0);
    EXPECT_EQ(servicio(QString()), 0);
    EXPECT_EQ(servicio(QStringLiteral("1,000")), 0);  // no grouping in a number
    const QLocale colombia(QLocale::Spanish, QLocale::Colombia);
    EXPECT_EQ(servicio(QStringLiteral("2,5"), colombia), 2);
    EXPECT_EQ(servicio(QStringLiteral("3,5"), colombia), 4);
    EXPECT_EQ(servicio(QStringLiteral("2.5"), colombia), 0);

    PrintBench banco;
    banco.setSettings({{QStringLiteral("Servicio"), QStringLiteral("40000")}});
    EXPECT_EQ(errorDe([&] { cargarConfigFactura(banco.config); }), errors::overflow);
}

}  // namespace
}  // namespace kelmora::testing
