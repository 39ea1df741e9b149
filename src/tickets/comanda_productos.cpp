#include "tickets/comanda_productos.h"

#include "printing/imprimir.h"

namespace kelmora {

namespace {
constexpr double kTamanoProducto = 12;
}

void fuenteComanda(Imprimir& imprimir) {
    platform::Printer& impresora = imprimir.impresora();
    impresora.setFontBold(false);
    impresora.setFontItalic(false);
    impresora.setFontName(QStringLiteral("Courier 17 CPI"));
}

platform::PrinterLine lineaValor(const Value& valor, const QLocale& locale) {
    if (const Decimal* numero = valor.numberIf()) return platform::PrinterLine().number(*numero, locale);
    return platform::PrinterLine(valor.toText(locale));
}

Decimal cantidadProducto(const Value& producto, const QLocale& locale) {
    return producto[u"cantidad"].toNumber(locale).abs();
}

void imprimirProductos(Imprimir& imprimir, const Value& productos,
                       const std::function<void(const Value& producto)>& imprimirLinea) {
    qint16 impresos = 0;
    for (const Value& producto : productos.toCollection()) {
        fuenteComanda(imprimir);
        if (producto[u"nombre"].isEmptyText()) continue;
        imprimir.impresora().setFontSize(kTamanoProducto);
        if (impresos > 0) imprimir.imprimirSeparador(QStringLiteral("-"));
        imprimirLinea(producto);
        for (const Value& detalle : producto[u"detalle"].toCollection()) {
            const QString nota = detalle.toText(imprimir.locale());
            if (recortarBlancos(nota).isEmpty()) continue;
            imprimir.imprimirTextoMedido(QStringLiteral("-> ") + nota, imprimir.anchoTicket(), 0, 0);
        }
        impresos = aEntero16(impresos + 1.0);
    }
}

void imprimirLineaProducto(Imprimir& imprimir, const Value& producto) {
    const QLocale& locale = imprimir.locale();
    const QString texto = cantidadProducto(producto, locale).toText(locale) + QStringLiteral("   ") +
                          producto[u"nombre"].toText(locale);
    imprimir.imprimirTextoMedido(texto, imprimir.anchoTicket(), 0, 0);
}

void terminarComanda(Imprimir& imprimir, Documento& documento) {
    platform::Printer& impresora = imprimir.impresora();
    impresora.printLine(QStringLiteral(" "));
    impresora.printLine(QStringLiteral("."));
    documento.terminar();
    imprimir.avisos().ShowBalloonTip(QStringLiteral("Comanda enviada a ") + impresora.deviceName(),
                                     platform::BalloonIcon::Information, QStringLiteral("Impresion de comanda"),
                                     platform::kBalloonMilliseconds);
}

}  // namespace kelmora
