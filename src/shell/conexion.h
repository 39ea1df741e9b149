#pragma once

#include "json/value.h"
#include "printing/impresion.h"
#include "shell/cola_impresion.h"
#include "shell/diario_memoria.h"

#include <memory>

namespace kelmora {

// The print-job dispatcher: turns one parsed poll answer into print work. The service keeps a
// single one for its whole run.
class Conexion {
public:
    // `configImpresion` is the settings object the answer's settings are stored in; the documents
    // go through `cola`, which records them before they are printed.
    Conexion(ConfigImpresion& configImpresion, shell::ColaImpresion& cola);
    // For runs that keep nothing (a rendered answer, a fuzzing input): a queue of its own on a
    // journal in memory, printing with what `impresion` prints with.
    Conexion(ConfigImpresion& configImpresion, const Impresion& impresion);
    ~Conexion();
    Conexion(const Conexion&) = delete;
    Conexion& operator=(const Conexion&) = delete;

    // Stores the answer's settings and read ids, then prints, in this order, the kitchen orders,
    // the cancellations, each invoice, and opens the cash drawer when asked. Nothing is printed
    // when `idsLeidos` is empty. A payload without one of the lists, a list that is not one, or a
    // cancellation's or invoice's uncaught run-time error leaves by RuntimeError, with what was
    // already done left done.
    void setComunicacion(const Value& ObjDatos);

    // The `idsLeidos` list of the latest answer; empty until one arrives.
    Collection listaIdsLeidos;

private:
    struct Propia;

    ConfigImpresion& configImpresion_;
    std::unique_ptr<Propia> propia_;
    shell::ColaImpresion* cola_;
};

}  // namespace kelmora
