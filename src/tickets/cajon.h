#pragma once

namespace kelmora {

struct ContextoTicket;

// Opens the cash drawer wired to the drawer printer ("Facturas") (or to the default printer when that one
// is missing or failing). A drawer that cannot be reached is not reported.
void abrirCajonMonedero(const ContextoTicket& impresion);

}  // namespace kelmora
