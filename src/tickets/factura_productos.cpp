// The invoice's product lines.
#include "tickets/factura_productos.h"

#include "json/value.h"
#include "printing/contexto_ticket.h"

namespace kelmora {

namespace {

// Columns on the 40-column design grid.
constexpr int kColumnaProducto = 9;  // heading "PRODUCTO"
constexpr int kColumnaNombre = 6;    // product name on a product line
constexpr int kAnchoNombre = 20;     // room for the leading words of a name
constexpr qint16 kColumnaResto = 5;  // the rest of a long name, already on the roll's grid

}  // namespace

void imprimirProductosFactura(const ContextoTicket& impresion, const Value& pedido) {
    TextoTicket& texto = impresion.texto;
    platform::Printer& impresora = impresion.impresora();
    const QLocale& locale = impresion.locale();
    const qint16 ancho = impresion.config.anchoTicket();

    impresora.setFontName(QStringLiteral("Courier 14 CPI"));
    texto.imprimirSeparador(QStringLiteral("="));
    const QString total = QStringLiteral("TOTAL");
    impresora.printLine(paper::PrinterLine(QStringLiteral("CANT"))
                            .column(texto.escalarColumna(kColumnaProducto))
                            .text(QStringLiteral("PRODUCTO"))
                            .column(texto.espacioLibre(total, ancho))
                            .text(total));
    impresora.printLine(QString());

    for (const Value& producto : pedido.toCollection()) {
        if (!producto[u"Valor"].greaterThan(Decimal(), locale)) continue;

        const QString nombre = producto[u"NombreProducto"].toText(locale);
        const qint16 corte = texto.calcularCorte(nombre, texto.escalarColumna(kAnchoNombre));
        const QString valor = texto.textoMonto(producto[u"Valor"].toNumber(locale));
        impresora.printLine(paper::PrinterLine()
                                .number(producto[u"Cantidad"].toNumber(locale).abs(), locale)
                                .column(texto.escalarColumna(kColumnaNombre))
                                .text(nombre.left(corte))
                                .column(texto.espacioLibre(valor, ancho))
                                .text(valor));
        if (nombre.size() > corte) texto.imprimirTexto(nombre.mid(corte), ancho, Alineacion::Izquierda, kColumnaResto);

        const Value detalle = producto[u"Detalle"];
        if (detalle.isNull()) continue;
        for (const QString& nota : detalle.toText(locale).split(QStringLiteral("<br/>"))) {
            if (recortarBlancos(nota).isEmpty()) continue;
            texto.imprimirTextoMedido(QStringLiteral("-> ") + nota, ancho, Alineacion::Izquierda, 0);
        }
    }

    texto.imprimirSeparador(QStringLiteral("="));
}

}  // namespace kelmora
