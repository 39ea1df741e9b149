#include "factura_pruebas.h"

#include "tickets/factura_productos.h"

namespace kelmora::testing {
namespace {

QString productos(const QString& pedido, bool rollo55 = false, QString* error = nullptr) {
    PrintBench banco;
    if (rollo55) banco.setSettings({{QStringLiteral("Tamaño de Factura"), QStringLiteral("rollo 55mm")}});
    const Value lista = parseJson(pedido);
    return imprimirBloque(
        banco, [&](const ConfigFactura&) { imprimirProductosFactura(banco.impresion, lista); }, error);
}

TEST(ProductosFactura, PedidoVacioEnAmbosRollos) {
    EXPECT_EQ(productos(QStringLiteral("[]")), QStringLiteral("=====================================\n"
                                                              "CANT    PRODUCTO                  TOTAL\n"
                                                              "\n"
                                                              "=====================================\n"));
    EXPECT_EQ(productos(QStringLiteral("[]"), true), QStringLiteral("==============================\n"
                                                                    "CANT  PRODUCTO            TOTAL\n"
                                                                    "\n"
                                                                    "==============================\n"));
}

TEST(ProductosFactura, LineasCantidadesYNombresLargos) {
    EXPECT_EQ(productos(QStringLiteral(R"([
        {"NombreProducto": "Cortesia de la casa", "Cantidad": 1, "Valor": 0, "Detalle": "no sale"},
        {"NombreProducto": "Devuelto", "Cantidad": 1, "Valor": -100, "Detalle": null},
        {"NombreProducto": "Sin valor", "Cantidad": 1},
        {"NombreProducto": "Jugo de mora en agua", "Cantidad": -2, "Valor": 1234567890123456789},
        {"NombreProducto": "Superhamburguesadoblecarne con papas", "Cantidad": 1.5, "Valor": 8000.5},
        {"NombreProducto": "Te", "Cantidad": 1, "Valor": 2000, "Detalle": "Frio<br/><br/>  <br/>  sin azucar "}
    ])")),
              QStringLiteral("=====================================\n"
                             "CANT    PRODUCTO                  TOTAL\n"
                             "\n"
                             " 2   Jugo de mora en\n"
                             "              1,234,567,890,123,456,789\n"
                             "    AGUA\n"
                             " 1.5                              8,001\n"
                             "    SUPERHAMBURGUESADOBLECARNE CON PAPAS\n"
                             " 1   Te                           2,000\n"
                             "-> FRIO\n"
                             "-> SIN AZUCAR\n"
                             "=====================================\n"));
}

TEST(ProductosFactura, RolloDe55) {
    const QString arepa = QStringLiteral(R"([{"NombreProducto": "Arepa de choclo con queso", "Cantidad": 3, "Valor": 15000}])");
    EXPECT_EQ(productos(arepa, true),
              QStringLiteral("==============================\n"
                             "CANT  PRODUCTO            TOTAL\n"
                             "\n"
                              " 3  Arepa de choclo      15,000\n"
                             "    CON QUESO\n"
                             "==============================\n"));
}

TEST(ProductosFactura, ValoresQueNoSonNumerosTerminanElBloque) {
    QString error;
    productos(QStringLiteral(R"([{"NombreProducto": "Sopa", "Cantidad": "una", "Valor": 9000}])"), false, &error);
    EXPECT_EQ(error, errors::typeMismatch);
    productos(QStringLiteral(R"({"NombreProducto": "Sopa"})"), false, &error);
    EXPECT_EQ(error, errors::typeMismatch);
    productos(QStringLiteral(R"(["Sopa"])"), false, &error);
    EXPECT_EQ(error, errors::objectRequired);
}

}  // namespace
}  // namespace kelmora::testing
