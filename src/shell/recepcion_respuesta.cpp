#include "shell/recepcion_respuesta.h"

#include "json/runtime_error.h"
#include "platform/drawer_printer.h"
#include "printing/document/clase_documento.h"
#include "tickets/comanda.h"
#include "tickets/factura.h"

#include <functional>

namespace kelmora::shell {

using paper::JournalDocument;

namespace {

// What a record names, for the journal's list; a value that is no text names nothing.
QString textoDe(const Value& registro, const char16_t* clave, const QLocale& locale) {
    try {
        return registro[clave].toText(locale);
    } catch (const RuntimeError&) {
        return {};
    }
}

// Whether a record is printed at all; one whose test itself fails is printed, so that its ticket
// meets the same failure and tells it as it always did.
bool imprimible(const std::function<bool()>& prueba) {
    try {
        return prueba();
    } catch (const RuntimeError&) {
        return true;
    }
}

JournalDocument documento(ClaseDocumento clase, int posicion, const Value& registro, const QString& impresora,
                          const char16_t* clavePedido, const QLocale& locale) {
    JournalDocument d;
    d.list = listaDeClase(clase);
    d.position = posicion;
    d.kind = nombreClase(clase);
    d.table = textoDe(registro, u"nomMesa", locale);
    if (clavePedido != nullptr) d.order = textoDe(registro, clavePedido, locale);
    d.requestedPrinter = impresora;
    return d;
}

}  // namespace

QList<JournalDocument> documentosDeRespuesta(const Collection& comandas, const Collection& anulaciones,
                                             const Collection& facturas, bool abrirCajon,
                                             const QString& predeterminada, const QLocale& locale) {
    QList<JournalDocument> documentos;
    int posicion = 0;
    for (const Value& comanda : comandas) {
        if (imprimible([&] { return comandaImprimible(comanda, locale); })) {
            documentos.append(documento(ClaseDocumento::Comanda, posicion, comanda, textoDe(comanda, u"area", locale),
                                        u"nPedido", locale));
        }
        ++posicion;
    }
    posicion = 0;
    for (const Value& anulacion : anulaciones) {
        documentos.append(documento(ClaseDocumento::Anulacion, posicion++, anulacion,
                                    textoDe(anulacion, u"area", locale), nullptr, locale));
    }
    posicion = 0;
    for (const Value& factura : facturas) {
        if (imprimible([&] { return facturaImprimible(factura); })) {
            documentos.append(
                documento(ClaseDocumento::Factura, posicion, factura, predeterminada, u"idFacturaCuenta", locale));
        }
        ++posicion;
    }
    if (abrirCajon) {
        JournalDocument cajon;
        cajon.list = listaDeClase(ClaseDocumento::Cajon);
        cajon.kind = nombreClase(ClaseDocumento::Cajon);
        cajon.requestedPrinter = platform::kDrawerPrinter;
        documentos.append(cajon);
    }
    return documentos;
}

Value registroDocumento(const Value& datos, const JournalDocument& d) {
    if (claseDocumento(d.kind) == ClaseDocumento::Cajon) return {};
    return datos[d.list].toCollection().item(d.position + 1);
}

}  // namespace kelmora::shell
