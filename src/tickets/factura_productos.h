#pragma once

namespace kelmora {

class Imprimir;
class Value;

// The product lines of an invoice from its `pedido` list: quantity, name and line value, the rest
// of a long name below, and the product's notes. Lines whose value is not above 0 are left out.
void imprimirProductosFactura(Imprimir& imprimir, const Value& pedido);

}  // namespace kelmora
