#pragma once

#include "json/value.h"
#include "printing/contexto_ticket.h"
#include "shell/cola_impresion.h"

#include <memory>

namespace kelmora::shell {

// The print-job dispatcher: turns one parsed poll answer into print work. The service keeps a
// single one for its whole run.
class Despachador {
public:
    // `configImpresion` is the settings object the answer's settings are stored in; the documents
    // go through `cola`, which records them before they are printed.
    Despachador(ConfigImpresion& configImpresion, ColaImpresion& cola);
    // For runs that keep nothing (a rendered answer, a fuzzing input): a queue of its own on a
    // journal in memory, printing here and now with what `impresion` prints with.
    Despachador(ConfigImpresion& configImpresion, const ContextoTicket& impresion);
    ~Despachador();
    Despachador(const Despachador&) = delete;
    Despachador& operator=(const Despachador&) = delete;

    // Stores the answer's settings and read ids, then prints, in this order, the kitchen orders,
    // the cancellations, each invoice, and opens the cash drawer when asked. `texto` is the
    // answer's JSON as the server sent it, which the journal keeps. Nothing is printed when
    // `idsLeidos` is empty. A payload without one of the lists, a list that is not one, or a
    // cancellation's or invoice's uncaught run-time error found before this returns leaves by
    // RuntimeError, with what was already done left done.
    void setComunicacion(const Value& ObjDatos, const QString& texto);

    // The `idsLeidos` list of the latest answer; empty until one arrives.
    Collection listaIdsLeidos;

private:
    struct ColaPropia;

    ConfigImpresion& configImpresion_;
    std::unique_ptr<ColaPropia> propia_;
    ColaImpresion* cola_;
};

}  // namespace kelmora::shell
