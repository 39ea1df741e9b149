#pragma once

#include "json/value.h"

#include <QLocale>
#include <QString>

#include <optional>

namespace kelmora {

struct Impresion;

// Prints every kitchen order of the payload's `comanda` list, each on the printer of its area,
// and tells each one in a balloon. A run-time error stops the list and is told in a "Comanda"
// warning balloon; it does not reach the caller, which gets its description. A printer's failure
// (platform::PrinterError) is not the list's to tell: it goes up, so the order can be held.
std::optional<QString> imprimirComandas(const Impresion& impresion, const Collection& comandas);

// Whether the order is printed at all: an area of "NN" or none means it is not.
bool comandaImprimible(const Value& comanda, const QLocale& locale);

}  // namespace kelmora
