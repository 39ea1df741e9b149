#include "shell/cola_impresion.h"

#include "json/json_reader.h"
#include "json/runtime_error.h"
#include "printing/document/clase_documento.h"
#include "shell/recepcion_respuesta.h"
#include "shell/trabajos.h"

#include <QSet>

namespace kelmora::shell {

using paper::DocumentState;
using paper::JournalDocument;

namespace {

// "Being sent" is marked for this many documents at once, in one sync: after a crash, those of
// them never sent are not found by their jobs' names, and print with their REIMPRESIÓN line.
constexpr qsizetype kMarcadosJuntos = 8;

bool esComanda(const JournalDocument& d) { return claseDocumento(d.kind) == ClaseDocumento::Comanda; }

}  // namespace

bool esCajon(const JournalDocument& d) { return claseDocumento(d.kind) == ClaseDocumento::Cajon; }

// "Comanda de Mesa 4, pedido 1234": what staff recognise a document by.
QString descripcionDocumento(const JournalDocument& d) {
    QString texto = d.kind;
    if (!d.table.isEmpty()) texto += QStringLiteral(" de ") + d.table;
    if (!d.order.isEmpty()) texto += QStringLiteral(", pedido ") + d.order;
    return texto;
}

QString lineaDocumento(const JournalDocument& d) {
    QString linea = QStringLiteral("Documento %1: %2").arg(d.id).arg(descripcionDocumento(d));
    if (d.reprint) linea += QStringLiteral(" (reimpresión)");
    const QString impresora = d.printer.isEmpty() ? d.requestedPrinter : d.printer;
    if (!impresora.isEmpty()) linea += QStringLiteral(", impresora ") + impresora;
    if (d.jobId > 0) linea += QStringLiteral(", trabajo ") + QString::number(d.jobId);
    linea += QStringLiteral(": ") + paper::stateName(d.state);
    if (!d.reason.isEmpty()) linea += QStringLiteral(" (") + d.reason + u')';
    return linea;
}

Gravedad gravedadDocumento(const JournalDocument& d) {
    switch (d.state) {
    case DocumentState::Failed:
    case DocumentState::Expired:
        return Gravedad::Error;
    case DocumentState::Held:
        return Gravedad::Advertencia;
    default:
        return d.reprint ? Gravedad::Advertencia : Gravedad::Nota;
    }
}

ColaImpresion::ColaImpresion(Servicios servicios, AjustesCola ajustes) : s_(std::move(servicios)), ajustes_(ajustes) {
    if (s_.revision != nullptr) s_.revision->setHandler([this] { revisar(); });
}

ColaImpresion::~ColaImpresion() {
    // The printing side's work under way ends first: it reads the step that waits for it. That
    // step is then abandoned while all it may touch still exists.
    terminar();
    motor_ = Tarea<>();
    if (s_.revision != nullptr) {
        s_.revision->stop();
        s_.revision->setHandler({});
    }
}

void ColaImpresion::terminar() {
    terminando_ = true;
    s_.ejecutor.detener();
}

void ColaImpresion::encolar(Paso paso) {
    pasos_.push_back(std::move(paso));
    if (enMarcha_) return;
    motor_ = ejecutarPasos();
}

Tarea<> ColaImpresion::ejecutarPasos() {
    enMarcha_ = true;
    while (!pasos_.empty()) {
        Paso paso = std::move(pasos_.front());
        pasos_.pop_front();
        try {
            co_await paso();
        } catch (const std::exception& error) {
            // Whatever a step left undone is in the journal, and the next round takes it up.
            s_.bitacora.anotar(QStringLiteral("Error en la cola de impresión: ") + QString::fromLocal8Bit(error.what()),
                               Gravedad::Error);
        }
    }
    enMarcha_ = false;
}

std::optional<QString> ColaImpresion::imprimirRespuesta(const Value& datos, const QString& texto,
                                                        const Collection& comandas, const Collection& anulaciones,
                                                        const Collection& facturas, bool abrirCajon) {
    // Invoices are meant for the default printer, as last seen.
    const QList<JournalDocument> documentos =
        documentosDeRespuesta(comandas, anulaciones, facturas, abrirCajon, predeterminada_, s_.locale);
    if (documentos.isEmpty()) return std::nullopt;

    // Kept as the server sent it: what is printed later is read from the same text.
    QList<JournalDocument> guardados = documentos;
    const qint64 respuesta = s_.diario.addAnswer(texto, guardados, s_.reloj.now());
    if (respuesta == 0) {
        s_.bitacora.anotar(QStringLiteral("No se pudo guardar la respuesta en el diario de trabajos: sus %1 "
                                          "documentos no se imprimen")
                               .arg(documentos.size()),
                           Gravedad::Error);
        s_.avisos.ShowBalloonTip(QStringLiteral("No se pudo guardar la respuesta en el diario de trabajos."),
                                 platform::BalloonIcon::Error, QStringLiteral("Error al imprimir"),
                                 platform::kBalloonMilliseconds);
        return std::nullopt;
    }
    if (primeraRespuesta_ == 0) primeraRespuesta_ = respuesta;
    for (const JournalDocument& d : std::as_const(guardados)) (void)esperaMs(d);
    auto config = std::make_shared<ConfigImpresion>(s_.locale);
    config->actualizar(datos[u"config"].toCollection());
    recordarRespuesta(respuesta, RespuestaGuardada{datos, config});

    QMap<QString, int> porClase;
    for (const JournalDocument& d : std::as_const(guardados)) ++porClase[d.kind];
    QStringList partes;
    for (auto it = porClase.cbegin(); it != porClase.cend(); ++it) {
        partes.append(QStringLiteral("%1 %2").arg(it.value()).arg(it.key()));
    }
    s_.bitacora.anotar(QStringLiteral("Respuesta %1 con %2 documentos (%3): documentos %4 a %5")
                           .arg(respuesta)
                           .arg(guardados.size())
                           .arg(partes.join(QStringLiteral(", ")))
                           .arg(guardados.first().id)
                           .arg(guardados.last().id));

    hayNuevos_ = true;
    respuestaEnCurso_ = respuesta;
    errorEnCurso_.reset();
    encolarUnaVez(drenajeEnCola_, &ColaImpresion::pasada);
    respuestaEnCurso_ = 0;
    return std::exchange(errorEnCurso_, std::nullopt);
}

void ColaImpresion::encolarUnaVez(bool& enCola, Tarea<> (ColaImpresion::*paso)()) {
    // One already waiting for its turn is enough.
    if (enCola) return;
    enCola = true;
    encolar([this, &enCola, paso] {
        enCola = false;
        return (this->*paso)();
    });
}

Tarea<> ColaImpresion::pasada() {
    co_await drenar();
    actualizarSinImprimir();
}

void ColaImpresion::iniciar() {
    s_.diario.writeWaiting();
    podar();
    if (s_.revision != nullptr) {
        s_.revision->start(static_cast<int>(ajustes_.revision.count()), platform::Timer::Mode::Repeating);
    }
    encolar([this] { return arranque(); });
}

Tarea<> ColaImpresion::arranque() {
    co_await recuperarEnvios();
    hayNuevos_ = true;
    co_await drenar();
    actualizarSinImprimir();
}

void ColaImpresion::revisar() { encolarUnaVez(rondaEnCola_, &ColaImpresion::ronda); }

Tarea<> ColaImpresion::ronda() {
    s_.diario.writeWaiting();
    co_await recuperarEnvios();
    co_await seguirTrabajos();
    sistemaCaido_ = false;
    co_await reintentarRetenidos();
    if (!sistemaCaido_) {
        hayNuevos_ = true;
        co_await drenar();
    }
    if (!sistemaCaido_) caidaAvisada_ = false;
    // Printers in trouble are asked again, idle connections closed.
    if (!detener()) co_await enHilo(s_.ejecutor, [this] { s_.lado.impresoras().idle(); });
    podar();
    actualizarSinImprimir();
}

void ColaImpresion::podar() {
    const QDateTime ahora = s_.reloj.now();
    if (ultimaPoda_.isValid() && ultimaPoda_.daysTo(ahora) < 1) return;
    s_.diario.prune(ahora.addDays(-ajustes_.diasDiario));
    ultimaPoda_ = ahora;
}

Tarea<> ColaImpresion::drenar() {
    if (sistemaCaido_) co_return;
    // Nothing goes out ahead of a document whose fate the printing system has yet to tell.
    if (!s_.diario.documentsIn({DocumentState::Sending}).isEmpty()) {
        sistemaCaido_ = true;
        co_return;
    }
    contarEnCurso();
    // Marked but not reached when this pass ends (a stop, the printing system down, no room):
    // they wait their turn again.
    struct AlAcabar {
        ColaImpresion& cola;
        ~AlAcabar() { cola.desmarcar(); }
    } alAcabar{*this};

    while (hayNuevos_ && hayCupo()) {
        hayNuevos_ = false;
        const QList<JournalDocument> pendientes = s_.diario.documentsIn({DocumentState::Pending});
        for (qsizetype i = 0; i < pendientes.size(); ++i) {
            if (detener()) co_return;
            // The rest go out as the jobs sent before them reach paper.
            if (!hayCupo()) break;
            std::optional<JournalDocument> d = s_.diario.document(pendientes[i].id);
            const bool marcado = marcados_.remove(pendientes[i].id);
            if (!d || d->state != (marcado ? DocumentState::Sending : DocumentState::Pending)) continue;
            if (vencido(*d)) {
                vencer(*d);
                continue;
            }
            if (!marcado) marcarEnvio(*d, pendientes.mid(i + 1, kMarcadosJuntos - 1));
            const Resultado resultado = co_await imprimirDocumento(*d, false);
            if (resultado == Resultado::SistemaCaido) co_return;
            // The dispatch of its answer ends as it always did on such an error.
            if (resultado == Resultado::FallaDatos && !esComanda(*d)) fallarRespuesta(*d);
        }
    }
}

void ColaImpresion::fallarRespuesta(const JournalDocument& d) {
    if (d.answerId == respuestaEnCurso_) {
        if (!errorEnCurso_) errorEnCurso_ = d.reason;
        return;
    }
    if (primeraRespuesta_ == 0 || d.answerId < primeraRespuesta_ || respuestasFallidas_.contains(d.answerId)) return;
    respuestasFallidas_.insert(d.answerId);
    if (s_.alFallarRespuesta) s_.alFallarRespuesta(d.reason);
}

void ColaImpresion::marcarEnvio(JournalDocument& d, const QList<JournalDocument>& siguientes) {
    // One sync for all: the last mark reaches the disk with every one written before it. Read
    // afresh: a person may have dismissed one since the list was read.
    for (const JournalDocument& listado : siguientes) {
        std::optional<JournalDocument> s = s_.diario.document(listado.id);
        if (!s || s->state != DocumentState::Pending) continue;
        guardar(*s, DocumentState::Sending, s->reason, false);
        marcados_.insert(s->id);
    }
    guardar(d, DocumentState::Sending, d.reason, true);
}

void ColaImpresion::desmarcar() {
    for (const qint64 id : std::as_const(marcados_)) {
        std::optional<JournalDocument> d = s_.diario.document(id);
        if (d && d->state == DocumentState::Sending) guardar(*d, DocumentState::Pending, d->reason);
    }
    marcados_.clear();
}

const ColaImpresion::RespuestaGuardada& ColaImpresion::respuestaGuardada(qint64 respuesta) {
    const auto it = respuestas_.constFind(respuesta);
    if (it != respuestas_.cend()) return *it;
    JsonReader lector;
    Value datos = lector.leerJSON(s_.diario.answerPayload(respuesta));
    if (!lector.erroresJSON().isEmpty()) datos = Value();
    auto config = std::make_shared<ConfigImpresion>(s_.locale);
    try {
        config->actualizar(datos[u"config"].toCollection());
    } catch (const RuntimeError&) {
    }
    return recordarRespuesta(respuesta, RespuestaGuardada{datos, config});
}

const ColaImpresion::RespuestaGuardada& ColaImpresion::recordarRespuesta(qint64 respuesta,
                                                                         RespuestaGuardada guardada) {
    // A few are enough: a round goes through the same answers, oldest first.
    if (respuestas_.size() >= 4) respuestas_.clear();
    return *respuestas_.insert(respuesta, std::move(guardada));
}

Tarea<ColaImpresion::Resultado> ColaImpresion::imprimirDocumento(JournalDocument& d, bool reintento) {
    // A copy: the printing side reads it while answers come in and the few kept change.
    const RespuestaGuardada guardada = respuestaGuardada(d.answerId);
    if (guardada.datos.isEmpty()) {
        guardar(d, DocumentState::Failed, QStringLiteral("la respuesta ya no está en el diario"));
        co_return Resultado::FallaDatos;
    }
    // Recorded before the printing system hears of it: after a crash, a document found in this
    // state is looked up there by its job's name. The pending ones were marked with those after
    // them; a held one is marked once a printer is there to try.
    if (d.state != DocumentState::Sending) {
        const bool hayImpresora = co_await enHilo(s_.ejecutor, [this] { return s_.lado.seleccion.hayImpresora(); });
        // Stopping meanwhile: it stays as it was, for the next start.
        if (detener()) co_return Resultado::SistemaCaido;
        if (hayImpresora) guardar(d, DocumentState::Sending);
    }
    ResultadoIntento r = co_await intentar(d, guardada, reintento);
    // Cut short on paper (the paper ran out, the cover opened, the printer stopped answering
    // after taking part of it): it goes through selection again at once and prints whole, marked
    // as a copy, since part of it may be out. A second cut is left to a person.
    if (r.tipo == Resultado::Retenido && r.puedeHaberLlegado) {
        // A drawer that may have opened is not opened again.
        if (esCajon(d) || d.lostJobs > 0) {
            fallarCortado(d, r.motivo);
            co_return Resultado::Retenido;
        }
        ++d.lostJobs;
        d.reprint = true;
        s_.bitacora.anotar(lineaDocumento(d) + QStringLiteral(": salió cortado (") + r.motivo +
                               QStringLiteral("), se reimprime entero"),
                           Gravedad::Advertencia);
        r = co_await intentar(d, guardada, false);
        if (r.tipo == Resultado::Retenido && r.puedeHaberLlegado) {
            fallarCortado(d, r.motivo);
            co_return Resultado::Retenido;
        }
    }
    if (!r.predeterminada.isEmpty()) {
        predeterminada_ = r.predeterminada;
        if (d.requestedPrinter.isEmpty()) d.requestedPrinter = r.predeterminada;
    }

    switch (r.tipo) {
    case Resultado::Entregado:
        d.printer = r.entrega.printer;
        d.format = r.entrega.format;
        d.bytes = r.entrega.bytes;
        d.jobId = r.entrega.jobId;
        d.followed = r.entrega.jobId > 0;
        d.since = s_.reloj.now();
        if (d.followed) ++enCurso_;
        // Without a job to follow, what the printer took is as far as anyone can know.
        guardar(d, d.followed ? DocumentState::Sent : DocumentState::Printed);
        // An area whose tickets go to the default printer is trouble on the tray until one of its
        // tickets goes to its own printer again.
        if (r.desvio) {
            desviadas_.insert(r.desvio->pedida);
            avisarImpresora(r.desvio->pedida, QStringLiteral("sus tickets salen por %1 (%2)").arg(d.printer, r.desvio->motivo));
        } else if (desviadas_.remove(d.requestedPrinter.trimmed())) {
            avisarImpresora(d.requestedPrinter.trimmed(), {});
        }
        co_return Resultado::Entregado;
    case Resultado::SistemaCaido:
        retenerPorSistema(d, r.motivo, r.puedeHaberLlegado);
        co_return Resultado::SistemaCaido;
    case Resultado::Retenido:
        guardar(d, DocumentState::Held, r.motivo);
        co_return Resultado::Retenido;
    case Resultado::FallaDatos:
        guardar(d, DocumentState::Failed, r.motivo);
        fallarRestantes(d, r.motivo, esComanda(d));
        co_return Resultado::FallaDatos;
    case Resultado::Nada:
        break;
    }
    guardar(d, DocumentState::Discarded, QStringLiteral("nada que imprimir"));
    co_return Resultado::Nada;
}

void ColaImpresion::fallarCortado(JournalDocument& d, const QString& motivo) {
    guardar(d, DocumentState::Failed, motivo + QStringLiteral(": puede haber salido a medias"));
    avisarFalla(descripcionDocumento(d) + QStringLiteral(" puede haber salido a medias: ") + motivo +
                QStringLiteral(". Revíselo en Trabajos."));
}

Tarea<ResultadoIntento> ColaImpresion::intentar(const JournalDocument& d, const RespuestaGuardada& guardada,
                                                bool reintento) {
    const Intento intento{d, guardada.datos, guardada.config, reintento};
    co_return co_await enHilo(s_.ejecutor, [this, &intento] { return imprimirIntento(s_.lado, intento); });
}

void ColaImpresion::retenerPorSistema(JournalDocument& d, const QString& motivo, bool puedeHaberLlegado) {
    // Told once per outage, however many revision rounds it lasts: the documents behind it wait
    // their turn without a word each.
    const bool avisar = !caidaAvisada_;
    if (avisar) avisarFalla(motivo + QStringLiteral(". Los documentos esperan y se imprimirán en cuanto se pueda."));
    sistemaCaido_ = true;
    caidaAvisada_ = true;
    // A request that got no answer may still have reached the printing system: left as being
    // sent, the system is asked whether it has the job before it is sent again. A refusal is
    // certain: the document waits its turn again, first in line.
    d.reason = motivo;
    guardar(d, puedeHaberLlegado ? DocumentState::Sending : DocumentState::Pending, motivo);
    if (avisar) s_.bitacora.anotar(lineaDocumento(d), gravedadDocumento(d));
}

void ColaImpresion::fallarRestantes(const JournalDocument& d, const QString& motivo, bool soloLista) {
    const QString porque = QStringLiteral("no se imprimió: el error de un documento anterior (%1) detuvo la impresión")
                               .arg(motivo);
    for (JournalDocument resto : s_.diario.documentsIn({DocumentState::Pending, DocumentState::Sending})) {
        if (resto.answerId != d.answerId || resto.id <= d.id) continue;
        if (resto.state == DocumentState::Sending && !marcados_.contains(resto.id)) continue;
        if (soloLista && resto.list != d.list) continue;
        guardar(resto, DocumentState::Failed, porque);
    }
}

Tarea<> ColaImpresion::reintentarRetenidos() {
    // A printer that failed once this round is not asked again for the documents behind it.
    QSet<QString> sinImpresora;
    contarEnCurso();
    for (const JournalDocument& listado : s_.diario.documentsIn({DocumentState::Held})) {
        if (detener() || !hayCupo()) co_return;
        std::optional<JournalDocument> d = s_.diario.document(listado.id);
        if (!d || d->state != DocumentState::Held) continue;
        if (vencido(*d)) {
            vencer(*d);
            continue;
        }
        if (sinImpresora.contains(d->requestedPrinter)) continue;
        // Its printer's queue could not reach the printer: the printer itself says when it takes
        // connections again, rather than a job sent only to be canceled once more.
        const QString impresora = d->printer.isEmpty() ? d->requestedPrinter : d->printer;
        if (problemasImpresoras_.contains(impresora)) {
            const std::optional<bool> responde = co_await enHilo(
                s_.ejecutor, [this, &impresora] { return s_.lado.impresoras().deviceAnswers(impresora); });
            if (responde == false) {
                sinImpresora.insert(d->requestedPrinter);
                continue;
            }
        }
        const Resultado resultado = co_await imprimirDocumento(*d, true);
        if (resultado == Resultado::SistemaCaido) co_return;
        if (resultado == Resultado::Retenido) sinImpresora.insert(d->requestedPrinter);
    }
}

void ColaImpresion::guardar(JournalDocument& d, DocumentState estado, const QString& motivo,
                            std::optional<bool> duradero) {
    const DocumentState antes = d.state;
    const bool cambia = antes != estado || d.reason != motivo;
    d.state = estado;
    d.reason = motivo;
    d.updated = s_.reloj.now();
    // Only "being sent" guards a step (after a crash it sends the printing system looking for the
    // job); every other state may reach the disk with the next one that does.
    s_.diario.update(d, duradero.value_or(estado == DocumentState::Sending));
    if (paper::isUnderWay(estado) || estado == DocumentState::Held) {
        (void)esperaMs(d);  // a wait that begins now is measured from now, whatever the wall clock does next
    } else {
        esperas_.remove(d.id);
    }
    // The log tells outcomes: a document taken, held, failed, expired; not the steps in between,
    // nor the same hold again on every retry (each goes through "being sent" and back), nor the
    // paper that came out as expected.
    if (!cambia || estado == DocumentState::Sending || estado == DocumentState::Pending) return;
    const QString anotado = paper::stateName(estado) + u'\n' + motivo;
    const bool final = estado == DocumentState::Printed || estado == DocumentState::Discarded;
    const bool repetido = anotados_.value(d.id) == anotado;
    if (final) {
        anotados_.remove(d.id);
    } else {
        anotados_.insert(d.id, anotado);
    }
    if (repetido || (estado == DocumentState::Printed && antes == DocumentState::Sent)) return;
    s_.bitacora.anotar(lineaDocumento(d), gravedadDocumento(d));
}

void ColaImpresion::actualizarSinImprimir() {
    int cuenta = s_.diario.unprintedCount();
    if (sistemaCaido_) {
        cuenta += static_cast<int>(s_.diario.documentsIn({DocumentState::Pending, DocumentState::Sending}).size());
    }
    if (cuenta == sinImprimir_) return;
    sinImprimir_ = cuenta;
    if (s_.alCambiarSinImprimir) s_.alCambiarSinImprimir(cuenta);
}

void ColaImpresion::reimprimir(qint64 id, AlTerminar alTerminar) {
    encolar([this, id, alTerminar = std::move(alTerminar)] { return reimprimirPaso(id, alTerminar); });
}

Tarea<> ColaImpresion::reimprimirPaso(qint64 id, AlTerminar alTerminar) {
    // A job that could still come out is canceled first, or the document would print twice.
    if (const std::optional<JournalDocument> d = s_.diario.document(id); d && d->followed && d->jobId > 0) {
        const JournalDocument documento = *d;
        const auto finales = co_await enHilo(
            s_.ejecutor, [this, &documento] { return cancelarTrabajos(s_.lado.impresoras(), {documento}); });
        if (std::optional<QString> motivo = anotarCancelacion(s_.diario, id, finales, s_.reloj.now())) {
            if (alTerminar) alTerminar(motivo);
            co_return;
        }
    }
    if (std::optional<QString> motivo = marcarReimpresion(s_.diario, id, s_.reloj.now())) {
        if (alTerminar) alTerminar(motivo);
        co_return;
    }
    s_.bitacora.anotar(QStringLiteral("Documento %1: reimpresión pedida").arg(id));
    if (alTerminar) alTerminar(std::nullopt);
    hayNuevos_ = true;
    co_await drenar();
    actualizarSinImprimir();
}

void ColaImpresion::descartar(qint64 id, AlTerminar alTerminar) {
    encolar([this, id, alTerminar = std::move(alTerminar)] { return descartarPaso(id, alTerminar); });
}

Tarea<> ColaImpresion::descartarPaso(qint64 id, AlTerminar alTerminar) {
    const std::optional<JournalDocument> d = s_.diario.document(id);
    // A job still waiting in a stopped queue would come out when the queue is started again.
    if (d && d->followed && d->jobId > 0 && d->state != DocumentState::Printed) {
        const int trabajo = d->jobId;
        co_await enHilo(s_.ejecutor, [this, trabajo] {
            try {
                s_.lado.impresoras().cancelJob(trabajo);
            } catch (const platform::PrinterError&) {
                // Dismissed all the same: the person decided; the job, if it prints, is theirs to see.
            }
        });
    }
    std::optional<QString> motivo = descartarDocumento(s_.diario, id, s_.reloj.now());
    if (!motivo) {
        s_.bitacora.anotar(QStringLiteral("Documento %1: descartado").arg(id));
        actualizarSinImprimir();
    }
    if (alTerminar) alTerminar(motivo);
}

}  // namespace kelmora::shell
