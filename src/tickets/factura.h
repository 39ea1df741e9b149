#pragma once

#include "json/value.h"

namespace kelmora {

struct ContextoTicket;

// Prints one invoice, pre-invoice or quotation of the payload's `factura` list on the default
// printer, and tells it in a balloon. A record without a table, or with no printer to take it, is
// passed over in silence. A run-time error ends the document unsent and reaches the caller, except
// the first one from the customer data on, after which printing resumes at the customer blanks.
void imprimirFactura(const ContextoTicket& impresion, const Value& factura);

// Whether the record is printed at all: a record without a table is not.
bool facturaImprimible(const Value& factura);

}  // namespace kelmora
