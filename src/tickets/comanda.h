#pragma once

#include "json/value.h"

namespace kelmora {

struct Impresion;

// Prints every kitchen order of the payload's `comanda` list, each on the printer of its area,
// and tells each one in a balloon. A run-time error stops the list and is told in a "Comanda"
// warning balloon; it does not reach the caller.
void imprimirComandas(const Impresion& impresion, const Collection& comandas);

}  // namespace kelmora
