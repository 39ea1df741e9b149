#include "shell/respuesta.h"

namespace kelmora::shell {

QString atenderRespuesta(JsonReader& lector, const QString& texto, const Despachar& despachar) {
    const QString json = texto.mid(kPrefijoRespuesta);
    const Value datos = lector.leerJSON(json);
    if (!lector.erroresJSON().isEmpty()) return lector.erroresJSON();
    despachar(datos, json);
    return {};
}

}  // namespace kelmora::shell
