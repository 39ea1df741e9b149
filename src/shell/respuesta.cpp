#include "shell/respuesta.h"

namespace kelmora::shell {

QString atenderRespuesta(JsonReader& lector, const QString& texto,
                         const std::function<void(const Value& datos)>& despachar) {
    const Value datos = lector.leerJSON(texto.mid(kPrefijoRespuesta));
    if (!lector.erroresJSON().isEmpty()) return lector.erroresJSON();
    despachar(datos);
    return {};
}

}  // namespace kelmora::shell
