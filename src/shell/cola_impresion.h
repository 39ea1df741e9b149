#pragma once

#include "json/value.h"
#include "platform/clock.h"
#include "platform/journal.h"
#include "platform/notifier.h"
#include "platform/timer.h"
#include "shell/hilo_impresion.h"
#include "shell/intento_impresion.h"
#include "shell/tarea.h"
#include "shell/bitacora.h"

#include <QHash>
#include <QSet>
#include <QLocale>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>

namespace kelmora::shell {

// How long things wait; the settings file may change them.
struct AjustesCola {
    // Documents kept in the journal, counted from their last change.
    int diasDiario = 7;
    // A job sent but not on paper by then, while its queue reports a problem, is a failed document.
    std::chrono::seconds limitePapel{60};
    // A kitchen order or cancellation that no printer took by then is no longer printed by itself.
    std::chrono::seconds vencimientoComanda{std::chrono::minutes(20)};
    // A drawer that did not open by then must not open by itself later, with nobody at the till.
    std::chrono::seconds vencimientoCajon{60};
    // How often jobs are followed, held documents tried again, and waiting ones resumed.
    std::chrono::milliseconds revision{2000};
    // Jobs sent and not yet seen on paper, at most. The printing system forgets finished jobs once
    // it holds too many (500 by default): each must be seen finished before it can be forgotten,
    // or a ticket on paper would look lost and print again.
    int enCursoMaximo = 250;
};

// The print queue between the dispatcher and the printers: every answer's documents are recorded in
// the journal before anything is printed, printed in order, followed to paper, held and tried
// again when no printer can take them, and listed for a person when they will not print by
// themselves. Nothing the server handed out is dropped.
//
// The queue lives on the thread of the windows and the polls and never blocks it: the printing
// side (the printers, the tickets) runs through the executor, one document or one question at a
// time, in the order given. Everything the queue does goes through one line of steps: an answer
// recorded while a printer hangs prints when its turn comes. When the printing system itself
// cannot take more (not reachable, too many jobs), the rest wait in the journal and go out at
// the pace it takes them, from the revision timer.
class ColaImpresion {
public:
    struct Servicios {
        platform::Journal& diario;
        // Where the printing side's work runs, and that side itself, touched only through it.
        EjecutorImpresion& ejecutor;
        LadoImpresion& lado;
        // The queue's own balloons, on this thread.
        platform::Notifier& avisos;
        platform::Clock& reloj;
        QLocale locale;
        Bitacora& bitacora;
        // Repeating; null where nothing is retried (a one-off rendering).
        platform::Timer* revision = nullptr;
        // True once the service was asked to stop: no new document is started.
        std::function<bool()> detenerSolicitado;
        // The count of held, failed and expired documents, whenever it changes.
        std::function<void(int)> alCambiarSinImprimir;
        // A cancellation's or invoice's own data failed, in an answer of this run: the dispatch of
        // that answer ended there, as the poll cycle must know.
        std::function<void(const QString& descripcion)> alFallarRespuesta;
        // A printing system's printer cannot print (`problema` in staff's words: "no responde"), or
        // can again (empty), as its jobs show.
        std::function<void(const QString& impresora, const QString& problema)> alCambiarImpresora;
    };

    explicit ColaImpresion(Servicios servicios, AjustesCola ajustes = {});
    ~ColaImpresion();
    ColaImpresion(const ColaImpresion&) = delete;
    ColaImpresion& operator=(const ColaImpresion&) = delete;

    // The documents of one answer, in the dispatch's order: each printable kitchen order, each
    // cancellation, each invoice with a table, and the drawer. They are recorded at once, with
    // the answer's text as the server sent it (`texto`), then printed in their turn. A
    // cancellation's or invoice's own data error stops the rest of the answer; when it is found
    // before this returns (the printing side ran here), it is returned, otherwise it goes to
    // alFallarRespuesta.
    std::optional<QString> imprimirRespuesta(const Value& datos, const QString& texto, const Collection& comandas,
                                             const Collection& anulaciones, const Collection& facturas,
                                             bool abrirCajon);

    // After a start: documents left half sent are checked against the printing system, the old
    // ones pruned, the waiting ones printed, and the revision timer started.
    void iniciar();
    // One round of the revision timer.
    void revisar();

    // The service stops: the document being printed finishes and is recorded, and nothing more is
    // started; what waits stays in the journal for the next start.
    void terminar();

    // What a person asks of a document (the "Trabajos" window). `alTerminar` gets the reason it
    // could not be done, or nullopt, once done.
    using AlTerminar = std::function<void(std::optional<QString> motivo)>;
    void reimprimir(qint64 id, AlTerminar alTerminar);
    void descartar(qint64 id, AlTerminar alTerminar);

private:
    using Resultado = ResultadoIntento::Tipo;

    // An answer read back from the journal, with the settings it prints with.
    struct RespuestaGuardada {
        Value datos;
        std::shared_ptr<const ConfigImpresion> config;
    };
    const RespuestaGuardada& respuestaGuardada(qint64 respuesta);
    const RespuestaGuardada& recordarRespuesta(qint64 respuesta, RespuestaGuardada guardada);

    // The line of steps: each runs to its end before the next begins.
    using Paso = std::function<Tarea<>()>;
    void encolar(Paso paso);
    Tarea<> ejecutarPasos();
    // A step that one in line already does: `enCola` says whether one is waiting.
    void encolarUnaVez(bool& enCola, Tarea<> (ColaImpresion::*paso)());
    Tarea<> pasada();
    Tarea<> arranque();
    Tarea<> ronda();
    Tarea<> reimprimirPaso(qint64 id, AlTerminar alTerminar);
    Tarea<> descartarPaso(qint64 id, AlTerminar alTerminar);

    // Prints the waiting documents in order until none is left, the system stops taking them,
    // or the service is asked to stop.
    Tarea<> drenar();
    Tarea<Resultado> imprimirDocumento(paper::JournalDocument& documento, bool reintento);
    // Cut short on paper once more, or a drawer that may have opened: left to a person.
    void fallarCortado(paper::JournalDocument& documento, const QString& motivo);
    // One attempt on the printing side.
    Tarea<ResultadoIntento> intentar(const paper::JournalDocument& documento, const RespuestaGuardada& guardada,
                                     bool reintento);
    void retenerPorSistema(paper::JournalDocument& documento, const QString& motivo, bool puedeHaberLlegado);
    // A cancellation's or invoice's data failed: the dispatch of its answer ended there, as the
    // caller of an answer of this run must know.
    void fallarRespuesta(const paper::JournalDocument& documento);
    // Its job is gone from the printing system before it was seen on paper: printed again, marked.
    void perderTrabajo(paper::JournalDocument& documento);
    // A balloon for a document that did not, or may not, print.
    void avisarFalla(const QString& texto);
    // Jobs that will not print by themselves are canceled before their documents are held again
    // (their queue never reached the printer) or count as failed.
    Tarea<> fallarTrasCancelar(QList<std::pair<paper::JournalDocument, platform::JobStatus>> atascados);
    // A printer's trouble as its queue reports it, told once per change; empty when it printed.
    void avisarImpresora(const QString& impresora, const QString& problema);
    // How long the document has waited in its current state, on a clock that no step of the wall
    // clock moves while the service runs.
    qint64 esperaMs(const paper::JournalDocument& documento);
    bool hayCupo() const { return enCurso_ < ajustes_.enCursoMaximo; }
    void contarEnCurso();
    void fallarRestantes(const paper::JournalDocument& documento, const QString& motivo, bool soloLista);
    Tarea<> seguirTrabajos();
    Tarea<> recuperarEnvios();
    Tarea<> reintentarRetenidos();
    void podar();
    bool vencido(const paper::JournalDocument& documento);
    // No longer printed by itself: listed for a person, and told.
    void vencer(paper::JournalDocument& documento);
    // `duradero`: on disk before it returns; by default only "being sent" is.
    void guardar(paper::JournalDocument& documento, paper::DocumentState estado, const QString& motivo = {},
                 std::optional<bool> duradero = std::nullopt);
    // Marks the document and those after it as being sent, in one sync.
    void marcarEnvio(paper::JournalDocument& documento, const QList<paper::JournalDocument>& siguientes);
    void desmarcar();
    void actualizarSinImprimir();
    bool detener() const { return terminando_ || (s_.detenerSolicitado && s_.detenerSolicitado()); }

    Servicios s_;
    AjustesCola ajustes_;
    std::deque<Paso> pasos_;
    Tarea<> motor_;
    bool enMarcha_ = false;
    bool terminando_ = false;
    // A round or a pass of the waiting documents is already in line: one is enough.
    bool rondaEnCola_ = false;
    bool drenajeEnCola_ = false;
    // The last answers read back from the journal: a retry round goes through the same few.
    QHash<qint64, RespuestaGuardada> respuestas_;
    bool hayNuevos_ = false;
    bool sistemaCaido_ = false;
    // The outage was told: not again on each revision round until a round finds the system back.
    bool caidaAvisada_ = false;
    int sinImprimir_ = -1;
    // Answers from this one on came in during this run: a data error of theirs ends their dispatch.
    qint64 primeraRespuesta_ = 0;
    // The answer being recorded now, whose data error its caller gets back when found meanwhile.
    qint64 respuestaEnCurso_ = 0;
    std::optional<QString> errorEnCurso_;
    QSet<qint64> respuestasFallidas_;
    // The default printer as last seen: where invoices are meant to go.
    QString predeterminada_;
    QDateTime ultimaPoda_;
    // Said once per run: a printing system that keeps no finished jobs cannot tell lost from printed.
    bool sinHistorialAvisado_ = false;
    // The printing system was seen keeping a finished job.
    bool historialVisto_ = false;
    // Jobs followed to paper now, against AjustesCola::enCursoMaximo.
    int enCurso_ = 0;
    // Where each waiting document's wait began on the monotonic clock, and the start it belongs to.
    struct Espera {
        QDateTime desde;
        qint64 inicioMs = 0;
    };
    QHash<qint64, Espera> esperas_;
    // Printers whose queue was seen in trouble, and why, until a job of theirs reaches paper.
    QHash<QString, QString> problemasImpresoras_;
    // Areas whose last ticket went to the default printer: trouble until one goes to its own.
    QSet<QString> desviadas_;
    // The state and reason last written to the log, by document, while it is not done with.
    QHash<qint64, QString> anotados_;
    // Marked as being sent ahead of their turn in this pass, not yet reached.
    QSet<qint64> marcados_;
};

// The line of the log for a document: kind, table and order, printer, job and what became of it.
// Never a customer's data.
QString lineaDocumento(const paper::JournalDocument& documento);
// How much that line matters: a failed or expired document is an error, one held or sent again a
// warning, the rest plain notes.
Gravedad gravedadDocumento(const paper::JournalDocument& documento);
// The drawer's pulse: never sent twice, since a drawer must not open by itself later.
bool esCajon(const paper::JournalDocument& documento);
// "Comanda de Mesa 4, pedido 1234": what staff recognise a document by.
QString descripcionDocumento(const paper::JournalDocument& documento);

}  // namespace kelmora::shell
