#pragma once

#include "json/value.h"

namespace kelmora {

class Imprimir;

// The print-job dispatcher: turns one parsed poll answer into print work. The service keeps a
// single one for its whole run.
class Conexion {
public:
    explicit Conexion(Imprimir& imprimir) : imprimir_(imprimir) {}

    // Stores the answer's settings and read ids, then prints, in this order, the kitchen orders,
    // the cancellations, each invoice, and opens the cash drawer when asked. Nothing is printed
    // when `idsLeidos` is empty. Catches nothing: a payload without one of the lists, a list that
    // is not one, or a ticket's uncaught run-time error leaves by RuntimeError, with what was
    // already done left done.
    void setComunicacion(const Value& ObjDatos);

    // The `idsLeidos` list of the latest answer; empty until one arrives.
    Collection listaIdsLeidos;

private:
    Imprimir& imprimir_;
};

}  // namespace kelmora
