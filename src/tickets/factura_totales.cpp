// The invoice's totals, tips and taxes.
#include "tickets/factura_totales.h"

#include "printing/config_factura.h"
#include "printing/contexto_ticket.h"
#include "tickets/factura_valores.h"

namespace kelmora {

namespace {

// Nothing in the answer or the settings says what a Groupon coupon carries as tip, so its tip
// line shows 0 and the tip line below it the whole tip paid.
constexpr int kPropinaGrouponPorCupon = 0;

constexpr int kMesaDomicilioDesde = 2000;  // open accounts at tables above this are deliveries
constexpr qint16 kAnchoOtroValor = 13;     // blank for the customer to write a tip
constexpr int kColumnaBase = 30;           // where the tax bases end, on the 40-column grid
constexpr double kTamanoResaltado = 15;

// The total at 15 points in bold, the size of the invoice's text put back after it.
void imprimirTotalResaltado(const ContextoTicket& impresion, const QString& etiqueta, const Decimal& total) {
    platform::Printer& impresora = impresion.impresora();
    impresora.setFontSize(kTamanoResaltado);
    impresora.setFontBold(true);
    impresora.printLine(etiqueta + impresion.texto.textoMonto(total) + QStringLiteral(" **"));
    impresora.setFontSize(impresion.config.tamanoPequeno());
    impresora.setFontBold(false);
}

}  // namespace

void imprimirTotalesFactura(const ContextoTicket& impresion, const ConfigFactura& config, const Value& factura) {
    TextoTicket& texto = impresion.texto;
    const QLocale& locale = impresion.locale();
    platform::Printer& impresora = impresion.impresora();
    const auto numero = [&](const char16_t* clave) { return factura[clave].toNumber(locale); };
    const auto positivo = [&](const char16_t* clave) { return valores_factura::mayorQueCero(factura[clave], locale); };
    const auto lineaMonto = [&](const QString& etiqueta, const Decimal& monto) {
        texto.imprimirLineaMonto(etiqueta, monto);
    };

    // Every part of the condition is read, so a record with a bad value fails whatever the settings.
    const bool sugerida = positivo(u"propinaSugerida");
    const bool pagada = positivo(u"totalPagadoPropina");
    const bool groupon = positivo(u"CntGroupon");
    const bool domicilio = valores_factura::esDomicilio(factura, locale);
    const bool hayPropina =
        (config.servicio > 0 && config.aplicaPropina) && (sugerida || pagada || groupon || domicilio);
    const bool cerrada = valores_factura::esCuentaCerrada(factura, locale);
    const auto propinaGroupon = [&] { return numero(u"CntGroupon") * Decimal(kPropinaGrouponPorCupon); };

    if (hayPropina) {
        Decimal total;
        if (cerrada) {
            if (pagada) {
                lineaMonto(QStringLiteral("SUB TOTAL"), numero(u"totalPagado"));
                if (domicilio) {
                    lineaMonto(mayusculas(config.conceptoDomicilio), numero(u"totalPagadoPropina"));
                } else if (groupon) {
                    lineaMonto(QStringLiteral("PROPINA GROUPON "), propinaGroupon());
                    lineaMonto(QStringLiteral("PROPINA  "), numero(u"totalPagadoPropina") - propinaGroupon());
                } else {
                    lineaMonto(QStringLiteral("PROPINA"), numero(u"totalPagadoPropina"));
                }
            }
            total = numero(u"totalPagado") + numero(u"totalPagadoPropina");
        } else {
            lineaMonto(QStringLiteral("SUB TOTAL"), numero(u"totalPagar") - numero(u"descuento"));
            const Value mesa = factura[u"mesa"];
            const Decimal numeroMesa = mesa.isNumeric(locale) ? mesa.toNumber(locale) : Decimal();
            if (numeroMesa > Decimal(kMesaDomicilioDesde)) {
                lineaMonto(mayusculas(config.conceptoDomicilio) + u' ', numero(u"propinaSugerida"));
            } else if (config.opcionPropina5y10) {
                lineaMonto(QStringLiteral("__ APRUEBA PROPINA 10% "), numero(u"propinaSugerida"));
                lineaMonto(QStringLiteral("__ APRUEBA PROPINA 5% "), numero(u"propinaSugerida") / Decimal(2));
                impresora.printLine(paper::PrinterLine(QStringLiteral("__ OTRO VALOR "))
                                        .column(impresion.config.anchoTicket() - kAnchoOtroValor)
                                        .text(QString(kAnchoOtroValor, u'_')));
            } else if (groupon) {
                lineaMonto(QStringLiteral("PROPINA SUGERIDA "), numero(u"propinaSugerida"));
                lineaMonto(QStringLiteral("PROPINA GROUPON "), propinaGroupon());
            } else {
                lineaMonto(QStringLiteral("PROPINA SUGERIDA "), numero(u"propinaSugerida"));
            }
            total = numero(u"totalPagar") + numero(u"propinaSugerida") - numero(u"descuento");
        }

        // With the 5% and 10% choice the customer decides the tip, so no total is printed.
        if (!config.opcionPropina5y10) {
            if (config.resaltarTotal) {
                imprimirTotalResaltado(impresion, QStringLiteral("** TOTAL "), total);
            } else {
                lineaMonto(QStringLiteral("TOTAL"), total);
            }
        }
    } else if (config.resaltarTotal) {
        imprimirTotalResaltado(impresion, QStringLiteral(" ** TOTAL "), numero(u"totalPagar") - numero(u"descuento"));
    } else if (cerrada) {
        lineaMonto(QStringLiteral("TOTAL "), numero(u"totalPagado"));
    } else {
        lineaMonto(QStringLiteral("TOTAL "), numero(u"totalPagar") - numero(u"descuento"));
    }

    // The list is read under every regime: an invoice without one is faulty wherever it prints.
    const Collection impuestos = factura[u"impuestos"].toCollection();
    if (mayusculas(config.regimen) != u"COMUN" || impuestos.Count() == 0) return;

    const qint16 ancho = impresion.config.anchoTicket();
    const qint16 finBase = texto.escalarColumna(kColumnaBase);
    impresora.printLine(QStringLiteral(" "));
    texto.imprimirSeparador(QStringLiteral("="));
    impresora.printLine(paper::PrinterLine(QStringLiteral("IMPUESTO"))
                            .column(finBase - 4)
                            .text(QStringLiteral("BASE"))
                            .column(ancho - 5)
                            .text(QStringLiteral("VALOR")));
    for (const Value& impuesto : impuestos) {
        const QString base = texto.textoMonto(impuesto[u"base"].toNumber(locale));
        const QString valor = texto.textoMonto(impuesto[u"valor"].toNumber(locale));
        impresora.printLine(paper::PrinterLine(mayusculas(impuesto[u"nombre"].toText(locale)))
                                .column(finBase - static_cast<int>(base.size()))
                                .text(base)
                                .column(ancho - static_cast<int>(valor.size()))
                                .text(valor));
    }
}

}  // namespace kelmora
