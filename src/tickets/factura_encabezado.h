#pragma once

#include "printing/config_factura.h"
#include "printing/logo.h"

#include <QString>

namespace kelmora {

struct ContextoTicket;

// The logo file invoices print, in the program's folder.
QString rutaLogo(const ContextoTicket& impresion);

// The fixed blocks of an invoice, from its settings and the settings list.
// The logo at the top of the page, and enough empty lines to print below it.
void imprimirLogo(const ContextoTicket& impresion);
// A rule and the establishment's lines. Never fails: a line that cannot be printed is left out.
void imprimirEncabezadoFactura(const ContextoTicket& impresion, const ConfigFactura& c);
// The tax regime and the numbering resolution, closed by a rule.
void imprimirResolucionDian(const ContextoTicket& impresion, const ConfigFactura& c);
// A rule and the legal notice that the tip is voluntary.
void imprimirLeyendaPropina(const ContextoTicket& impresion);
// The software maker's lines between two rules.
void imprimirPieSoftware(const ContextoTicket& impresion);

}  // namespace kelmora
