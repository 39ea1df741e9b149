// The invoice document: the order of its blocks, the conditions of each, and the lines it prints
// itself (number, table, date, seller, discount, payments, customer, footers).
#include "tickets/factura.h"

#include "json/runtime_error.h"
#include "platform/files.h"
#include "printing/contexto_ticket.h"
#include "tickets/comanda_productos.h"
#include "tickets/factura_configuracion.h"
#include "tickets/factura_encabezado.h"
#include "tickets/factura_productos.h"
#include "tickets/factura_totales.h"
#include "tickets/factura_valores.h"

#include <optional>

namespace kelmora {

namespace {

const QString kClaseDocumento = nombreClase(ClaseDocumento::Factura);
constexpr qint16 kAnchoPie = 35;       // footers wrap here on every roll
constexpr int kPrefijoMedioPago = 14;  // the payment method's name starts after this fixed prefix
constexpr int kLineasAvance = 10;      // paper fed before the cut

void imprimirEncabezadoDocumento(const ContextoTicket& impresion, const ConfigFactura& config, const Value& factura) {
    TextoTicket& texto = impresion.texto;
    const QLocale& locale = impresion.locale();
    platform::Printer& impresora = impresion.impresora();
    const qint16 ancho = impresion.config.anchoTicket();

    if (!config.encabezadoFactura.isEmpty()) texto.imprimirTextoMedido(config.encabezadoFactura, ancho, Alineacion::Centro, 0);

    const QString tipoCuenta = factura[u"tipoCuenta"].toText(locale);
    if (!tipoCuenta.isEmpty()) {
        texto.imprimirTexto(mayusculas(tipoCuenta), ancho, Alineacion::Centro, 0);
        impresora.printLine(QStringLiteral(" "));
    }
    // Quotations carry no number. Closed and open accounts share the title.
    if (tipoCuenta != u"COTIZACION") {
        const QString id = factura[u"idFacturaCuenta"].toText(locale);
        const QString numero = config.facturaPrefijo.isEmpty() ? id : config.facturaPrefijo + u'-' + id;
        impresora.printLine(config.nombreFacturaCerrada + QStringLiteral(" No ") + numero);
    }
    impresora.printLine(lineaValor(factura[u"nomMesa"], locale));

    QString fecha = QStringLiteral("Fecha ") + factura[u"fechaFactura"].toText(locale);
    if (config.imprimeHoraFactura) fecha += QStringLiteral(" Hora ") + factura[u"horaFactura"].toText(locale);
    impresora.printLine(fecha);
    if (config.meseroFactura) {
        impresora.printLine(config.tituloVendedor + QStringLiteral("  ") + factura[u"vendedor"].toText(locale));
    }
}

void imprimirDescuento(const ContextoTicket& impresion, const Value& factura) {
    TextoTicket& texto = impresion.texto;
    const QLocale& locale = impresion.locale();
    if (!valores_factura::mayorQueCero(factura[u"descuento"], locale)) return;
    const Decimal individual = factura[u"DescuentoIndividual"].toNumber(locale);
    texto.imprimirLineaMonto(QStringLiteral("SUB TOTAL"), factura[u"totalPagar"].toNumber(locale) - individual);
    texto.imprimirLineaMonto(QStringLiteral("Descuento en Ventas "),
                             -(factura[u"descuento"].toNumber(locale) - individual).abs());
    impresion.impresora().printLine(QString());
}

void imprimirPagos(const ContextoTicket& impresion, const Value& factura) {
    TextoTicket& texto = impresion.texto;
    const QLocale& locale = impresion.locale();
    platform::Printer& impresora = impresion.impresora();
    const auto numero = [&](const char16_t* clave) { return factura[clave].toNumber(locale); };

    impresora.printLine(QStringLiteral(" "));
    const bool domicilio = valores_factura::esDomicilio(factura, locale);
    for (const Value& pago : factura[u"mediosPago"].toCollection()) {
        QString etiqueta =
            pago[u"Producto"].toText(locale).mid(kPrefijoMedioPago) + u' ' + pago[u"Detalle"].toText(locale);
        // On a delivery the "tip" paid is the delivery charge. Only the lower-case word is renamed.
        if (domicilio && mayusculas(etiqueta).contains(u"PROPINA")) {
            etiqueta.replace(QStringLiteral("propina"), QStringLiteral("domicilio"));
        }
        texto.imprimirLineaMonto(etiqueta, pago[u"Valor"].toNumber(locale).abs());
    }

    const auto pagado = factura[u"totalPagado"].compare(Decimal(), locale);
    if (pagado && *pagado != 0) {
        impresora.printLine(QString());
        texto.imprimirLineaMonto(QStringLiteral("TOTAL PAGADO"),
                                 numero(u"totalPagado") + numero(u"totalPagadoPropina"));
    }
    if (valores_factura::mayorQueCero(factura[u"pagoEfectivo"], locale)) {
        texto.imprimirSeparador(QStringLiteral("="));
        texto.imprimirLineaMonto(QStringLiteral("Efectivo Recibido"),
                                 numero(u"pagoEfectivo") + numero(u"cambioEfectivo"));
        texto.imprimirLineaMonto(QStringLiteral("Cambio Entregado"), numero(u"cambioEfectivo"));
    }
}

void imprimirDatosCliente(const ContextoTicket& impresion, const Value& factura) {
    TextoTicket& texto = impresion.texto;
    const QLocale& locale = impresion.locale();
    platform::Printer& impresora = impresion.impresora();
    const qint16 ancho = impresion.config.anchoTicket();
    const Value cliente = factura[u"cliente"];
    if (cliente.isNull()) return;
    const auto dato = [&](const char16_t* clave) { return cliente[clave].toText(locale); };

    if (valores_factura::esDomicilio(factura, locale)) {
        texto.imprimirSeparador(QStringLiteral("="));
        impresora.setFontBold(true);
        impresora.printLine(QStringLiteral("DATOS DOMICILIO"));
        impresora.setFontBold(false);
        impresora.printLine(QStringLiteral("Nombre: ") + dato(u"Nombre"));
        impresora.printLine(QStringLiteral("Documento: ") + mayusculas(dato(u"IdDocumento")));
        texto.imprimirTextoMedido(QStringLiteral("Direccion: ") + dato(u"Direccion"), ancho, Alineacion::Izquierda, 0);
        impresora.printLine(QStringLiteral("Telefono: ") + dato(u"Telefono1"));
        texto.imprimirTextoMedido(factura[u"detalleDomicilio"].toText(locale), ancho, Alineacion::Izquierda, 0);
        return;
    }

    const Value nombre = cliente[u"Nombre"];
    if (nombre.isNull() || nombre.isEmptyText()) return;
    texto.imprimirSeparador(QStringLiteral("="));
    impresora.printLine(QStringLiteral("Nombre: ") + mayusculas(dato(u"Nombre")));
    impresora.printLine(QStringLiteral("Documento: ") + mayusculas(dato(u"IdDocumento")));
    texto.imprimirTextoMedido(QStringLiteral("Dirección: ") + mayusculas(dato(u"Direccion")), ancho, Alineacion::Izquierda, 0);
    impresora.printLine(QStringLiteral("Telefono: ") + mayusculas(dato(u"Telefono1")));
    for (int i = 0; i < 4; ++i) impresora.printLine(QStringLiteral(" "));
    impresora.printLine(QStringLiteral("FIRMA: _____________________________"));
    impresora.printLine(QStringLiteral("C.C.: ______________________________"));
}

// True when the sum is above zero; a null in it makes it no number at all, so not above zero.
bool sumaMayorQueCero(const Value& a, const Value& b, const QLocale& locale) {
    if (a.isNull() || b.isNull()) return false;
    return a.toNumber(locale) + b.toNumber(locale) > Decimal();
}

// Everything from the customer blanks to the paper feed; the document is then ready to end.
void imprimirCierre(const ContextoTicket& impresion, const ConfigFactura& config, const Value& factura) {
    TextoTicket& texto = impresion.texto;
    const QLocale& locale = impresion.locale();
    platform::Printer& impresora = impresion.impresora();

    if (!factura[u"cliente"].isNull() && config.imprimeEspacioCliente) {
        impresora.printLine(QStringLiteral(" "));
        if (impresion.config.esRollo55()) {
            impresora.printLine(QStringLiteral("NOMBRE: ________________________"));
            impresora.printLine(QStringLiteral("CEDULA: ________________________"));
            impresora.printLine(QStringLiteral("DIRECCION: _____________________"));
        } else {
            impresora.printLine(QStringLiteral("NOMBRE: _____________________________"));
            impresora.printLine(QStringLiteral("CEDULA: _____________________________"));
            impresora.printLine(QStringLiteral("DIRECCION: __________________________"));
        }
    }

    // Every part of the condition is read, as the totals do.
    const bool domicilio = valores_factura::esDomicilio(factura, locale);
    const bool propina = sumaMayorQueCero(factura[u"propinaSugerida"], factura[u"totalPagadoPropina"], locale);
    if (config.aplicaPropina && config.imprimeLeyendaPropina && !domicilio && propina)
        imprimirLeyendaPropina(impresion);

    const QString pieConfig = recortarBlancos(config.textoPieFactura);
    if (!pieConfig.isEmpty()) {
        impresora.printLine(QString());
        texto.imprimirSeparador(QStringLiteral("="));
        texto.imprimirTexto(pieConfig, kAnchoPie, Alineacion::Izquierda, 0);
    }
    const QString pieFactura = factura[u"pieFactura"].toText(locale);
    if (!pieFactura.isEmpty()) {
        impresora.printLine(QString());
        texto.imprimirTexto(pieFactura, kAnchoPie, Alineacion::Centro, 0);
    }

    impresora.printLine(QStringLiteral(" "));

    if (config.permanenciaFactura) {
        impresora.printLine(QStringLiteral("Permanencia  ") + factura[u"permanencia"].toText(locale) +
                            QStringLiteral("  Minutos "));
    }
    if (config.personasFactura) impresora.printLine(QStringLiteral("Personas ") + factura[u"nPersonas"].toText(locale));
    const Value fechaLimite = factura[u"fechaLimitePago"];
    if (!fechaLimite.isEmptyText()) {
        impresora.printLine(QStringLiteral("Fecha para pago ") + fechaLimite.toText(locale));
    }
    imprimirPieSoftware(impresion);
    for (int i = 0; i < kLineasAvance; ++i) impresora.printLine(QStringLiteral(" "));
}

}  // namespace

bool facturaImprimible(const Value& factura) { return !factura[u"mesa"].isEmptyText(); }

void imprimirFactura(const ContextoTicket& impresion, const Value& factura) {
    SeleccionImpresora& seleccion = impresion.seleccion;
    if (!seleccion.hayImpresora()) return;
    // Read afresh for every invoice, and kept for this one only.
    const ConfigFactura configFactura = cargarConfigFactura(impresion.config);
    if (!facturaImprimible(factura)) return;
    if (!seleccion.seleccionarImpresora(seleccion.indiceImpresora(seleccion.impresoraPredeterminada()), false)) return;

    std::optional<Documento> documento(std::in_place, seleccion, impresion.config, kClaseDocumento);
    platform::Printer& impresora = impresion.impresora();

    if (platform::fileExists(rutaLogo(impresion))) imprimirLogo(impresion);
    impresora.setFontSize(impresion.config.tamanoPequeno());
    impresora.setFontName(QStringLiteral("Courier 14 CPI"));
    imprimirEncabezadoFactura(impresion, configFactura);
    imprimirResolucionDian(impresion, configFactura);
    imprimirEncabezadoDocumento(impresion, configFactura, factura);
    imprimirProductosFactura(impresion, factura[u"pedido"]);
    imprimirDescuento(impresion, factura);
    imprimirTotalesFactura(impresion, configFactura, factura);
    if (valores_factura::esCuentaCerrada(factura, impresion.locale())) imprimirPagos(impresion, factura);

    // From the customer data on, the first run-time error does not end the invoice: printing
    // resumes at the customer blanks. Any later one ends it like those above.
    bool guardaUsada = false;
    try {
        imprimirDatosCliente(impresion, factura);
    } catch (const RuntimeError&) {
        guardaUsada = true;
    }
    for (;;) {
        bool terminando = false;
        try {
            imprimirCierre(impresion, configFactura, factura);
            terminando = true;
            documento->terminar();
            impresion.avisos.ShowBalloonTip(impresion.seleccion.comoReimpresion(QStringLiteral("Factura enviada a ") +
                                                                                impresora.deviceName()),
                                            platform::BalloonIcon::Information, QStringLiteral("Impresion de Factura"),
                                            platform::kBalloonMilliseconds);
            return;
        } catch (const RuntimeError&) {
            if (guardaUsada) throw;
            guardaUsada = true;
            // An ended document is gone, taken or not: what is printed again is a document of its own.
            if (terminando) documento.emplace(seleccion, impresion.config, kClaseDocumento);
        }
    }
}

}  // namespace kelmora
