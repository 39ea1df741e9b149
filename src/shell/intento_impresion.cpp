#include "shell/intento_impresion.h"

#include "json/runtime_error.h"
#include "printing/texto.h"
#include "shell/recepcion_respuesta.h"
#include "shell/trabajos.h"
#include "tickets/anulacion.h"
#include "tickets/cajon.h"
#include "tickets/comanda.h"
#include "tickets/factura.h"

namespace kelmora::shell {

using paper::JournalDocument;
using Tipo = ResultadoIntento::Tipo;

namespace {

// Runs the document's ticket; the data error's description when its data failed.
std::optional<QString> ejecutarTicket(const Intento& intento, const ContextoTicket& impresion) {
    const std::optional<ClaseDocumento> clase = claseDocumento(intento.documento.kind);
    if (!clase) return QStringLiteral("clase de documento desconocida: ") + intento.documento.kind;
    const Value registro = registroDocumento(intento.datos, intento.documento);
    switch (*clase) {
    case ClaseDocumento::Cajon:
        abrirCajonMonedero(impresion);
        return std::nullopt;
    case ClaseDocumento::Comanda:
        return imprimirComanda(impresion, registro);
    case ClaseDocumento::Anulacion:
        imprimirAnulacion(impresion, registro);
        return std::nullopt;
    case ClaseDocumento::Factura:
        imprimirFactura(impresion, registro);
        return std::nullopt;
    }
    return std::nullopt;
}

ResultadoIntento resultado(Tipo tipo, QString motivo = {}, bool puedeHaberLlegado = false) {
    ResultadoIntento r;
    r.tipo = tipo;
    r.motivo = std::move(motivo);
    r.puedeHaberLlegado = puedeHaberLlegado;
    return r;
}

// Resets what a document set on the shared printing pieces, however it ends.
class Preparado {
public:
    Preparado(LadoImpresion& lado, const Intento& intento) : lado_(lado) {
        lado_.impresoras().setJobName(nombreTrabajo(intento.documento.id));
        lado_.seleccion.marcarReimpresion(intento.documento.reprint);
        lado_.seleccion.silenciarFallas(intento.reintento);
    }
    ~Preparado() {
        lado_.impresoras().setJobName({});
        lado_.seleccion.marcarReimpresion(false);
        lado_.seleccion.silenciarFallas(false);
    }
    Preparado(const Preparado&) = delete;
    Preparado& operator=(const Preparado&) = delete;

private:
    LadoImpresion& lado_;
};

}  // namespace

ResultadoIntento imprimirIntento(LadoImpresion& lado, const Intento& intento) {
    const JournalDocument& d = intento.documento;
    platform::PrinterSystem& impresoras = lado.impresoras();
    if (d.answerId != lado.respuestaAvisos) {
        lado.avisosRespuesta = AvisosRespuesta();
        lado.respuestaAvisos = d.answerId;
    }

    if (!lado.seleccion.hayImpresora()) {
        if (!impresoras.reachable()) {
            return resultado(Tipo::SistemaCaido, QStringLiteral("No se puede contactar con el sistema de impresión"));
        }
        // The selection tells it, once: the tray counts it from then on.
        if (!intento.reintento) lado.seleccion.seleccionarImpresora(SeleccionImpresora::kSinImpresora, true);
        return resultado(Tipo::Retenido, QStringLiteral("No hay ninguna impresora instalada"));
    }

    TextoTicket texto(lado.seleccion, *intento.config);
    const ContextoTicket impresion{*intento.config, lado.seleccion, texto,      lado.avisos,
                              lado.reloj,      lado.imagenes,  lado.carpetaPrograma, &lado.avisosRespuesta};
    ResultadoIntento r;
    {
        const Preparado preparado(lado, intento);
        const quint64 entregasAntes = impresoras.deliveries();
        try {
            if (std::optional<QString> error = ejecutarTicket(intento, impresion)) {
                r = resultado(Tipo::FallaDatos, *error);
            }
        } catch (const platform::PrinterError& error) {
            if (error.scope() == platform::PrinterError::Scope::System || !impresoras.reachable()) {
                r = resultado(Tipo::SistemaCaido, error.description(), error.mayHaveArrived());
            } else {
                // A printer that took part of it before failing: it may be partly on paper.
                r = resultado(Tipo::Retenido, error.description(), error.mayHaveArrived());
            }
        } catch (const RuntimeError& error) {
            r = resultado(Tipo::FallaDatos, error.description());
        }
        // What the printing system took is what happened, whatever was raised after it.
        if (impresoras.deliveries() != entregasAntes) {
            r = resultado(Tipo::Entregado);
            r.entrega = impresoras.lastDelivery();
        }
    }
    if (r.tipo == Tipo::Nada && !lado.seleccion.fallaSeleccion().isEmpty()) {
        r = resultado(impresoras.reachable() ? Tipo::Retenido : Tipo::SistemaCaido, lado.seleccion.fallaSeleccion());
    }
    const std::optional<ClaseDocumento> clase = claseDocumento(d.kind);
    if (clase == ClaseDocumento::Factura) r.predeterminada = lado.seleccion.impresoraPredeterminada();
    const bool deArea = clase == ClaseDocumento::Comanda || clase == ClaseDocumento::Anulacion;
    if (deArea && r.tipo == Tipo::Entregado) r.desvio = lado.seleccion.desvio();
    return r;
}

std::optional<QHash<int, platform::JobStatus>> estadosDeTrabajos(LadoImpresion& lado, const QList<int>& trabajos) {
    QHash<int, platform::JobStatus> estados;
    try {
        for (const platform::JobStatus& estado : lado.impresoras().jobStatuses(trabajos)) {
            estados.insert(estado.jobId, estado);
        }
    } catch (const platform::PrinterError&) {
        return std::nullopt;
    }
    return estados;
}

Desaparicion trabajoPerdido(LadoImpresion& lado, const QString& impresora, std::optional<bool> guardaHistorial) {
    // Gone without a trace. A scheduler whose queue is gone, or that keeps finished jobs, lost it;
    // one that keeps none forgets each job as it finishes, and cannot tell.
    platform::PrinterSystem& impresoras = lado.impresoras();
    const QStringList colas = impresoras.printerNames();
    if (!impresoras.reachable()) return {};  // an empty list says nothing of its queue
    if (!colas.contains(impresora)) return {true, guardaHistorial};
    if (!guardaHistorial) {
        try {
            guardaHistorial = impresoras.keepsJobHistory();
        } catch (const platform::PrinterError&) {
            return {};
        }
    }
    return {*guardaHistorial, guardaHistorial};
}

}  // namespace kelmora::shell
