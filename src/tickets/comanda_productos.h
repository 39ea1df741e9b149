#pragma once

#include "json/value.h"
#include "printing/document/printer_line.h"

#include <QLocale>

#include <functional>

namespace kelmora {

class Documento;
struct ContextoTicket;

// What the kitchen order and the cancellation tickets print alike.

// The ticket's body font: "Courier 17 CPI", bold and the second style off. The size is left alone.
void fuenteComanda(const ContextoTicket& impresion);

// A value alone on a printer line: a number with its sign blank and trailing blank, anything else
// as text.
paper::PrinterLine lineaValor(const Value& valor, const QLocale& locale);

// The quantity as printed: its absolute value.
Decimal cantidadProducto(const Value& producto, const QLocale& locale);

// The products of `productos` in order. A product with an empty name is passed over and not
// counted; a "-" rule separates printed products. `imprimirLinea` prints a product's own line,
// then come its notes.
void imprimirProductos(const ContextoTicket& impresion, const Value& productos,
                       const std::function<void(const Value& producto)>& imprimirLinea);

// The plain product line: quantity, three blanks, name, wrapped by measure at the left.
void imprimirLineaProducto(const ContextoTicket& impresion, const Value& producto);

// The end of the ticket: a blank line and a dot for the cut, the document sent, and the balloon
// that names the printer it went to.
void terminarComanda(const ContextoTicket& impresion, Documento& documento);

}  // namespace kelmora
