#pragma once

// What the invoice tests share: answers and golden documents under tests/data/invoices, and a
// bench that prints one invoice block at a time.
#include "json/qt_printers.h"
#include "json/runtime_error.h"
#include "support/test_support.h"
#include "tickets/factura_configuracion.h"

#include <gtest/gtest.h>

namespace kelmora::testing {

// Loads an answer's settings into the bench and gives the answer.
inline Value cargarRespuesta(PrintBench& banco, const QString& archivo) {
    const Value respuesta = parseJson(readDataFile(QStringLiteral("invoices/") + archivo));
    banco.config.actualizar(respuesta[u"config"].toCollection());
    return respuesta;
}

inline Value primeraFactura(const Value& respuesta) { return respuesta[u"factura"].toCollection().item(1); }

// A golden document, with the software maker's lines this build prints.
inline QString documentoEsperado(const QString& archivo) {
    QString texto = readDataFile(QStringLiteral("invoices/") + archivo);
    texto.replace(QStringLiteral("@NIT@"), QStringLiteral(KELMORA_SOFTWARE_NIT));
    texto.replace(QStringLiteral("@WEB@"), QStringLiteral(KELMORA_SOFTWARE_WEB));
    return texto;
}

// The run-time error an action raises; empty when it raises none.
template <typename Accion>
QString errorDe(Accion&& accion) {
    try {
        accion();
    } catch (const RuntimeError& error) {
        return error.description();
    }
    return {};
}

// Prints one block on the bench's printer, handing it the invoice settings read from the bench's
// settings list, ends the document and gives its text; what the block raised is left in `error`.
template <typename Bloque>
QString imprimirBloque(PrintBench& banco, Bloque&& bloque, QString* error = nullptr, bool conFuentes = false) {
    EXPECT_TRUE(banco.seleccion.seleccionarImpresora(0, false));
    const ConfigFactura configFactura = cargarConfigFactura(banco.config);
    const QString falla = errorDe([&] { bloque(configFactura); });
    if (error != nullptr) {
        *error = falla;
    } else {
        EXPECT_EQ(falla.toStdString(), "");
    }
    banco.printers.current().endDoc();
    return banco.onlyDocument(conFuentes);
}

}  // namespace kelmora::testing
