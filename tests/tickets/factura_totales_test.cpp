#include "factura_pruebas.h"

#include "tickets/factura_totales.h"

namespace kelmora::testing {
namespace {

using Ajustes = QList<std::pair<QString, QString>>;

const Ajustes kConPropina{{QStringLiteral("Propina"), QStringLiteral("Aplica")},
                          {QStringLiteral("Servicio"), QStringLiteral("10")}};

Ajustes con(Ajustes ajustes, const QString& nombre, const QString& valor) {
    ajustes.prepend({nombre, valor});
    return ajustes;
}

// An open account of 50,000 with 5,000 off and a suggested tip of 4,500, with the members of
// `cambios` put in or, when their value is "<sin>", taken out.
QString totales(const Ajustes& ajustes, const QString& cambios = QStringLiteral("{}"), QString* error = nullptr,
                bool fuentes = false) {
    PrintBench banco;
    banco.setSettings(ajustes);
    const Dictionary base = parseJson(QStringLiteral(R"({"mesa": 5, "tipoMesa": "MESA", "cuentaCerrada": false,
        "totalPagar": 50000, "descuento": 5000, "propinaSugerida": 4500, "totalPagado": 48000,
        "totalPagadoPropina": 0, "CntGroupon": 0, "impuestos": []})")).toDictionary();
    const Dictionary otros = parseJson(cambios).toDictionary();
    Dictionary factura;
    for (const auto& [clave, valor] : base.members()) {
        if (!otros.exists(clave)) factura.add(clave, valor);
    }
    for (const auto& [clave, valor] : otros.members()) {
        if (valor.textIf() == nullptr || *valor.textIf() != u"<sin>") factura.add(clave, valor);
    }
    const auto bloque = [&](const ConfigFactura& config) {
        imprimirTotalesFactura(banco.impresion, config, Value(factura));
    };
    return imprimirBloque(banco, bloque, error, fuentes);
}

TEST(TotalesSinPropina, ServicioCeroOPropinaNoAplicaDejanSoloElTotal) {
    const QString abierta = QStringLiteral("TOTAL                            45,000\n");
    EXPECT_EQ(totales(con(kConPropina, QStringLiteral("Servicio"), QStringLiteral("0"))), abierta);
    EXPECT_EQ(totales(con(kConPropina, QStringLiteral("Propina"), QStringLiteral("aplica"))), abierta);
    EXPECT_EQ(totales({}, QStringLiteral(R"({"cuentaCerrada": true, "totalPagadoPropina": 4800})")),
              QStringLiteral("TOTAL                            48,000\n"));
}

TEST(TotalesSinPropina, ResaltadoTomaLoPorPagarAunCerrada) {
    EXPECT_EQ(totales({{QStringLiteral("ResaltarTotal Cuenta"), QStringLiteral("1")}},
                      QStringLiteral(R"({"cuentaCerrada": true})"), nullptr, true),
              QStringLiteral("[default 15 B]  ** TOTAL 45,000 **\n"));
}

TEST(TotalesCuentaCerrada, PropinaPagadaGrouponYPropinaRechazada) {
    EXPECT_EQ(totales(kConPropina, QStringLiteral(R"({"cuentaCerrada": true, "totalPagadoPropina": 4800})")),
              QStringLiteral("SUB TOTAL                        48,000\n"
                             "PROPINA                           4,800\n"
                             "TOTAL                            52,800\n"));
    // Nothing says what a coupon carries, so the Groupon tip is 0 and the tip line keeps the whole tip.
    EXPECT_EQ(totales(kConPropina,
                      QStringLiteral(R"({"cuentaCerrada": true, "totalPagadoPropina": 4800, "CntGroupon": 2})")),
              QStringLiteral("SUB TOTAL                        48,000\n"
                             "PROPINA GROUPON                       0\n"
                             "PROPINA                           4,800\n"
                             "TOTAL                            52,800\n"));
    // A suggested tip that was declined: the total alone.
    EXPECT_EQ(totales(kConPropina, QStringLiteral(R"({"cuentaCerrada": true})")),
              QStringLiteral("TOTAL                            48,000\n"));
}

TEST(TotalesCuentaCerrada, TotalResaltadoVuelveAlTamanoDelTexto) {
    const Ajustes ajustes = con(con(kConPropina, QStringLiteral("ResaltarTotal Cuenta"), QStringLiteral("1")),
                                QStringLiteral("Regimen"), QStringLiteral("COMUN"));
    EXPECT_EQ(totales(ajustes, QStringLiteral(R"({"cuentaCerrada": true, "totalPagadoPropina": 4800,
                                                  "impuestos": [{"nombre": "iva", "base": 1, "valor": 2}]})"),
                      nullptr, true),
              QStringLiteral("[default 10] SUB TOTAL                        48,000\n"
                             "[default 10] PROPINA                           4,800\n"
                             "[default 15 B] ** TOTAL 52,800 **\n"
                             "[default 10]\n"
                             "[default 10] =====================================\n"
                             "[default 10] IMPUESTO                 BASE     VALOR\n"
                             "[default 10] IVA                         1         2\n"));
}

TEST(TotalesCuentaAbierta, MesaDeDomicilioPorNumero) {
    const Ajustes ajustes = con(kConPropina, QStringLiteral("Concepto Domicilio"), QStringLiteral("Envio"));
    const QString domicilio = QStringLiteral("SUB TOTAL                        45,000\n"
                                             "ENVIO                             4,500\n"
                                             "TOTAL                            49,500\n");
    const QString mesa = QStringLiteral("SUB TOTAL                        45,000\n"
                                        "PROPINA SUGERIDA                  4,500\n"
                                        "TOTAL                            49,500\n");
    EXPECT_EQ(totales(ajustes, QStringLiteral(R"({"mesa": 2001})")), domicilio);
    EXPECT_EQ(totales(ajustes, QStringLiteral(R"({"mesa": "2001"})")), domicilio);
    EXPECT_EQ(totales(ajustes, QStringLiteral(R"({"mesa": 2000})")), mesa);
    EXPECT_EQ(totales(ajustes, QStringLiteral(R"({"mesa": "B-2001"})")), mesa);
}

TEST(TotalesCuentaAbierta, GrouponYOpcionCincoODiez) {
    EXPECT_EQ(totales(kConPropina, QStringLiteral(R"({"CntGroupon": 1})")),
              QStringLiteral("SUB TOTAL                        45,000\n"
                             "PROPINA SUGERIDA                  4,500\n"
                             "PROPINA GROUPON                       0\n"
                             "TOTAL                            49,500\n"));
    // The customer picks the tip, so no total is printed, on open and closed accounts alike.
    const Ajustes cincoODiez = con(kConPropina, QStringLiteral("Opcion Propina 5% y 10%"), QStringLiteral("1"));
    EXPECT_EQ(totales(cincoODiez, QStringLiteral(R"({"propinaSugerida": 5001})")),
              QStringLiteral("SUB TOTAL                        45,000\n"
                             "__ APRUEBA PROPINA 10%            5,001\n"
                             "__ APRUEBA PROPINA 5%             2,501\n"
                             "__ OTRO VALOR             _____________\n"));
    EXPECT_EQ(totales(cincoODiez, QStringLiteral(R"({"cuentaCerrada": true, "totalPagadoPropina": 4800})")),
              QStringLiteral("SUB TOTAL                        48,000\n"
                             "PROPINA                           4,800\n"));
    // A delivery prints its charge instead of the choice, and still no total.
    EXPECT_EQ(totales(con(cincoODiez, QStringLiteral("Concepto Domicilio"), QStringLiteral("Envio")),
                      QStringLiteral(R"({"mesa": 2001})")),
              QStringLiteral("SUB TOTAL                        45,000\n"
                             "ENVIO                             4,500\n"));
    // The option set to "0" is off: the suggested tip and the total as usual.
    EXPECT_EQ(totales(con(kConPropina, QStringLiteral("Opcion Propina 5% y 10%"), QStringLiteral("0"))),
              QStringLiteral("SUB TOTAL                        45,000\n"
                             "PROPINA SUGERIDA                  4,500\n"
                             "TOTAL                            49,500\n"));
}

TEST(TotalesCuentaAbierta, NulosNoCuentanComoPropina) {
    EXPECT_EQ(totales(kConPropina, QStringLiteral(R"({"propinaSugerida": null, "cuentaCerrada": null})")),
              QStringLiteral("TOTAL                            45,000\n"));
}

TEST(TotalesImpuestos, TablaSoloBajoRegimenComunConImpuestos) {
    const QString impuestos =
        QStringLiteral(R"({"impuestos": [{"nombre": "iva 19%", "base": 37815.13, "valor": 7184.87}, {}]})");
    const QString tabla = QStringLiteral("TOTAL                            45,000\n"
                                         "\n"
                                         "=====================================\n"
                                         "IMPUESTO                 BASE     VALOR\n"
                                         "IVA 19%                37,815     7,185\n"
                                         "                            0         0\n");
    EXPECT_EQ(totales({{QStringLiteral("Regimen"), QStringLiteral("cOmUn")}}, impuestos), tabla);
    EXPECT_EQ(totales({{QStringLiteral("Regimen"), QStringLiteral("Simplificado")}}, impuestos),
              QStringLiteral("TOTAL                            45,000\n"));
    EXPECT_EQ(totales({{QStringLiteral("Regimen"), QStringLiteral("COMUN")}}),
              QStringLiteral("TOTAL                            45,000\n"));
}

TEST(TotalesImpuestos, SinListaDeImpuestosFallaConCualquierRegimen) {
    for (const QString& regimen : {QStringLiteral("COMUN"), QStringLiteral("Simplificado")}) {
        QString error;
        EXPECT_EQ(totales({{QStringLiteral("Regimen"), regimen}}, QStringLiteral(R"({"impuestos": "<sin>"})"), &error),
                  QStringLiteral("TOTAL                            45,000\n"));
        EXPECT_EQ(error, errors::typeMismatch);
    }
}

TEST(TotalesErrores, UnTextoDondeVaUnNumero) {
    QString error;
    EXPECT_EQ(totales({}, QStringLiteral(R"({"totalPagar": "mucho"})"), &error), QString());
    EXPECT_EQ(error, errors::typeMismatch);
    // Every part of the tip condition is read, whatever the settings.
    EXPECT_EQ(totales({}, QStringLiteral(R"({"CntGroupon": "dos"})"), &error), QString());
    EXPECT_EQ(error, errors::typeMismatch);
}

}  // namespace
}  // namespace kelmora::testing
