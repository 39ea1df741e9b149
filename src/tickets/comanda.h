#pragma once

#include "json/value.h"

#include <QLocale>
#include <QString>

#include <optional>

namespace kelmora {

struct ContextoTicket;

// Prints one kitchen order of the payload's `comanda` list on the printer of its area, and tells
// it in a balloon. A run-time error ends it and is told in a "Comanda" warning balloon; it does
// not reach the caller, which gets its description. A printer's failure (platform::PrinterError)
// is not the order's to tell: it goes up, so the order can be held.
std::optional<QString> imprimirComanda(const ContextoTicket& impresion, const Value& comanda);
// The orders of a list in turn, up to the first that fails on its data.
std::optional<QString> imprimirComandas(const ContextoTicket& impresion, const Collection& comandas);

// Whether the order is printed at all: an area of "NN" or none means it is not.
bool comandaImprimible(const Value& comanda, const QLocale& locale);

}  // namespace kelmora
