#include "factura_pruebas.h"

namespace kelmora::testing {
namespace {

ConfigFactura cargar(const QList<std::pair<QString, QString>>& ajustes,
                     const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates)) {
    PrintBench bench({QStringLiteral("Facturas")}, {}, locale);
    bench.setSettings(ajustes);
    cargarConfigFactura(bench.imprimir);
    return bench.imprimir.configFactura;
}

qint16 servicio(const QString& valor, const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates)) {
    return cargar({{QStringLiteral("Servicio"), valor}}, locale).servicio;
}

TEST(ConfigFactura, CadaCampoDeSuAjuste) {
    const ConfigFactura c = cargar({
        {QStringLiteral("Nombre Representante Legal"), QStringLiteral("a")},
        {QStringLiteral("Apellido 1 Representante Legal"), QStringLiteral("b")},
        {QStringLiteral("Apellido 2 Representante Legal"), QStringLiteral("c")},
        {QStringLiteral("Nombre Establecimiento"), QStringLiteral("d")},
        {QStringLiteral("Actividad Economica"), QStringLiteral("e")},
        {QStringLiteral("Codigo Actividad Economica"), QStringLiteral("f")},
        {QStringLiteral("Tipo Identificacion"), QStringLiteral("g")},
        {QStringLiteral("Numero Identificacion"), QStringLiteral("h")},
        {QStringLiteral("Direccion"), QStringLiteral("i")},
        {QStringLiteral("Telefono 1"), QStringLiteral("j")},
        {QStringLiteral("Regimen"), QStringLiteral("k")},
        {QStringLiteral("Resolucion Dian Facturacion"), QStringLiteral("l")},
        {QStringLiteral("Resolucion Dian Fecha"), QStringLiteral("m")},
        {QStringLiteral("Factura Prefijo"), QStringLiteral("n")},
        {QStringLiteral("Factura Inicial"), QStringLiteral("o")},
        {QStringLiteral("Factura Final"), QStringLiteral("p")},
        {QStringLiteral("Encabezado de Factura"), QStringLiteral("q")},
        {QStringLiteral("Pie de Factura"), QStringLiteral("r")},
        {QStringLiteral("Nombre factura cerrada"), QStringLiteral("s")},
        {QStringLiteral("Titulo del Vendedor"), QStringLiteral("t")},
        {QStringLiteral("Concepto Domicilio"), QStringLiteral("u")},
        {QStringLiteral("Hora Factura"), QStringLiteral("1")},
        {QStringLiteral("Permanencia Factura"), QStringLiteral("1")},
        {QStringLiteral("Personas Factura"), QStringLiteral("1")},
        {QStringLiteral("Nombre Mesero Factura"), QStringLiteral("1")},
        {QStringLiteral("Imprimie Espacio Cliente Cuenta"), QStringLiteral("1")},
        {QStringLiteral("Imprimie Leyenda Propina Cuenta"), QStringLiteral("1")},
        {QStringLiteral("Propina"), QStringLiteral("1")},
        {QStringLiteral("Servicio"), QStringLiteral("10")},
        {QStringLiteral("Opcion Propina 5% y 10%"), QStringLiteral("1")},
        {QStringLiteral("ResaltarTotal Cuenta"), QStringLiteral("1")},
    });
    const QStringList textos{c.nombreRepresentante, c.apellido1Representante, c.apellido2Representante,
                             c.nombreEstablecimiento, c.actividadEconomica, c.codigoActividad, c.tipoIdentificacion,
                             c.numeroIdentificacion, c.direccion, c.telefono1, c.regimen, c.resolucionDian,
                             c.resolucionDianFecha, c.facturaPrefijo, c.facturaInicial, c.facturaFinal,
                             c.encabezadoFactura, c.textoPieFactura, c.nombreFacturaCerrada, c.tituloVendedor,
                             c.conceptoDomicilio};
    EXPECT_EQ(textos.join(QString()), QStringLiteral("abcdefghijklmnopqrstu"));
    EXPECT_TRUE(c.imprimeHoraFactura && c.permanenciaFactura && c.personasFactura && c.meseroFactura &&
                c.imprimeEspacioCliente && c.imprimeLeyendaPropina && c.aplicaPropina && c.opcionPropina5y10 &&
                c.resaltarTotal);
    EXPECT_EQ(c.servicio, 10);
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

    PrintBench bench;
    bench.setSettings({{QStringLiteral("Hora Factura"), QStringLiteral("1")}});
    cargarConfigFactura(bench.imprimir);
    bench.setSettings({});
    cargarConfigFactura(bench.imprimir);
    EXPECT_FALSE(bench.imprimir.configFactura.imprimeHoraFactura);
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

    PrintBench bench;
    bench.setSettings({{QStringLiteral("Servicio"), QStringLiteral("40000")}});
    EXPECT_EQ(errorDe([&] { cargarConfigFactura(bench.imprimir); }), errors::overflow);
}

}  // namespace
}  // namespace kelmora::testing
