#pragma once

#include <QString>

namespace kelmora {

// The invoice settings, reloaded from the settings list before every invoice.
struct ConfigFactura {
    QString nombreRepresentante;
    QString apellido1Representante;
    QString apellido2Representante;
    QString nombreEstablecimiento;
    QString actividadEconomica;
    QString codigoActividad;
    QString tipoIdentificacion;
    QString numeroIdentificacion;
    QString direccion;
    QString telefono1;
    QString regimen;
    QString resolucionDian;
    QString resolucionDianFecha;
    QString facturaPrefijo;
    QString facturaInicial;
    QString facturaFinal;
    QString encabezadoFactura;
    QString textoPieFactura;
    QString nombreFacturaCerrada;
    QString tituloVendedor;
    bool imprimeHoraFactura = false;
    bool permanenciaFactura = false;
    bool personasFactura = false;
    bool meseroFactura = false;
    bool imprimeEspacioCliente = false;
    bool imprimeLeyendaPropina = false;
    bool aplicaPropina = false;
    qint16 servicio = 0;
    bool opcionPropina5y10 = false;
    bool resaltarTotal = false;
    QString conceptoDomicilio;
};

}  // namespace kelmora
