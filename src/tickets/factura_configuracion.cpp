// The invoice settings, read by their names from the payload's settings list.
#include "tickets/factura_configuracion.h"

#include "json/value.h"
#include "printing/config_impresion.h"
#include "printing/texto.h"

namespace kelmora {

namespace {

bool activado(const QString& valor) { return valor == u"1"; }

QString oPorDefecto(const QString& valor, const QString& porDefecto) { return valor.isEmpty() ? porDefecto : valor; }

// A whole number of tip percent when the text reads as a number in the locale (its own decimal
// mark, no grouping), halves to the even neighbour; 0 for any other text. Overflow beyond 16 bits.
qint16 leerServicio(const QString& valor, const QLocale& locale) {
    const Value texto(valor);
    return texto.isNumeric(locale) ? texto.toNumber(locale).toInt16() : qint16{0};
}

}  // namespace

ConfigFactura cargarConfigFactura(const ConfigImpresion& config) {
    const auto leer = [&config](const char16_t* nombre) { return config.leerConfig(QString::fromUtf16(nombre)); };

    ConfigFactura c;
    c.nombreRepresentante = leer(u"Nombre Representante Legal");
    c.apellido1Representante = leer(u"Apellido 1 Representante Legal");
    c.apellido2Representante = leer(u"Apellido 2 Representante Legal");
    c.nombreEstablecimiento = leer(u"Nombre Establecimiento");
    c.actividadEconomica = leer(u"Actividad Economica");
    c.codigoActividad = leer(u"Codigo Actividad Economica");
    c.tipoIdentificacion = leer(u"Tipo Identificacion");
    c.numeroIdentificacion = leer(u"Numero Identificacion");
    c.direccion = leer(u"Direccion");
    c.telefono1 = leer(u"Telefono 1");
    c.regimen = leer(u"Regimen");
    c.resolucionDian = leer(u"Resolucion Dian Facturacion");
    c.resolucionDianFecha = leer(u"Resolucion Dian Fecha");
    c.facturaPrefijo = leer(u"Factura Prefijo");
    c.facturaInicial = leer(u"Factura Inicial");
    c.facturaFinal = leer(u"Factura Final");
    c.encabezadoFactura = leer(u"Encabezado de Factura");
    c.textoPieFactura = leer(u"Pie de Factura");
    c.nombreFacturaCerrada =
        oPorDefecto(leer(u"Nombre factura cerrada"),
                    mayusculas(c.regimen) == u"COMUN" ? QStringLiteral("Factura") : QStringLiteral("Boleto Fiscal"));
    c.tituloVendedor = oPorDefecto(leer(u"Titulo del Vendedor"), QStringLiteral("Mesero"));
    c.imprimeHoraFactura = activado(leer(u"Hora Factura"));
    c.permanenciaFactura = activado(leer(u"Permanencia Factura"));
    c.personasFactura = activado(leer(u"Personas Factura"));
    c.meseroFactura = activado(leer(u"Nombre Mesero Factura"));
    c.imprimeEspacioCliente = activado(leer(u"Imprimie Espacio Cliente Cuenta"));
    c.imprimeLeyendaPropina = activado(leer(u"Imprimie Leyenda Propina Cuenta"));
    const QString propina = leer(u"Propina");
    c.aplicaPropina = propina == u"Aplica" || activado(propina);
    c.servicio = leerServicio(leer(u"Servicio"), config.locale());
    c.opcionPropina5y10 = activado(leer(u"Opcion Propina 5% y 10%"));
    c.resaltarTotal = activado(leer(u"ResaltarTotal Cuenta"));
    c.conceptoDomicilio = oPorDefecto(leer(u"Concepto Domicilio"), QStringLiteral("Domicilio"));
    return c;
}

}  // namespace kelmora
