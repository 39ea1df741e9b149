// The invoice's fixed blocks: logo, establishment header, resolution, tip notice, software footer.
#include "tickets/factura_encabezado.h"

#include "json/runtime_error.h"
#include "printing/contexto_ticket.h"

#include <QtNumeric>

#include <cmath>
#include <functional>

namespace kelmora {

namespace {

// Logo sizes: pictures in hundredths of a millimetre, the page in twips.
constexpr qint32 kLogoAnchoGrande = 13000;  // from this width on, the logo fills the roll
constexpr qint32 kLogoEscalaNumerador = 500;
constexpr qint32 kLogoEscalaDenominador = 1300;
constexpr int kLogoMargen = 40;     // taken from the rule's width
constexpr double kLogoArriba = 20;  // the logo always sits at the top of the page

qint32 producto32(qint32 a, qint32 b) {
    qint32 resultado = 0;
    if (qMulOverflow(a, b, &resultado)) throw RuntimeError(errors::overflow);
    return resultado;
}

}  // namespace

QString rutaLogo(const ContextoTicket& impresion) { return rutaLogo(impresion.carpetaPrograma); }

void imprimirLogo(const ContextoTicket& impresion) {
    paper::Picture logo;
    try {
        logo = impresion.imagenes.load(rutaLogo(impresion));
    } catch (const RuntimeError& error) {
        // A logo that cannot be read does not cost the invoice: it prints without one, and the
        // answer tells it once.
        AvisosRespuesta* respuesta = impresion.avisosRespuesta;
        if (respuesta != nullptr && respuesta->logoIlegible) return;
        if (respuesta != nullptr) respuesta->logoIlegible = true;
        impresion.avisos.ShowBalloonTip(
            QStringLiteral("No se pudo leer el logo (%1): la factura se imprime sin él. %2")
                .arg(kArchivoLogo, error.description()),
            platform::BalloonIcon::Warning, QStringLiteral("Impresion de Factura"), platform::kBalloonMilliseconds);
        return;
    }
    platform::Printer& impresora = impresion.impresora();
    const qint16 altoLinea = aEntero16(impresora.textHeight(QStringLiteral("HOLA")));
    const qint16 disponible = aEntero16(static_cast<double>(impresion.texto.anchoRegla()) - kLogoMargen);

    double ancho = 0;
    double alto = 0;
    if (logo.widthHimetric >= kLogoAnchoGrande) {
        ancho = disponible;
        alto = static_cast<double>(producto32(logo.heightHimetric, disponible)) / logo.widthHimetric;
    } else {
        ancho = static_cast<double>(producto32(logo.widthHimetric, kLogoEscalaNumerador)) / kLogoEscalaDenominador;
        alto = static_cast<double>(producto32(logo.heightHimetric, kLogoEscalaNumerador)) / kLogoEscalaDenominador;
    }
    const qint16 izquierda = ancho >= disponible ? qint16{0} : aEntero16((disponible - ancho) / 2);
    impresora.paintPicture(logo, izquierda, kLogoArriba, ancho, alto);

    // The text that follows starts below the picture: one empty line more than the whole line
    // heights it covers.
    if (altoLinea == 0) throw RuntimeError(errors::divisionByZero);
    const double lineasCubiertas = std::floor(alto / altoLinea);
    if (!(lineasCubiertas <= std::numeric_limits<qint16>::max())) throw RuntimeError(errors::overflow);
    for (int i = 0; i <= static_cast<int>(lineasCubiertas); ++i) impresora.printLine(QString());
}

void imprimirEncabezadoFactura(const ContextoTicket& impresion, const ConfigFactura& c) {
    // A line that fails to print is left out, and the header goes on with the next one.
    const auto paso = [](const std::function<void()>& accion) {
        try {
            accion();
        } catch (const RuntimeError&) {
        }
    };
    const auto linea = [&](const char16_t* interruptor, const QString& valorProbado, const QString& texto) {
        paso([&] {
            if (impresion.config.configVisible(QString::fromUtf16(interruptor)) && !valorProbado.isEmpty()) {
                impresion.texto.imprimirTextoMedido(texto, impresion.config.anchoTicket(), Alineacion::Centro, 0);
            }
        });
    };

    paso([&] { impresion.texto.imprimirSeparador(QStringLiteral("=")); });
    linea(u"Nombre Establecimiento", c.nombreEstablecimiento, c.nombreEstablecimiento);
    linea(u"Actividad Economica", c.actividadEconomica, c.actividadEconomica);
    linea(u"Codigo Actividad Economica", c.codigoActividad,
          QStringLiteral("Codigo Actividad Economica ") + c.codigoActividad);
    linea(u"Numero Identificacion", c.numeroIdentificacion, c.tipoIdentificacion + u' ' + c.numeroIdentificacion);
    // The joined name always holds its two blanks, so the switch alone decides this line.
    const QString representante =
        c.nombreRepresentante + u' ' + c.apellido1Representante + u' ' + c.apellido2Representante;
    linea(u"Nombre Representante Legal", representante, representante);
    linea(u"Direccion", c.direccion, c.direccion);
    linea(u"Telefono 1", c.telefono1, QStringLiteral("Tel ") + c.telefono1);
}

void imprimirResolucionDian(const ContextoTicket& impresion, const ConfigFactura& c) {
    TextoTicket& texto = impresion.texto;
    const QString prefijoGuion = c.facturaPrefijo.isEmpty() ? QString() : c.facturaPrefijo + u'-';
    const qint16 ancho = impresion.config.anchoTicket();

    impresion.impresora().printLine(QStringLiteral(" "));
    // The switches alone decide: a line switched on with an empty value still prints its label.
    if (impresion.config.configVisible(QStringLiteral("Regimen"))) {
        texto.imprimirTextoMedido(impresion.config.leerConfig(QStringLiteral("Nombre Regimen")), ancho, Alineacion::Centro, 0);
    }
    if (impresion.config.configVisible(QStringLiteral("Resolucion Dian Facturacion"))) {
        texto.imprimirTexto(QStringLiteral("Resolucion DIAN ") + c.resolucionDian, ancho, Alineacion::Centro, 0);
        texto.imprimirTexto(QStringLiteral(" Del ") + c.resolucionDianFecha, ancho, Alineacion::Centro, 0);
    }
    if (impresion.config.configVisible(QStringLiteral("Factura Inicial"))) {
        texto.imprimirTexto(QStringLiteral("Desde ") + prefijoGuion + c.facturaInicial + QStringLiteral(" Hasta ") +
                                prefijoGuion + c.facturaFinal,
                            ancho, Alineacion::Centro, 0);
    }
    texto.imprimirSeparador(QStringLiteral("="));
}

void imprimirLeyendaPropina(const ContextoTicket& impresion) {
    impresion.texto.imprimirSeparador(QStringLiteral("="));
    // One paragraph; the wrapping primitive folds the double blanks where the pieces meet.
    const QString leyenda = QStringLiteral(
        "Por disposición de la Superintendencia "
        "de Industria y Comercio, se informa que  "
        "en este establecimiento la propina es  "
        "sugerida al consumidor y corresponde  "
        "al 10% del total de la factura, el cual  "
        "puede ser aceptado, modificado o  "
        "rechazado por usted de acuerdo con  "
        "valoración del servicio prestado, si no  "
        "desea cancelar este valor, haga caso  "
        "omiso del mismo.");
    impresion.texto.imprimirTextoMedido(leyenda, impresion.config.anchoTicket(), Alineacion::Izquierda, 0);
}

void imprimirPieSoftware(const ContextoTicket& impresion) {
    platform::Printer& impresora = impresion.impresora();
    impresion.texto.imprimirSeparador(QStringLiteral("="));
    impresora.printLine(QStringLiteral("Software TavrelPOS"));
    impresora.printLine(QStringLiteral("Nit ") + QStringLiteral(KELMORA_SOFTWARE_NIT));
    impresora.printLine(QStringLiteral(KELMORA_SOFTWARE_WEB));
    impresion.texto.imprimirSeparador(QStringLiteral("="));
}

}  // namespace kelmora
