#include "shell/despachador.h"

#include "json/runtime_error.h"
#include "shell/diario_memoria.h"
#include "shell/hilo_impresion.h"

namespace kelmora::shell {

struct Despachador::ColaPropia {
    explicit ColaPropia(const ContextoTicket& impresion)
        : lado{impresion.seleccion, impresion.avisos, impresion.reloj, impresion.imagenes,
               impresion.carpetaPrograma} {}
    DiarioMemoria diario;
    BitacoraNula bitacora;
    EjecutorEnLinea ejecutor;
    LadoImpresion lado;
    std::optional<ColaImpresion> cola;
};

Despachador::Despachador(ConfigImpresion& configImpresion, ColaImpresion& cola)
    : configImpresion_(configImpresion), cola_(&cola) {}

Despachador::Despachador(ConfigImpresion& configImpresion, const ContextoTicket& impresion)
    : configImpresion_(configImpresion), propia_(std::make_unique<ColaPropia>(impresion)) {
    propia_->cola.emplace(ColaImpresion::Servicios{propia_->diario, propia_->ejecutor, propia_->lado,
                                                   impresion.avisos, impresion.reloj, impresion.locale(),
                                                   propia_->bitacora, nullptr, {}, {}, {}, {}});
    cola_ = &*propia_->cola;
}

Despachador::~Despachador() = default;

void Despachador::setComunicacion(const Value& ObjDatos, const QString& texto) {
    configImpresion_.actualizar(ObjDatos[u"config"].toCollection());
    const Collection comandas = ObjDatos[u"comanda"].toCollection();
    const Collection anulaciones = ObjDatos[u"anulaciones"].toCollection();
    const Collection facturas = ObjDatos[u"factura"].toCollection();
    const bool abrirCajon = ObjDatos[u"abrirCajon"].toBoolean(configImpresion_.locale());
    listaIdsLeidos = ObjDatos[u"idsLeidos"].toCollection();

    // An answer that reports nothing as read carries nothing new to print.
    if (listaIdsLeidos.Count() == 0) return;

    if (std::optional<QString> error = cola_->imprimirRespuesta(ObjDatos, texto, comandas, anulaciones, facturas,
                                                                abrirCajon)) {
        throw RuntimeError(*error);
    }
}

}  // namespace kelmora::shell
