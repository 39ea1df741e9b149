// The cancellation ticket: products of an order that a preparation area no longer has to make.
#include "tickets/anulacion.h"

#include "printing/contexto_ticket.h"
#include "tickets/comanda_productos.h"

namespace kelmora {

namespace {

constexpr double kTamanoBanner = 16;
constexpr double kTamanoCuerpo = 12;

void imprimirTicketAnulacion(const ContextoTicket& impresion, const Value& anulacion, const QString& area) {
    TextoTicket& texto = impresion.texto;
    const ConfigImpresion& config = impresion.config;
    platform::Printer& impresora = impresion.impresora();
    Documento documento(impresion.seleccion, impresion.config, nombreClase(ClaseDocumento::Anulacion));

    // The area comes out in the printer's own font: no font name is set before it.
    texto.imprimirTextoMedido(area, config.anchoTicket(), Alineacion::Centro, 0);
    fuenteComanda(impresion);
    texto.imprimirSeparador(QStringLiteral("="));
    impresora.setFontSize(kTamanoBanner);
    impresora.printLine(QStringLiteral("A N U L A C I O N!!"));
    impresora.printLine(lineaValor(anulacion[u"nomMesa"], impresion.locale()));
    texto.imprimirSeparador(QStringLiteral("="));
    impresora.setFontSize(kTamanoCuerpo);

    imprimirProductos(impresion, anulacion[u"productos"],
                      [&](const Value& producto) { imprimirLineaProducto(impresion, producto); });

    impresora.setFontSize(kTamanoCuerpo);
    texto.imprimirSeparador(QStringLiteral("="));
    // The time of printing, not the order's: the kitchen needs to know when it was withdrawn.
    impresora.printLine(QStringLiteral("Fecha\\Hora: "));
    impresora.printLine(impresion.reloj.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    impresora.setFontSize(config.tamanoPequeno());
    terminarComanda(impresion, documento);
}

}  // namespace

void imprimirAnulacion(const ContextoTicket& impresion, const Value& anulacion) {
    SeleccionImpresora& seleccion = impresion.seleccion;
    if (!seleccion.hayImpresora()) return;
    // Set on the printer current before the ticket; the selection below gives its printer the
    // default font again.
    impresion.impresora().setFontSize(impresion.config.tamanoPequeno());
    // No test for "NN" or an empty area: such a name matches no printer and the ticket goes to
    // the default one.
    const QString area = anulacion[u"area"].toText(impresion.locale());
    if (!seleccion.seleccionarPara(area)) return;
    imprimirTicketAnulacion(impresion, anulacion, area);
}

void imprimirAnulaciones(const ContextoTicket& impresion, const Collection& anulaciones) {
    for (const Value& anulacion : anulaciones) imprimirAnulacion(impresion, anulacion);
}

}  // namespace kelmora
