// The print queue's follow-up: jobs followed to paper, documents left half sent by a crash,
// waits that expire.
#include "shell/cola_impresion.h"

#include "json/runtime_error.h"
#include "printing/document/clase_documento.h"
#include "shell/trabajos.h"

namespace kelmora::shell {

using paper::DocumentState;
using platform::JobStatus;
using paper::JournalDocument;

namespace {

// How long a request cut short may still take to reach the printing system: a process killed
// mid-request leaves one that the system may take a moment later.
constexpr std::chrono::milliseconds kEsperaEnvioCortado{3000};

}  // namespace

void ColaImpresion::contarEnCurso() { enCurso_ = static_cast<int>(s_.diario.followedDocuments().size()); }

Tarea<> ColaImpresion::seguirTrabajos() {
    const QList<JournalDocument> seguidos = s_.diario.followedDocuments();
    if (seguidos.isEmpty()) co_return;
    QList<int> trabajos;
    for (const JournalDocument& d : seguidos) trabajos.append(d.jobId);
    const std::optional<QHash<int, JobStatus>> estados =
        co_await enHilo(s_.ejecutor, [this, &trabajos] { return estadosDeTrabajos(s_.lado, trabajos); });
    if (!estados) co_return;  // the printing system cannot say now; next round

    QList<std::pair<JournalDocument, JobStatus>> atascados;
    // Whether the system keeps finished jobs, once asked this round.
    std::optional<bool> guardaHistorial;
    if (historialVisto_) guardaHistorial = true;
    for (JournalDocument d : seguidos) {
        JobStatus estado = estados->value(d.jobId);
        using State = JobStatus::State;
        // Its id given to another job: the scheduler started again without it.
        const bool ajeno = !esDelDocumento(estado, d.id);
        if (ajeno) estado.state = State::Unknown;
        switch (estado.state) {
        case State::Completed:
            historialVisto_ = historialVisto_ || !estado.jobName.isEmpty();  // a finished job still listed
            d.followed = false;
            guardar(d, DocumentState::Printed, {});
            avisarImpresora(d.printer, {});  // on paper: whatever held its printer is over
            break;
        case State::Unknown: {
            std::optional<bool> perdido = true;
            if (!ajeno) {
                const QString impresora = d.printer;
                const Desaparicion desaparicion = co_await enHilo(s_.ejecutor, [this, &impresora, guardaHistorial] {
                    return trabajoPerdido(s_.lado, impresora, guardaHistorial);
                });
                perdido = desaparicion.perdido;
                if (desaparicion.guardaHistorial) {
                    guardaHistorial = desaparicion.guardaHistorial;
                    // Once seen keeping them, it does: a scheduler that lost its spool holds none for a while.
                    historialVisto_ = historialVisto_ || *guardaHistorial;
                }
            }
            if (!perdido) break;  // cannot say now: next round
            if (*perdido) {
                perderTrabajo(d);
                break;
            }
            d.followed = false;
            guardar(d, DocumentState::Printed, {});
            if (!sinHistorialAvisado_) {
                sinHistorialAvisado_ = true;
                s_.bitacora.anotar(QStringLiteral("El sistema de impresión no guarda los trabajos terminados: "
                                                  "un trabajo que desaparece se da por impreso"),
                                   Gravedad::Advertencia);
            }
            break;
        }
        case State::Canceled:
        case State::Aborted: {
            d.followed = false;
            if (d.state != DocumentState::Sent) {
                guardar(d, d.state, d.reason);
                break;
            }
            QString motivo = estado.state == State::Canceled ? QStringLiteral("el trabajo fue cancelado")
                                                             : QStringLiteral("la impresora abandonó el trabajo");
            if (!estado.reason.isEmpty()) motivo += QStringLiteral(" (") + estado.reason + u')';
            if (!estado.queueProblem.isEmpty()) motivo += QStringLiteral("; ") + estado.queueProblem;
            guardar(d, DocumentState::Failed, motivo);
            avisarFalla(descripcionDocumento(d) + QStringLiteral(" no se imprimió en ") + d.printer +
                        QStringLiteral(": ") + motivo);
            break;
        }
        case State::Waiting:
        case State::Printing:
            // Still on its way: stuck once it has waited long enough with its queue in trouble, or
            // printing all that time with the queue saying something other than done (a device it
            // keeps trying to reach reports no reason, only its message).
            if (d.state == DocumentState::Sent &&
                (!estado.queueProblem.isEmpty() || (estado.state == State::Printing && !estado.queueMessage.isEmpty())) &&
                esperaMs(d) >= std::chrono::milliseconds(ajustes_.limitePapel).count()) {
                atascados.append({d, estado});
            }
            break;
        }
    }
    if (!atascados.isEmpty()) co_await fallarTrasCancelar(std::move(atascados));
}

void ColaImpresion::avisarFalla(const QString& texto) {
    s_.avisos.ShowBalloonTip(texto, platform::BalloonIcon::Warning, QStringLiteral("Error al imprimir"),
                             platform::kBalloonMilliseconds);
}

void ColaImpresion::perderTrabajo(JournalDocument& d) {
    const int trabajo = d.jobId;
    d.followed = false;
    // Failed or dismissed already: its job going changes nothing.
    if (d.state != DocumentState::Sent) {
        guardar(d, d.state, d.reason);
        return;
    }
    // Part of it may have come out: the copy says it is one. A drawer does not open by itself
    // later, and a document whose copy was lost too is left to a person.
    const bool reimprimir = !esCajon(d) && d.lostJobs == 0;
    ++d.lostJobs;
    const QString motivo = QStringLiteral("el sistema de impresión ya no tiene su trabajo %1").arg(trabajo);
    if (!reimprimir) {
        guardar(d, DocumentState::Failed, motivo);
        avisarFalla(descripcionDocumento(d) + QStringLiteral(" puede no haberse impreso en ") + d.printer +
                    QStringLiteral(": ") + motivo + QStringLiteral(". Revíselo en Trabajos."));
        return;
    }
    d.jobId = 0;
    d.reprint = true;
    d.since = s_.reloj.now();
    guardar(d, DocumentState::Pending, motivo + QStringLiteral(": se reimprime"));
    s_.bitacora.anotar(lineaDocumento(d), gravedadDocumento(d));
    s_.avisos.ShowBalloonTip(descripcionDocumento(d) + QStringLiteral(" se reimprime: ") + motivo +
                                 QStringLiteral(" y no se sabe si salió."),
                             platform::BalloonIcon::Warning, QStringLiteral("Reimpresión"),
                             platform::kBalloonMilliseconds);
    hayNuevos_ = true;
}

void ColaImpresion::avisarImpresora(const QString& impresora, const QString& problema) {
    if (impresora.isEmpty() || problemasImpresoras_.value(impresora) == problema) return;
    if (problema.isEmpty()) {
        problemasImpresoras_.remove(impresora);
    } else {
        problemasImpresoras_.insert(impresora, problema);
    }
    if (s_.alCambiarImpresora) s_.alCambiarImpresora(impresora, problema);
}

Tarea<> ColaImpresion::fallarTrasCancelar(QList<std::pair<JournalDocument, JobStatus>> atascados) {
    using State = JobStatus::State;
    // Where the queue gives no reason, the printer itself is asked whether it takes connections,
    // before the job is canceled and the scheduler stops trying it.
    for (auto& [d, estado] : atascados) {
        if (estado.deviceUnreached || !estado.trouble.isEmpty()) continue;
        const QString impresora = d.printer;
        const std::optional<bool> responde = co_await enHilo(
            s_.ejecutor, [this, &impresora] { return s_.lado.impresoras().deviceAnswers(impresora); });
        if (responde == false) {
            estado.deviceUnreached = true;
            estado.trouble = QStringLiteral("no responde");
        }
        if (estado.queueProblem.isEmpty()) {
            estado.queueProblem = QStringLiteral("La impresora %1 no termina el trabajo: %2").arg(d.printer, estado.queueMessage);
        }
    }
    QList<JournalDocument> documentos;
    for (const auto& atascado : atascados) documentos.append(atascado.first);
    const auto finales = co_await enHilo(
        s_.ejecutor, [this, &documentos] { return cancelarTrabajos(s_.lado.impresoras(), documentos); });
    if (!finales) co_return;  // the printing system cannot say now: still followed, canceled again next round
    for (auto [d, estado] : atascados) {
        const State final = finales->value(d.id);
        // Not confirmed: still followed, and canceled again next round.
        if (final == State::Waiting || final == State::Printing) continue;
        d.followed = false;
        if (final == State::Completed) {
            guardar(d, DocumentState::Printed, {});
            continue;
        }
        // Its queue never reached the printer: nothing of it is on paper, and its job can no
        // longer come out later. It is held like a document no printer can take, and goes out
        // again as soon as one can; the printer's trouble is told once, not per document.
        if (estado.deviceUnreached && !estado.trouble.isEmpty()) {
            d.jobId = 0;
            guardar(d, DocumentState::Held, d.printer + QStringLiteral(": ") + estado.trouble);
            avisarImpresora(d.printer, estado.trouble);
            continue;
        }
        // Part of it may have reached the printer: printing it again by itself could double it.
        const QString& problema = estado.queueProblem;
        guardar(d, DocumentState::Failed, problema);
        avisarFalla(descripcionDocumento(d) + QStringLiteral(" no se imprimió en ") + d.printer +
                    QStringLiteral(": ") + problema +
                    QStringLiteral(". Se canceló su trabajo: reimprímalo desde Trabajos."));
    }
}

Tarea<> ColaImpresion::recuperarEnvios() {
    const QList<JournalDocument> enviando = s_.diario.documentsIn({DocumentState::Sending});
    for (JournalDocument d : enviando) {
        const QString nombre = nombreTrabajo(d.id);
        // Nothing when the printing system cannot tell now: these wait for the next round.
        const std::optional<std::optional<JobStatus>> buscado =
            co_await enHilo(s_.ejecutor, [this, &nombre]() -> std::optional<std::optional<JobStatus>> {
                try {
                    return s_.lado.impresoras().findJob(nombre);
                } catch (const platform::PrinterError&) {
                    return std::nullopt;
                }
            });
        if (!buscado) co_return;
        const std::optional<JobStatus>& trabajo = *buscado;
        // A job past waiting was taken whole, whatever its count of documents says now: the
        // scheduler may already have let go of a finished job's files.
        const bool tomado = trabajo && (trabajo->documents >= 1 || trabajo->state != JobStatus::State::Waiting);
        if (tomado) {
            d.jobId = trabajo->jobId;
            d.followed = true;
            d.since = s_.reloj.now();
            guardar(d, DocumentState::Sent, QStringLiteral("ya lo había tomado el sistema de impresión"));
            continue;
        }
        // A request cut short may still be on its way into the printing system (a process killed
        // while sending it, a request that timed out): only after a while does "not there" mean
        // it never arrived. A clock set back since counts as the while gone by: nothing may wait
        // on it for an hour.
        const qint64 edad = d.updated.msecsTo(s_.reloj.now());
        if (!trabajo && edad >= 0 && edad < kEsperaEnvioCortado.count()) continue;
        // Never taken whole: whatever was left of it goes, and the document is printed again.
        if (trabajo) {
            const int id = trabajo->jobId;
            const bool cancelado = co_await enHilo(s_.ejecutor, [this, id] {
                try {
                    s_.lado.impresoras().cancelJob(id);
                    return true;
                } catch (const platform::PrinterError&) {
                    return false;
                }
            });
            if (!cancelado) co_return;  // the printing system cannot take it now; next round
            guardar(d, DocumentState::Pending, d.reason);
        } else if (esCajon(d)) {
            // A drawer does not open by itself later, with nobody at the till.
            guardar(d, DocumentState::Failed, QStringLiteral("el sistema de impresión no confirmó si lo recibió"));
        } else {
            // Nobody can tell whether it reached paper (a scheduler that died while taking it
            // forgets it): a copy marked as such is better than a ticket lost.
            d.reprint = true;
            guardar(d, DocumentState::Pending,
                    QStringLiteral("el sistema de impresión no confirmó si lo recibió: se reimprime"));
            s_.bitacora.anotar(lineaDocumento(d), gravedadDocumento(d));
        }
        hayNuevos_ = true;
    }
}

void ColaImpresion::vencer(JournalDocument& d) {
    const QString motivo = d.reason.isEmpty()
                               ? QStringLiteral("ninguna impresora lo tomó a tiempo")
                               : QStringLiteral("ninguna impresora lo tomó a tiempo (%1)").arg(d.reason);
    guardar(d, DocumentState::Expired, motivo);
    s_.avisos.ShowBalloonTip(descripcionDocumento(d) + QStringLiteral(" no se imprimirá: esperó demasiado. "
                                                                      "Reimprímalo desde Trabajos si aún hace falta."),
                             platform::BalloonIcon::Warning, QStringLiteral("Trabajo vencido"),
                             platform::kBalloonMilliseconds);
}

bool ColaImpresion::vencido(const JournalDocument& d) {
    using std::chrono::milliseconds;
    const std::optional<ClaseDocumento> clase = claseDocumento(d.kind);
    if (clase == ClaseDocumento::Comanda || clase == ClaseDocumento::Anulacion) {
        return esperaMs(d) > milliseconds(ajustes_.vencimientoComanda).count();
    }
    if (clase == ClaseDocumento::Cajon) return esperaMs(d) > milliseconds(ajustes_.vencimientoCajon).count();
    return false;
}

qint64 ColaImpresion::esperaMs(const JournalDocument& d) {
    const qint64 ahora = s_.reloj.monotonicMs();
    auto it = esperas_.find(d.id);
    if (it == esperas_.end() || it->desde != d.since) {
        // A wait that began before this start (or in another process: a reprint asked from the
        // command line) is all the wall clock can tell, never less than none.
        const qint64 antes = std::max<qint64>(0, d.since.msecsTo(s_.reloj.now()));
        it = esperas_.insert(d.id, Espera{d.since, ahora - antes});
    }
    return ahora - it->inicioMs;
}

}  // namespace kelmora::shell
