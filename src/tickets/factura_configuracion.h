#pragma once

#include "printing/config_factura.h"

namespace kelmora {

class ConfigImpresion;

// The invoice settings read from the settings list of the latest payload.
ConfigFactura cargarConfigFactura(const ConfigImpresion& config);

}  // namespace kelmora
