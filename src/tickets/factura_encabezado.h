#pragma once

#include <QString>

namespace kelmora {

class Imprimir;

// The logo file invoices print, in the program's folder.
QString rutaLogo(const Imprimir& imprimir);

// The fixed blocks of an invoice, from `configFactura` and the settings list.
// The logo at the top of the page, and enough empty lines to print below it.
void imprimirLogo(Imprimir& imprimir);
// A rule and the establishment's lines. Never fails: a line that cannot be printed is left out.
void imprimirEncabezadoFactura(Imprimir& imprimir);
// The tax regime and the numbering resolution, closed by a rule.
void imprimirResolucionDian(Imprimir& imprimir);
// A rule and the legal notice that the tip is voluntary.
void imprimirLeyendaPropina(Imprimir& imprimir);
// The software maker's lines between two rules.
void imprimirPieSoftware(Imprimir& imprimir);

}  // namespace kelmora
