#pragma once

namespace kelmora {

struct ConfigFactura;
struct ContextoTicket;
class Value;

// What is to be paid: subtotal, tip or delivery charge and total, then the table of taxes under
// the common regime, as the invoice settings `config` say.
void imprimirTotalesFactura(const ContextoTicket& impresion, const ConfigFactura& config, const Value& factura);

}  // namespace kelmora
