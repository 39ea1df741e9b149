#pragma once

namespace kelmora {

class Imprimir;

// Opens the cash drawer wired to the "Facturas" printer (or to the default printer when that one
// is missing or failing). A drawer that cannot be reached is not reported.
void abrirCajonMonedero(Imprimir& imprimir);

}  // namespace kelmora
