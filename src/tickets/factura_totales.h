#pragma once

namespace kelmora {

class Imprimir;
class Value;

// What is to be paid: subtotal, tip or delivery charge and total, then the table of taxes under
// the common regime. Reads `configFactura`, which must be loaded.
void imprimirTotalesFactura(Imprimir& imprimir, const Value& factura);

}  // namespace kelmora
