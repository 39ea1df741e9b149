#include "factura_pruebas.h"

#include "tickets/factura_encabezado.h"

namespace kelmora::testing {
namespace {

// Settings as "name|value|visible" rows.
void ajustar(PrintBench& banco, const QStringList& filas) {
    Collection config;
    for (const QString& fila : filas) {
        const QStringList partes = fila.split(u'|');
        Dictionary entrada;
        entrada.add(QStringLiteral("Nombre"), partes.at(0));
        entrada.add(QStringLiteral("Descripcion"), partes.at(1));
        entrada.add(QStringLiteral("Visible"), partes.at(2));
        config.add(entrada);
    }
    banco.config.actualizar(config);
}

// One block in the invoice's font.
template <typename Bloque>
QString bloque(const QStringList& filas, Bloque&& imprimirlo) {
    PrintBench banco;
    ajustar(banco, filas);
    return imprimirBloque(banco, [&](const ConfigFactura& configFactura) {
        banco.printers.current().setFontSize(banco.config.tamanoPequeno());
        banco.printers.current().setFontName(QStringLiteral("Courier 14 CPI"));
        imprimirlo(banco.impresion, configFactura);
    });
}

TEST(EncabezadoFactura, LineasConInterruptorYValor) {
    EXPECT_EQ(bloque({QStringLiteral("Nombre Establecimiento|La Olla de Barro|1"),
                      QStringLiteral("Actividad Economica|Restaurante|0"),
                      QStringLiteral("Codigo Actividad Economica|5611|1"),
                      QStringLiteral("Tipo Identificacion|NIT|0"),
                      QStringLiteral("Numero Identificacion|800.1-9|1"),
                      QStringLiteral("Nombre Representante Legal||1"),
                      QStringLiteral("Direccion||1"),
                      QStringLiteral("Telefono 1||1")},
                     imprimirEncabezadoFactura),
              QStringLiteral("=====================================\n"
                             "           LA OLLA DE BARRO\n"
                             "   CODIGO ACTIVIDAD ECONOMICA 5611\n"
                             "             NIT 800.1-9\n"
                             "\n"));
}

TEST(EncabezadoFactura, UnaLineaQueFallaSeOmite) {
    PrintBench banco;
    banco.config.actualizar(parseJson(QStringLiteral(R"([
        {"Nombre": "Nombre Establecimiento", "Descripcion": "Bar", "Visible": {"no": "texto"}},
        {"Nombre": "Direccion", "Descripcion": "Calle 1", "Visible": 1}])")).toCollection());
    EXPECT_EQ(imprimirBloque(banco, [&](const ConfigFactura& c) { imprimirEncabezadoFactura(banco.impresion, c); }),
              QStringLiteral("=====================================\n"
                             "               CALLE 1\n"));
}

TEST(ResolucionDian, LosInterruptoresDecidenAunSinValor) {
    EXPECT_EQ(bloque({QStringLiteral("Regimen|Comun|1"), QStringLiteral("Nombre Regimen||1"),
                      QStringLiteral("Resolucion Dian Facturacion||1"), QStringLiteral("Factura Prefijo|POS|1"),
                      QStringLiteral("Factura Inicial|1|1"), QStringLiteral("Factura Final|500|1")},
                     imprimirResolucionDian),
              QStringLiteral("\n"
                             "           RESOLUCION DIAN\n"
                             "                 DEL\n"
                             "       DESDE POS-1 HASTA POS-500\n"
                             "=====================================\n"));
    EXPECT_EQ(bloque({QStringLiteral("Regimen|Comun|0"), QStringLiteral("Resolucion Dian Facturacion|187|0"),
                      QStringLiteral("Factura Inicial|1|0")},
                     imprimirResolucionDian),
              QStringLiteral("\n=====================================\n"));
}

struct Logo {
    int ancho;  // hundredths of a millimetre
    int alto;
    bool rollo55;
    paper::DocumentPicture pintado;
    int lineas;
};

class LogoFactura : public ::testing::TestWithParam<Logo> {};

// The default font (10 points) gives lines of 240 twips and a rule of 4200 twips on a 75 mm roll,
// 2520 at 7 points on a 55 mm one; the logo may take the rule's width less 40.
TEST_P(LogoFactura, EscaladoPosicionYLineas) {
    const Logo& caso = GetParam();
    PrintBench banco;
    if (caso.rollo55) banco.setSettings({{QStringLiteral("Tamano de Factura"), QStringLiteral("rollo 55mm")}});
    banco.pictures.widthHimetric = caso.ancho;
    banco.pictures.heightHimetric = caso.alto;
    ASSERT_TRUE(banco.seleccion.seleccionarImpresora(0, false));
    imprimirLogo(banco.impresion);
    banco.printers.current().endDoc();

    EXPECT_EQ(banco.pictures.loaded, QStringList{QStringLiteral("./logo.bmp")});
    const paper::Document& documento = banco.printers.delivered().at(0).document;
    ASSERT_EQ(documento.pictures.size(), 1);
    const paper::DocumentPicture& pintado = documento.pictures.first();
    EXPECT_DOUBLE_EQ(pintado.x, caso.pintado.x);
    EXPECT_DOUBLE_EQ(pintado.y, 20);
    EXPECT_DOUBLE_EQ(pintado.width, caso.pintado.width);
    EXPECT_DOUBLE_EQ(pintado.height, caso.pintado.height);
    EXPECT_EQ(banco.onlyDocument(), QString(caso.lineas, u'\n'));
}

INSTANTIATE_TEST_SUITE_P(
    Casos, LogoFactura,
    ::testing::Values(
        // Wide: the available width, height in proportion.
        Logo{13229, 4868, false, {{}, {}, 0, 20, 4160, 4868.0 * 4160 / 13229}, 7},
        Logo{13000, 2600, true, {{}, {}, 0, 20, 2480, 496}, 3},
        // Narrow: scaled by 500/1300 and centred; 3.5 line heights take 4 lines, exactly 3 take 4 too.
        Logo{5200, 2184, false, {{}, {}, 1080, 20, 2000, 840}, 4},
        Logo{5200, 1872, false, {{}, {}, 1080, 20, 2000, 720}, 4},
        // Narrow but still wider than the room: at the left edge.
        Logo{12350, 1300, true, {{}, {}, 0, 20, 4750, 500}, 3}));

TEST(LogoFactura, ProductosDesbordadosYArchivoIlegible) {
    PrintBench banco;
    ASSERT_TRUE(banco.seleccion.seleccionarImpresora(0, false));
    banco.pictures.heightHimetric = 600000;  // 600000 x 4160 needs more than 32 bits
    EXPECT_EQ(errorDe([&] { imprimirLogo(banco.impresion); }), errors::overflow);
    banco.pictures.widthHimetric = 1000;
    banco.pictures.heightHimetric = 5000000;  // 5000000 x 500 too
    EXPECT_EQ(errorDe([&] { imprimirLogo(banco.impresion); }), errors::overflow);
}

// A logo that cannot be read costs the invoice nothing but the logo, and an answer tells it once.
TEST(LogoFactura, UnArchivoIlegibleSeSaltaYSeAvisaUnaVezPorRespuesta) {
    PrintBench banco;
    ASSERT_TRUE(banco.seleccion.seleccionarImpresora(0, false));
    banco.pictures.fails = true;
    AvisosRespuesta respuesta;
    ContextoTicket impresion = banco.impresion;
    impresion.avisosRespuesta = &respuesta;
    EXPECT_EQ(errorDe([&] { imprimirLogo(impresion); }), QString());
    EXPECT_EQ(errorDe([&] { imprimirLogo(impresion); }), QString());
    EXPECT_TRUE(banco.printers.current().pendingDocument().pictures.isEmpty());
    EXPECT_TRUE(banco.printers.current().pendingDocument().rows.isEmpty());
    ASSERT_EQ(banco.notifier.balloons.size(), 1u);
    EXPECT_EQ(banco.notifier.balloons.front().icon, platform::BalloonIcon::Warning);
    EXPECT_TRUE(banco.notifier.balloons.front().text.startsWith(QStringLiteral("No se pudo leer el logo (logo.bmp)")));
    // The next answer tells it again.
    respuesta = AvisosRespuesta();
    imprimirLogo(impresion);
    EXPECT_EQ(banco.notifier.balloons.size(), 2u);
}

}  // namespace
}  // namespace kelmora::testing
