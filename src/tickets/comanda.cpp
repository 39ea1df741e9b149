// The kitchen order ticket ("comanda"): what a preparation area has to prepare for a table.
#include "tickets/comanda.h"

#include "json/runtime_error.h"
#include "printing/imprimir.h"
#include "tickets/comanda_productos.h"

namespace kelmora {

namespace {

constexpr double kTamanoMesa = 16;
constexpr double kTamanoCuerpo = 12;

// The product line when the branch prints values: quantity, the name's leading words that fit,
// and the value ending in the last column; the rest of the name wraps below at column 5.
void imprimirLineaConValor(Imprimir& imprimir, const Value& producto) {
    const QLocale& locale = imprimir.locale();
    const QString nombre = producto[u"nombre"].toText(locale);
    const qint16 corte = imprimir.calcularCorte(nombre, imprimir.escalarColumna(18));
    const QString valor = imprimir.textoMonto(producto[u"valor"].toNumber(locale));
    imprimir.impresora().printLine(platform::PrinterLine()
                                       .number(cantidadProducto(producto, locale), locale)
                                       .column(imprimir.escalarColumna(7))
                                       .text(nombre.left(corte))
                                       .column(imprimir.espacioLibre(valor, imprimir.anchoTicket()))
                                       .text(valor));
    if (nombre.size() > corte) imprimir.imprimirTexto(nombre.mid(corte), imprimir.anchoTicket(), 0, 5);
}

void imprimirComanda(Imprimir& imprimir, const Value& comanda, const QString& area) {
    const QLocale& locale = imprimir.locale();
    platform::Printer& impresora = imprimir.impresora();
    Documento documento(imprimir, QStringLiteral("Comanda"));
    Decimal total;

    const Value titulo = comanda[u"titulo"];
    if (!titulo.isNull()) {
        impresora.setFontSize(imprimir.tamanoPequeno());
        imprimir.imprimirTextoMedido(titulo.toText(locale), imprimir.anchoTicket(), 2, 0);
        imprimir.imprimirSeparador(QStringLiteral("="));
    }
    // Heading and area come out in the printer's own font: no font name is set before them.
    impresora.setFontSize(imprimir.tamanoPequeno());
    imprimir.imprimirTextoMedido(area, imprimir.anchoTicket(), 2, 0);

    fuenteComanda(imprimir);
    imprimir.imprimirSeparador(QStringLiteral("="));
    impresora.setFontSize(kTamanoMesa);
    impresora.printLine(lineaValor(comanda[u"nomMesa"], locale));
    imprimir.imprimirSeparador(QStringLiteral("="));
    impresora.setFontSize(kTamanoCuerpo);

    const QString conValores = QStringLiteral("Valores En Comanda");
    imprimirProductos(imprimir, comanda[u"productos"], [&](const Value& producto) {
        if (imprimir.leerConfig(conValores) == u"1") {
            imprimirLineaConValor(imprimir, producto);
            total += producto[u"valor"].toNumber(locale);
        } else {
            imprimirLineaProducto(imprimir, producto);
        }
    });
    if (imprimir.leerConfig(conValores) == u"1") {
        imprimir.imprimirTexto(QStringLiteral("TOTAL   ") + total.toText(locale), imprimir.anchoTicket(), 1, 0);
    }

    impresora.setFontSize(kTamanoCuerpo);
    imprimir.imprimirSeparador(QStringLiteral("="));
    imprimir.imprimirTextoMedido(QStringLiteral("Atiende: ") + comanda[u"responsable"].toText(locale),
                                 imprimir.anchoTicket(), 0, 0);
    impresora.printLine(QStringLiteral("Pedido ") + comanda[u"nPedido"].toText(locale));
    impresora.printLine(QStringLiteral("Fecha\\Hora: "));
    impresora.printLine(lineaValor(comanda[u"fecha"], locale));
    impresora.setFontSize(imprimir.tamanoPequeno());

    if (!comanda[u"clienteNombre"].isEmptyText()) {
        imprimir.imprimirSeparador(QStringLiteral("="));
        imprimir.imprimirTexto(QStringLiteral("DATOS CLIENTE"), imprimir.anchoTicket(), 0, 0);
        imprimir.imprimirTexto(QStringLiteral("Nombre: ") + comanda[u"clienteNombre"].toText(locale),
                               imprimir.anchoTicket(), 0, 0);
        imprimir.imprimirTexto(QStringLiteral("Telefono: ") + comanda[u"clienteTelefono"].toText(locale),
                               imprimir.anchoTicket(), 0, 0);
        imprimir.imprimirTextoMedido(QStringLiteral("Direccion: ") + comanda[u"clienteDireccion"].toText(locale),
                                     imprimir.anchoTicket(), 0, 0);
    }

    impresora.setFontSize(kTamanoCuerpo);
    const Value plataforma = comanda[u"codPlataforma"];
    if (!plataforma.isEmptyText()) {
        imprimir.imprimirSeparador(QStringLiteral("="));
        imprimir.imprimirTexto(plataforma.toText(locale), imprimir.anchoTicket(), 0, 0);
    }

    terminarComanda(imprimir, documento);
}

}  // namespace

void imprimirComandas(Imprimir& imprimir, const Collection& comandas) {
    try {
        if (!imprimir.hayImpresora()) return;
        for (const Value& comanda : comandas) {
            const Value area = comanda[u"area"];
            if (area.equals(u"NN", imprimir.locale()) || area.isEmptyText()) continue;
            const QString nombreArea = area.toText(imprimir.locale());
            if (!imprimir.seleccionarImpresora(imprimir.indiceImpresora(nombreArea), false)) continue;
            imprimirComanda(imprimir, comanda, nombreArea);
        }
    } catch (const RuntimeError& error) {
        imprimir.avisos().ShowBalloonTip(error.description(), platform::BalloonIcon::Warning, QStringLiteral("Comanda"),
                                         platform::kBalloonMilliseconds);
    }
}

}  // namespace kelmora
