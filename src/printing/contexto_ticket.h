#pragma once

#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/pictures.h"
#include "printing/document/clase_documento.h"
#include "printing/config_impresion.h"
#include "printing/seleccion_impresora.h"
#include "printing/texto.h"

#include <QLocale>
#include <QString>

namespace kelmora {

// What is told once per answer, however many of its documents run into it.
struct AvisosRespuesta {
    bool logoIlegible = false;
};

// What a ticket prints with: the settings to read, the printer selection, the layout primitives
// and the platform services. Built once by whoever owns the pieces; the tickets only borrow it.
struct ContextoTicket {
    const ConfigImpresion& config;
    SeleccionImpresora& seleccion;
    TextoTicket& texto;
    platform::Notifier& avisos;
    platform::Clock& reloj;
    platform::PictureLoader& imagenes;
    QString carpetaPrograma;  // where logo.bmp is looked for
    // The answer being printed; null when each document stands alone (each then tells its own).
    AvisosRespuesta* avisosRespuesta = nullptr;

    // Number texts: grouping and decimal mark, the same the settings are read in.
    const QLocale& locale() const { return config.locale(); }
    platform::Printer& impresora() const { return seleccion.impresora(); }
};

}  // namespace kelmora
