#pragma once

#include "json/value.h"

namespace kelmora {

class Imprimir;

// Prints every cancellation of the payload's `anulaciones` list on the printer of its area. It
// catches nothing: a run-time error leaves the call with the document unfinished and abandoned.
void imprimirAnulaciones(Imprimir& imprimir, const Collection& anulaciones);

}  // namespace kelmora
