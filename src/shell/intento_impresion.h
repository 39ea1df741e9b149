#pragma once

#include "json/value.h"
#include "platform/clock.h"
#include "platform/journal.h"
#include "platform/notifier.h"
#include "platform/pictures.h"
#include "platform/printer.h"
#include "printing/config_impresion.h"
#include "printing/contexto_ticket.h"
#include "printing/seleccion_impresora.h"

#include <QHash>
#include <QString>

#include <memory>
#include <optional>

namespace kelmora::shell {

// The printing side of the service: what runs on the printing thread, and is touched nowhere
// else. The queue hands it one document at a time, or one question about the jobs sent.
struct LadoImpresion {
    SeleccionImpresora& seleccion;
    // Balloons the tickets and the selection show.
    platform::Notifier& avisos;
    platform::Clock& reloj;
    platform::PictureLoader& imagenes;
    QString carpetaPrograma;  // where logo.bmp is looked for
    // What was told once for the answer whose documents print now (an unreadable logo).
    AvisosRespuesta avisosRespuesta{};
    qint64 respuestaAvisos = 0;

    platform::PrinterSystem& impresoras() { return seleccion.impresoras(); }
};

// One document to print, with what it prints from.
struct Intento {
    paper::JournalDocument documento;
    // The answer it comes from, as read back from the journal.
    Value datos;
    std::shared_ptr<const ConfigImpresion> config;
    // A held document tried again: its failures are not told again.
    bool reintento = false;
};

// What became of one document.
struct ResultadoIntento {
    enum class Tipo {
        Entregado,     // the printing system took it
        Retenido,      // no printer could take it now
        SistemaCaido,  // the printing system cannot take anything now: the rest waits too
        FallaDatos,    // its own data failed: it will not print by retrying
        Nada,          // nothing to print after all
    };
    Tipo tipo = Tipo::Nada;
    platform::Delivery entrega;  // what was taken, and where
    QString motivo;              // why it was held, waits, or failed
    // Sent when the failure came: the printing system may have taken it after all.
    bool puedeHaberLlegado = false;
    // The default printer when the document was tried: where invoices are meant to go.
    QString predeterminada;
    // A kitchen ticket or cancellation taken by the default printer instead of its area's.
    std::optional<SeleccionImpresora::Desvio> desvio;
};

// Prints the document: its ticket on its printer, or the drawer's pulse.
ResultadoIntento imprimirIntento(LadoImpresion& lado, const Intento& intento);

// What the printing system says of the jobs followed, by job id; nullopt when it cannot say now.
std::optional<QHash<int, platform::JobStatus>> estadosDeTrabajos(LadoImpresion& lado, const QList<int>& trabajos);

// Whether a job the printing system no longer reports was lost rather than forgotten once
// finished: its queue is gone, or the system keeps finished jobs (`guardaHistorial`, when
// already known, else asked). Nothing when it cannot say now.
struct Desaparicion {
    std::optional<bool> perdido;
    std::optional<bool> guardaHistorial;
};
Desaparicion trabajoPerdido(LadoImpresion& lado, const QString& impresora, std::optional<bool> guardaHistorial);

}  // namespace kelmora::shell
