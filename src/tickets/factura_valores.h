#pragma once

// How the invoice blocks read the values of a `factura` record. A comparison in which a null
// takes part is never true, as a missing key reads as empty.
#include "json/value.h"

#include <QLocale>

namespace kelmora::valores_factura {

inline bool mayorQueCero(const Value& valor, const QLocale& locale) { return valor.greaterThan(Decimal(), locale); }

// A delivery table.
inline bool esDomicilio(const Value& factura, const QLocale& locale) {
    return factura[u"tipoMesa"].equals(u"DOMICILIO", locale);
}

// The account is closed (paid); a null or missing flag means open.
inline bool esCuentaCerrada(const Value& factura, const QLocale& locale) {
    const Value cerrada = factura[u"cuentaCerrada"];
    return !cerrada.isNull() && cerrada.toBoolean(locale);
}

}  // namespace kelmora::valores_factura
