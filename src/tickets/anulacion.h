#pragma once

#include "json/value.h"

namespace kelmora {

struct ContextoTicket;

// Prints one cancellation of the payload's `anulaciones` list on the printer of its area. It
// catches nothing: a run-time error leaves the call with the document unfinished and abandoned.
void imprimirAnulacion(const ContextoTicket& impresion, const Value& anulacion);
// The cancellations of a list in turn.
void imprimirAnulaciones(const ContextoTicket& impresion, const Collection& anulaciones);

}  // namespace kelmora
