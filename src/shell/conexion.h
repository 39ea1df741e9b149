#pragma once

#include "json/value.h"
#include "printing/impresion.h"

namespace kelmora {

// The print-job dispatcher: turns one parsed poll answer into print work. The service keeps a
// single one for its whole run.
class Conexion {
public:
    // `configImpresion` is the settings object that `impresion` reads: the dispatcher is the one
    // that replaces its list.
    Conexion(ConfigImpresion& configImpresion, Impresion impresion)
        : configImpresion_(configImpresion), impresion_(std::move(impresion)) {}

    // Stores the answer's settings and read ids, then prints, in this order, the kitchen orders,
    // the cancellations, each invoice, and opens the cash drawer when asked. Nothing is printed
    // when `idsLeidos` is empty. Catches nothing: a payload without one of the lists, a list that
    // is not one, or a ticket's uncaught run-time error leaves by RuntimeError, with what was
    // already done left done.
    void setComunicacion(const Value& ObjDatos);

    // The `idsLeidos` list of the latest answer; empty until one arrives.
    Collection listaIdsLeidos;

private:
    ConfigImpresion& configImpresion_;
    Impresion impresion_;
};

}  // namespace kelmora
