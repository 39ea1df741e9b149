#include "shell/conexion.h"

namespace kelmora {

struct Conexion::Propia {
    shell::DiarioMemoria diario;
    shell::RegistroNulo registro;
    std::optional<shell::ColaImpresion> cola;
};

Conexion::Conexion(ConfigImpresion& configImpresion, shell::ColaImpresion& cola)
    : configImpresion_(configImpresion), cola_(&cola) {}

Conexion::Conexion(ConfigImpresion& configImpresion, const Impresion& impresion)
    : configImpresion_(configImpresion), propia_(std::make_unique<Propia>()) {
    propia_->cola.emplace(shell::ColaImpresion::Partes{propia_->diario, impresion.seleccion, impresion.avisos,
                                                       impresion.reloj, impresion.imagenes, impresion.eventos,
                                                       impresion.carpetaPrograma, impresion.locale(),
                                                       propia_->registro, nullptr, {}, {}});
    cola_ = &*propia_->cola;
}

Conexion::~Conexion() = default;

void Conexion::setComunicacion(const Value& ObjDatos) {
    configImpresion_.actualizar(ObjDatos[u"config"].toCollection());
    const Collection comandas = ObjDatos[u"comanda"].toCollection();
    const Collection anulaciones = ObjDatos[u"anulaciones"].toCollection();
    const Collection facturas = ObjDatos[u"factura"].toCollection();
    const bool abrirCajon = ObjDatos[u"abrirCajon"].toBoolean(configImpresion_.locale());
    listaIdsLeidos = ObjDatos[u"idsLeidos"].toCollection();

    // An answer that reports nothing as read carries nothing new to print.
    if (listaIdsLeidos.Count() == 0) return;

    cola_->imprimirRespuesta(ObjDatos, comandas, anulaciones, facturas, abrirCajon);
}

}  // namespace kelmora
