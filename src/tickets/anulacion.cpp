// The cancellation ticket: products of an order that a preparation area no longer has to make.
#include "tickets/anulacion.h"

#include "printing/imprimir.h"
#include "tickets/comanda_productos.h"

namespace kelmora {

namespace {

constexpr double kTamanoBanner = 16;
constexpr double kTamanoCuerpo = 12;

void imprimirAnulacion(Imprimir& imprimir, const Value& anulacion, const QString& area) {
    platform::Printer& impresora = imprimir.impresora();
    Documento documento(imprimir, QStringLiteral("Anulacion"));

    // The area comes out in the printer's own font: no font name is set before it.
    imprimir.imprimirTextoMedido(area, imprimir.anchoTicket(), 2, 0);
    fuenteComanda(imprimir);
    imprimir.imprimirSeparador(QStringLiteral("="));
    impresora.setFontSize(kTamanoBanner);
    impresora.printLine(QStringLiteral("A N U L A C I O N!!"));
    impresora.printLine(lineaValor(anulacion[u"nomMesa"], imprimir.locale()));
    imprimir.imprimirSeparador(QStringLiteral("="));
    impresora.setFontSize(kTamanoCuerpo);

    imprimirProductos(imprimir, anulacion[u"productos"],
                      [&](const Value& producto) { imprimirLineaProducto(imprimir, producto); });

    impresora.setFontSize(kTamanoCuerpo);
    imprimir.imprimirSeparador(QStringLiteral("="));
    // The time of printing, not the order's: the kitchen needs to know when it was withdrawn.
    impresora.printLine(QStringLiteral("Fecha\\Hora: "));
    impresora.printLine(imprimir.reloj().now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    impresora.setFontSize(imprimir.tamanoPequeno());
    terminarComanda(imprimir, documento);
}

}  // namespace

void imprimirAnulaciones(Imprimir& imprimir, const Collection& anulaciones) {
    if (!imprimir.hayImpresora()) return;
    // Set once on the printer current before the first ticket; each selection below gives its
    // printer the default font again.
    imprimir.impresora().setFontSize(imprimir.tamanoPequeno());
    for (const Value& anulacion : anulaciones) {
        // No test for "NN" or an empty area: such a name matches no printer and the ticket goes to
        // the default one.
        const QString area = anulacion[u"area"].toText(imprimir.locale());
        if (!imprimir.seleccionarImpresora(imprimir.indiceImpresora(area), false)) continue;
        imprimirAnulacion(imprimir, anulacion, area);
    }
}

}  // namespace kelmora
