#include "shell/conexion.h"

#include "printing/impresion.h"
#include "tickets/anulacion.h"
#include "tickets/cajon.h"
#include "tickets/comanda.h"
#include "tickets/factura.h"

namespace kelmora {

void Conexion::setComunicacion(const Value& ObjDatos) {
    configImpresion_.actualizar(ObjDatos[u"config"].toCollection());
    const Collection comandas = ObjDatos[u"comanda"].toCollection();
    const Collection anulaciones = ObjDatos[u"anulaciones"].toCollection();
    const Collection facturas = ObjDatos[u"factura"].toCollection();
    const bool abrirCajon = ObjDatos[u"abrirCajon"].toBoolean(impresion_.locale());
    listaIdsLeidos = ObjDatos[u"idsLeidos"].toCollection();

    // An answer that reports nothing as read carries nothing new to print.
    if (listaIdsLeidos.Count() == 0) return;

    if (comandas.Count() > 0) imprimirComandas(impresion_, comandas);
    if (anulaciones.Count() > 0) imprimirAnulaciones(impresion_, anulaciones);
    for (const Value& factura : facturas) imprimirFactura(impresion_, factura);
    if (abrirCajon) abrirCajonMonedero(impresion_);
}

}  // namespace kelmora
