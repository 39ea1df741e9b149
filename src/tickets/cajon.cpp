// The cash drawer: a pulse on the drawer port of the receipt printer.
#include "tickets/cajon.h"

#include "json/runtime_error.h"
#include "platform/drawer_printer.h"
#include "printing/contexto_ticket.h"

namespace kelmora {

namespace {

// ESC p 0 60 240: pulse pin 2 of the drawer port, 120 ms on and 480 ms off.
constexpr char kPulsoCajon[] = {0x1B, 0x70, 0x00, 0x3C, static_cast<char>(0xF0)};

}  // namespace

void abrirCajonMonedero(const ContextoTicket& impresion) {
    SeleccionImpresora& seleccion = impresion.seleccion;
    if (!seleccion.seleccionarImpresora(seleccion.indiceImpresora(platform::kDrawerPrinter), false)) return;
    try {
        // A fallback left its "Error en Impresora " note on the page: it goes out on its own, so
        // that it does not head whatever that printer prints next.
        platform::Printer& impresora = impresion.impresora();
        if (!impresora.pendingDocument().rows.isEmpty()) {
            impresora.setDocumentKind(nombreClase(ClaseDocumento::Cajon));
            impresora.endDoc();
        }
        seleccion.impresoras().sendRaw(QByteArray(kPulsoCajon, sizeof kPulsoCajon));
    } catch (const RuntimeError&) {
        // An unreachable drawer is not reported: the cashier opens it by key. A printing system that
        // did not take the pulse (platform::PrinterError) goes up: the pulse is held and tried again
        // for a short while.
    }
}

}  // namespace kelmora
