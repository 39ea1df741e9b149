#pragma once

#include "json/value.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/journal.h"
#include "platform/notifier.h"
#include "platform/pictures.h"
#include "platform/timer.h"
#include "printing/impresion.h"
#include "printing/seleccion_impresora.h"
#include "shell/registro.h"

#include <QHash>
#include <QSet>
#include <QLocale>
#include <QString>

#include <chrono>
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
// Documents print one after another on the caller's thread, as the dispatch always did. When the
// printing system itself cannot take more (not reachable, too many jobs), the rest wait in the
// journal and go out at the pace it takes them, from the revision timer.
class ColaImpresion {
public:
    struct Partes {
        platform::Journal& diario;
        SeleccionImpresora& seleccion;
        platform::Notifier& avisos;
        platform::Clock& reloj;
        platform::PictureLoader& imagenes;
        platform::EventPump& eventos;
        QString carpetaPrograma;
        QLocale locale;
        Registro& registro;
        // Repeating; null where nothing is retried (a one-off rendering).
        platform::Timer* revision = nullptr;
        // True once the service was asked to stop: no new document is started.
        std::function<bool()> detenerSolicitado;
        // The count of held, failed and expired documents, whenever it changes.
        std::function<void(int)> alCambiarSinImprimir;
    };

    explicit ColaImpresion(Partes partes, AjustesCola ajustes = {});
    ~ColaImpresion();
    ColaImpresion(const ColaImpresion&) = delete;
    ColaImpresion& operator=(const ColaImpresion&) = delete;

    // The documents of one answer, in the dispatch's order: each printable kitchen order, each
    // cancellation, each invoice with a table, and the drawer. They are recorded, then printed.
    // A cancellation or invoice whose own data fails raises the run-time error, as the dispatch
    // always did, once the documents it stopped are recorded as failed.
    void imprimirRespuesta(const Value& datos, const Collection& comandas, const Collection& anulaciones,
                           const Collection& facturas, bool abrirCajon);

    // After a start: documents left half sent are checked against the printing system, the old
    // ones pruned, the waiting ones printed, and the revision timer started.
    void iniciar();
    // One round of the revision timer.
    void revisar();

    // What a person asks of a document (the "Trabajos" window); the reason it cannot be done.
    std::optional<QString> reimprimir(qint64 id);
    std::optional<QString> descartar(qint64 id);

    int sinImprimir() const { return sinImprimir_; }
    platform::Journal& diario() { return p_.diario; }

private:
    enum class Resultado {
        Enviado,       // the printing system took it
        Retenido,      // no printer could take it now
        SistemaCaido,  // the printing system cannot take anything now: the rest waits too
        Fallido,       // its own data failed: it will not print by retrying
        Nada,          // nothing to print after all
    };

    struct Carga {
        Value datos;
        std::shared_ptr<ConfigImpresion> config;
    };
    const Carga& carga(qint64 respuesta);
    const Carga& recordarCarga(qint64 respuesta, Carga carga);

    // Prints the waiting documents in order until none is left, the system stops taking them,
    // or the service is asked to stop. Raises the data error of a document of `respuestaEnCurso`.
    void drenar();
    Resultado imprimirDocumento(platform::JournalDocument& documento, bool reintento);
    // Runs the document's ticket; returns the data error's description when its data failed.
    std::optional<QString> ejecutarTicket(const platform::JournalDocument& documento, const Value& datos,
                                          const Impresion& impresion);
    void retenerPorSistema(platform::JournalDocument& documento, const QString& motivo, bool puedeHaberLlegado);
    // Whether a job the printing system no longer reports was lost rather than forgotten once
    // finished; nullopt when it cannot say now. `guardaHistorial` keeps the answer for a round.
    std::optional<bool> trabajoPerdido(const platform::JournalDocument& documento, std::optional<bool>& guardaHistorial);
    // Its job is gone from the printing system before it was seen on paper: printed again, marked.
    void perderTrabajo(platform::JournalDocument& documento);
    // A balloon for a document that did not, or may not, print.
    void avisarFalla(const QString& texto);
    // Jobs that will not print by themselves are canceled before their documents count as failed.
    void fallarTrasCancelar(const QList<std::pair<platform::JournalDocument, QString>>& atascados);
    // How long the document has waited in its current state, on a clock that no step of the wall
    // clock moves while the service runs.
    qint64 esperaMs(const platform::JournalDocument& documento);
    bool hayCupo() const { return enCurso_ < ajustes_.enCursoMaximo; }
    void contarEnCurso();
    void fallarRestantes(const platform::JournalDocument& documento, const QString& motivo, bool soloLista);
    void seguirTrabajos();
    void recuperarEnvios();
    void vencerEsperas();
    void reintentarRetenidos();
    bool vencido(const platform::JournalDocument& documento);
    // No longer printed by itself: listed for a person, and told.
    void vencer(platform::JournalDocument& documento);
    // `duradero`: on disk before it returns; by default only "being sent" is.
    void guardar(platform::JournalDocument& documento, platform::DocumentState estado, const QString& motivo = {},
                 std::optional<bool> duradero = std::nullopt);
    // Marks the document and those after it as being sent, in one sync.
    void marcarEnvio(platform::JournalDocument& documento, const QList<platform::JournalDocument>& siguientes);
    void desmarcar();
    void anotarResultado(const platform::JournalDocument& documento);
    void actualizarSinImprimir();

    Partes p_;
    AjustesCola ajustes_;
    // The last answers read back from the journal: a retry round goes through the same few.
    QHash<qint64, Carga> cargas_;
    qint64 respuestaEnCurso_ = 0;
    bool imprimiendo_ = false;
    bool hayNuevos_ = false;
    bool sistemaCaido_ = false;
    // The outage was told: not again on each revision round until a round finds the system back.
    bool caidaAvisada_ = false;
    int sinImprimir_ = -1;
    // What was told once for the answer whose documents print now (an unreadable logo).
    AvisosRespuesta avisosRespuesta_;
    qint64 respuestaAvisos_ = 0;
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
    // Marked as being sent ahead of their turn in this pass, not yet reached.
    QSet<qint64> marcados_;
};

// The line of the log for a document: kind, table and order, printer, job and what became of it.
// Never a customer's data.
QString lineaDocumento(const platform::JournalDocument& documento);

}  // namespace kelmora::shell
