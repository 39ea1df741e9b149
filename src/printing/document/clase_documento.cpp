#include "printing/document/clase_documento.h"

namespace kelmora {

namespace {

struct Nombres {
    ClaseDocumento clase;
    const char16_t* nombre;
    const char16_t* legible;
    const char16_t* lista;
};

constexpr Nombres kNombres[] = {
    {ClaseDocumento::Comanda, u"Comanda", u"Comanda", u"comanda"},
    {ClaseDocumento::Anulacion, u"Anulacion", u"Anulación", u"anulaciones"},
    {ClaseDocumento::Factura, u"Factura", u"Factura", u"factura"},
    {ClaseDocumento::Cajon, u"Cajon", u"Cajón", u"abrirCajon"},
};

const Nombres& nombres(ClaseDocumento clase) { return kNombres[static_cast<int>(clase)]; }

}  // namespace

QString nombreClase(ClaseDocumento clase) { return QString::fromUtf16(nombres(clase).nombre); }

QString nombreClaseLegible(ClaseDocumento clase) { return QString::fromUtf16(nombres(clase).legible); }

QString listaDeClase(ClaseDocumento clase) { return QString::fromUtf16(nombres(clase).lista); }

std::optional<ClaseDocumento> claseDocumento(const QString& nombre) {
    for (const Nombres& n : kNombres) {
        if (nombre == n.nombre) return n.clase;
    }
    return std::nullopt;
}

}  // namespace kelmora
