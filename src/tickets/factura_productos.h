#pragma once

namespace kelmora {

struct ContextoTicket;
class Value;

// The product lines of an invoice from its `pedido` list: quantity, name and line value, the rest
// of a long name below, and the product's notes. Lines whose value is not above 0 are left out.
void imprimirProductosFactura(const ContextoTicket& impresion, const Value& pedido);

}  // namespace kelmora
