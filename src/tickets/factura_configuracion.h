#pragma once

namespace kelmora {

class Imprimir;

// Fills `configFactura` from the settings list of the latest payload. Every field is overwritten.
void cargarConfigFactura(Imprimir& imprimir);

}  // namespace kelmora
