#include "tickets/comanda_productos.h"

#include "printing/contexto_ticket.h"

namespace kelmora {

namespace {
constexpr double kTamanoProducto = 12;
}

void fuenteComanda(const ContextoTicket& impresion) {
    platform::Printer& impresora = impresion.impresora();
    impresora.setFontBold(false);
    impresora.setFontItalic(false);
    impresora.setFontName(QStringLiteral("Courier 17 CPI"));
}

paper::PrinterLine lineaValor(const Value& valor, const QLocale& locale) {
    if (const Decimal* numero = valor.numberIf()) return paper::PrinterLine().number(*numero, locale);
    return paper::PrinterLine(valor.toText(locale));
}

Decimal cantidadProducto(const Value& producto, const QLocale& locale) {
    return producto[u"cantidad"].toNumber(locale).abs();
}

void imprimirProductos(const ContextoTicket& impresion, const Value& productos,
                       const std::function<void(const Value& producto)>& imprimirLinea) {
    qint16 impresos = 0;
    for (const Value& producto : productos.toCollection()) {
        fuenteComanda(impresion);
        if (producto[u"nombre"].isEmptyText()) continue;
        impresion.impresora().setFontSize(kTamanoProducto);
        if (impresos > 0) impresion.texto.imprimirSeparador(QStringLiteral("-"));
        imprimirLinea(producto);
        for (const Value& detalle : producto[u"detalle"].toCollection()) {
            const QString nota = detalle.toText(impresion.locale());
            if (recortarBlancos(nota).isEmpty()) continue;
            impresion.texto.imprimirTextoMedido(QStringLiteral("-> ") + nota, impresion.config.anchoTicket(), Alineacion::Izquierda, 0);
        }
        impresos = aEntero16(impresos + 1.0);
    }
}

void imprimirLineaProducto(const ContextoTicket& impresion, const Value& producto) {
    const QLocale& locale = impresion.locale();
    const QString texto = cantidadProducto(producto, locale).toText(locale) + QStringLiteral("   ") +
                          producto[u"nombre"].toText(locale);
    impresion.texto.imprimirTextoMedido(texto, impresion.config.anchoTicket(), Alineacion::Izquierda, 0);
}

void terminarComanda(const ContextoTicket& impresion, Documento& documento) {
    platform::Printer& impresora = impresion.impresora();
    impresora.printLine(QStringLiteral(" "));
    impresora.printLine(QStringLiteral("."));
    documento.terminar();
    QString texto = QStringLiteral("Comanda enviada a ") + impresora.deviceName();
    platform::BalloonIcon icono = platform::BalloonIcon::Information;
    // A ticket that went to the default printer instead of its area's says so, and why: the
    // kitchen is not getting its orders.
    if (const auto& desvio = impresion.seleccion.desvio()) {
        texto += QStringLiteral(" en lugar de ") + desvio->pedida + QStringLiteral(" (") + desvio->motivo + u')';
        icono = platform::BalloonIcon::Warning;
    } else {
        texto = impresion.seleccion.comoReimpresion(texto);
    }
    impresion.avisos.ShowBalloonTip(texto, icono, QStringLiteral("Impresion de comanda"), platform::kBalloonMilliseconds);
}

}  // namespace kelmora
