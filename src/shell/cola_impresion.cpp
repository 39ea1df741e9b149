#include "shell/cola_impresion.h"

#include "json/json_reader.h"
#include "json/json_writer.h"
#include "json/runtime_error.h"
#include "printing/texto.h"
#include "shell/trabajos.h"
#include "tickets/anulacion.h"
#include "tickets/cajon.h"
#include "tickets/comanda.h"
#include "tickets/factura.h"

#include <QSet>

namespace kelmora::shell {

using platform::DocumentState;
using platform::JournalDocument;

namespace {

// Marks a document under way for as long as it lasts, however it ends.
class Imprimiendo {
public:
    explicit Imprimiendo(bool& bandera) : bandera_(bandera) { bandera_ = true; }
    ~Imprimiendo() { bandera_ = false; }
    Imprimiendo(const Imprimiendo&) = delete;
    Imprimiendo& operator=(const Imprimiendo&) = delete;

private:
    bool& bandera_;
};

// The answer's lists, as the journal names where a document comes from.
const QString kComandas = QStringLiteral("comanda");
const QString kAnulaciones = QStringLiteral("anulaciones");
const QString kFacturas = QStringLiteral("factura");
const QString kCajon = QStringLiteral("abrirCajon");

// "Being sent" is marked for this many documents at once, in one sync: after a crash, those of
// them never sent are not found by their jobs' names, and print with their REIMPRESION line.
constexpr qsizetype kMarcadosJuntos = 8;

// How long a request cut short may still take to reach the printing system: a process killed
// mid-request leaves one that the system may take a moment later.
constexpr std::chrono::milliseconds kEsperaEnvioCortado{3000};

// What a record names, for the journal's list; a value that is no text names nothing.
QString textoDe(const Value& registro, const char16_t* clave, const QLocale& locale) {
    try {
        return registro[clave].toText(locale);
    } catch (const RuntimeError&) {
        return {};
    }
}

// Whether a record is printed at all; one whose test itself fails is printed, so that its ticket
// meets the same failure and tells it as it always did.
bool imprimible(const std::function<bool()>& prueba) {
    try {
        return prueba();
    } catch (const RuntimeError&) {
        return true;
    }
}

// "Comanda de Mesa 4, pedido 1234": what staff recognise a document by.
QString descripcion(const JournalDocument& d) {
    QString texto = d.kind;
    if (!d.table.isEmpty()) texto += QStringLiteral(" de ") + d.table;
    if (!d.order.isEmpty()) texto += QStringLiteral(", pedido ") + d.order;
    return texto;
}

}  // namespace

QString lineaDocumento(const JournalDocument& d) {
    QString linea = QStringLiteral("Documento %1: %2").arg(d.id).arg(descripcion(d));
    if (d.reprint) linea += QStringLiteral(" (reimpresión)");
    const QString impresora = d.printer.isEmpty() ? d.requestedPrinter : d.printer;
    if (!impresora.isEmpty()) linea += QStringLiteral(", impresora ") + impresora;
    if (d.jobId > 0) linea += QStringLiteral(", trabajo ") + QString::number(d.jobId);
    linea += QStringLiteral(": ") + platform::stateName(d.state);
    if (!d.reason.isEmpty()) linea += QStringLiteral(" (") + d.reason + u')';
    return linea;
}

ColaImpresion::ColaImpresion(Partes partes, AjustesCola ajustes) : p_(std::move(partes)), ajustes_(ajustes) {
    if (p_.revision != nullptr) p_.revision->setHandler([this] { revisar(); });
}

ColaImpresion::~ColaImpresion() {
    if (p_.revision != nullptr) {
        p_.revision->stop();
        p_.revision->setHandler({});
    }
}

void ColaImpresion::imprimirRespuesta(const Value& datos, const Collection& comandas, const Collection& anulaciones,
                                      const Collection& facturas, bool abrirCajon) {
    const QLocale& locale = p_.locale;
    QList<JournalDocument> documentos;
    const auto agregar = [&](const QString& lista, int posicion, const QString& clase, const Value& registro,
                             const QString& impresora, const char16_t* clavePedido) {
        JournalDocument d;
        d.list = lista;
        d.position = posicion;
        d.kind = clase;
        d.table = textoDe(registro, u"nomMesa", locale);
        if (clavePedido != nullptr) d.order = textoDe(registro, clavePedido, locale);
        d.requestedPrinter = impresora;
        documentos.append(d);
    };
    int posicion = 0;
    for (const Value& comanda : comandas) {
        if (imprimible([&] { return comandaImprimible(comanda, locale); })) {
            agregar(kComandas, posicion, QStringLiteral("Comanda"), comanda, textoDe(comanda, u"area", locale),
                    u"nPedido");
        }
        ++posicion;
    }
    posicion = 0;
    for (const Value& anulacion : anulaciones) {
        agregar(kAnulaciones, posicion++, QStringLiteral("Anulacion"), anulacion, textoDe(anulacion, u"area", locale),
                nullptr);
    }
    posicion = 0;
    // Invoices are meant for the default printer, whichever it is now.
    const QString predeterminada = facturas.Count() > 0 ? p_.seleccion.impresoraPredeterminada() : QString();
    for (const Value& factura : facturas) {
        if (imprimible([&] { return facturaImprimible(factura); })) {
            agregar(kFacturas, posicion, QStringLiteral("Factura"), factura, predeterminada, u"idFacturaCuenta");
        }
        ++posicion;
    }
    if (abrirCajon) {
        JournalDocument cajon;
        cajon.list = kCajon;
        cajon.kind = QStringLiteral("Cajon");
        cajon.requestedPrinter = QStringLiteral("Facturas");
        documentos.append(cajon);
    }
    if (documentos.isEmpty()) return;

    // Only what the documents are printed from is kept.
    Dictionary guardada;
    guardada.add(QStringLiteral("config"), datos[u"config"]);
    guardada.add(kComandas, comandas);
    guardada.add(kAnulaciones, anulaciones);
    guardada.add(kFacturas, facturas);
    const qint64 respuesta = p_.diario.addAnswer(escribirJSON(guardada), documentos, p_.reloj.now());
    if (respuesta == 0) {
        p_.registro.anotar(QStringLiteral("No se pudo guardar la respuesta en el diario de trabajos: sus %1 "
                                          "documentos no se imprimen")
                               .arg(documentos.size()));
        p_.avisos.ShowBalloonTip(QStringLiteral("No se pudo guardar la respuesta en el diario de trabajos."),
                                 platform::BalloonIcon::Error, QStringLiteral("Error al imprimir"),
                                 platform::kBalloonMilliseconds);
        return;
    }
    for (const JournalDocument& d : std::as_const(documentos)) (void)esperaMs(d);
    auto config = std::make_shared<ConfigImpresion>(locale);
    config->actualizar(datos[u"config"].toCollection());
    recordarCarga(respuesta, Carga{Value(guardada), config});

    QMap<QString, int> porClase;
    for (const JournalDocument& d : std::as_const(documentos)) ++porClase[d.kind];
    QStringList partes;
    for (auto it = porClase.cbegin(); it != porClase.cend(); ++it) {
        partes.append(QStringLiteral("%1 %2").arg(it.value()).arg(it.key()));
    }
    p_.registro.anotar(QStringLiteral("Respuesta %1 con %2 documentos (%3): documentos %4 a %5")
                           .arg(respuesta)
                           .arg(documentos.size())
                           .arg(partes.join(QStringLiteral(", ")))
                           .arg(documentos.first().id)
                           .arg(documentos.last().id));

    hayNuevos_ = true;
    respuestaEnCurso_ = respuesta;
    struct AlSalir {
        ColaImpresion& cola;
        ~AlSalir() {
            cola.respuestaEnCurso_ = 0;
            cola.actualizarSinImprimir();
        }
    } alSalir{*this};
    drenar();
}

void ColaImpresion::iniciar() {
    p_.diario.writeWaiting();
    const QDateTime ahora = p_.reloj.now();
    p_.diario.prune(ahora.addDays(-ajustes_.diasDiario));
    ultimaPoda_ = ahora;
    recuperarEnvios();
    hayNuevos_ = true;
    try {
        drenar();
    } catch (const RuntimeError&) {
        // Recorded already; only an answer being handled now tells its caller.
    }
    actualizarSinImprimir();
    if (p_.revision != nullptr) {
        p_.revision->start(static_cast<int>(ajustes_.revision.count()), platform::Timer::Mode::Repeating);
    }
}

void ColaImpresion::revisar() {
    // A document is being printed further up (an invoice lets pending events run): next round.
    if (imprimiendo_) return;
    p_.diario.writeWaiting();
    recuperarEnvios();
    seguirTrabajos();
    sistemaCaido_ = false;
    reintentarRetenidos();
    if (!sistemaCaido_) {
        hayNuevos_ = true;
        try {
            drenar();
        } catch (const RuntimeError&) {
        }
    }
    if (!sistemaCaido_) caidaAvisada_ = false;
    const QDateTime ahora = p_.reloj.now();
    if (!ultimaPoda_.isValid() || ultimaPoda_.daysTo(ahora) >= 1) {
        p_.diario.prune(ahora.addDays(-ajustes_.diasDiario));
        ultimaPoda_ = ahora;
    }
    actualizarSinImprimir();
}

void ColaImpresion::drenar() {
    if (imprimiendo_ || sistemaCaido_) return;
    // Nothing goes out ahead of a document whose fate the printing system has yet to tell.
    if (!p_.diario.documentsIn({DocumentState::Sending}).isEmpty()) {
        sistemaCaido_ = true;
        return;
    }
    const Imprimiendo imprimiendo(imprimiendo_);
    contarEnCurso();
    // Marked but not reached when this pass ends (a stop, the printing system down, no room):
    // they wait their turn again.
    struct AlTerminar {
        ColaImpresion& cola;
        ~AlTerminar() { cola.desmarcar(); }
    } alTerminar{*this};

    std::optional<QString> errorDeDatos;
    while (hayNuevos_ && hayCupo()) {
        hayNuevos_ = false;
        const QList<JournalDocument> pendientes = p_.diario.documentsIn({DocumentState::Pending});
        for (qsizetype i = 0; i < pendientes.size(); ++i) {
            if (p_.detenerSolicitado && p_.detenerSolicitado()) return;
            // The rest go out as the jobs sent before them reach paper.
            if (!hayCupo()) break;
            std::optional<JournalDocument> d = p_.diario.document(pendientes[i].id);
            const bool marcado = marcados_.remove(pendientes[i].id);
            if (!d || d->state != (marcado ? DocumentState::Sending : DocumentState::Pending)) continue;
            if (vencido(*d)) {
                vencer(*d);
                continue;
            }
            if (!marcado) marcarEnvio(*d, pendientes.mid(i + 1, kMarcadosJuntos - 1));
            const Resultado resultado = imprimirDocumento(*d, false);
            if (resultado == Resultado::SistemaCaido) return;
            if (resultado == Resultado::Fallido && d->answerId == respuestaEnCurso_ && d->list != kComandas &&
                !errorDeDatos) {
                errorDeDatos = d->reason;
            }
        }
    }
    // The dispatch of the answer being handled ends as it always did on such an error.
    if (errorDeDatos) throw RuntimeError(*errorDeDatos);
}

void ColaImpresion::marcarEnvio(JournalDocument& d, const QList<JournalDocument>& siguientes) {
    // One sync for all: the last mark reaches the disk with every one written before it. Read
    // afresh: a person may have dismissed one meanwhile (an invoice lets events run).
    for (const JournalDocument& listado : siguientes) {
        std::optional<JournalDocument> s = p_.diario.document(listado.id);
        if (!s || s->state != DocumentState::Pending) continue;
        guardar(*s, DocumentState::Sending, s->reason, false);
        marcados_.insert(s->id);
    }
    guardar(d, DocumentState::Sending, d.reason, true);
}

void ColaImpresion::desmarcar() {
    for (const qint64 id : std::as_const(marcados_)) {
        std::optional<JournalDocument> d = p_.diario.document(id);
        if (d && d->state == DocumentState::Sending) guardar(*d, DocumentState::Pending, d->reason);
    }
    marcados_.clear();
}

const ColaImpresion::Carga& ColaImpresion::carga(qint64 respuesta) {
    const auto it = cargas_.constFind(respuesta);
    if (it != cargas_.cend()) return *it;
    JsonReader lector;
    Value datos = lector.leerJSON(p_.diario.answerPayload(respuesta));
    if (!lector.erroresJSON().isEmpty()) datos = Value();
    auto config = std::make_shared<ConfigImpresion>(p_.locale);
    try {
        config->actualizar(datos[u"config"].toCollection());
    } catch (const RuntimeError&) {
    }
    return recordarCarga(respuesta, Carga{datos, config});
}

const ColaImpresion::Carga& ColaImpresion::recordarCarga(qint64 respuesta, Carga carga) {
    // A few are enough: a round goes through the same answers, oldest first.
    if (cargas_.size() >= 4) cargas_.clear();
    return *cargas_.insert(respuesta, std::move(carga));
}

std::optional<QString> ColaImpresion::ejecutarTicket(const JournalDocument& d, const Value& datos,
                                                     const Impresion& impresion) {
    if (d.list == kCajon) {
        abrirCajonMonedero(impresion);
        return std::nullopt;
    }
    const Value registro = datos[d.list].toCollection().item(d.position + 1);
    Collection unico;
    unico.add(registro);
    if (d.list == kComandas) return imprimirComandas(impresion, unico);
    if (d.list == kAnulaciones) {
        imprimirAnulaciones(impresion, unico);
    } else {
        imprimirFactura(impresion, registro);
    }
    return std::nullopt;
}

ColaImpresion::Resultado ColaImpresion::imprimirDocumento(JournalDocument& d, bool reintento) {
    // A copy: an answer that comes in while an invoice lets events run may clear the cache, and the
    // settings must outlive the document printed with them.
    const Carga c = carga(d.answerId);
    if (c.datos.isEmpty()) {
        guardar(d, DocumentState::Failed, QStringLiteral("la respuesta ya no está en el diario"));
        return Resultado::Fallido;
    }
    if (d.answerId != respuestaAvisos_) {
        avisosRespuesta_ = AvisosRespuesta();
        respuestaAvisos_ = d.answerId;
    }
    TextoTicket texto(p_.seleccion, *c.config);
    const Impresion impresion{*c.config,  p_.seleccion, texto,           p_.avisos,         p_.reloj,
                              p_.imagenes, p_.eventos,  p_.carpetaPrograma, &avisosRespuesta_};
    platform::PrinterSystem& impresoras = p_.seleccion.impresoras();

    if (!p_.seleccion.hayImpresora()) {
        if (!impresoras.reachable()) {
            retenerPorSistema(d, QStringLiteral("No se puede contactar con el sistema de impresión"), false);
            return Resultado::SistemaCaido;
        }
        // The selection tells it, once: the tray counts it from then on.
        if (!reintento) p_.seleccion.seleccionarImpresora(SeleccionImpresora::kSinImpresora, true);
        guardar(d, DocumentState::Held, QStringLiteral("No hay ninguna impresora instalada"));
        return Resultado::Retenido;
    }

    // Recorded before the printing system hears of it: after a crash, a document found in this
    // state is looked up there by its job's name. The pending ones were marked with those after them.
    if (d.state != DocumentState::Sending) guardar(d, DocumentState::Sending);
    impresoras.setJobName(nombreTrabajo(d.id));
    p_.seleccion.marcarReimpresion(d.reprint);
    p_.seleccion.silenciarFallas(reintento);
    const quint64 entregasAntes = impresoras.deliveries();
    std::optional<QString> errorDeDatos;
    std::optional<platform::PrinterError> errorDeImpresora;
    try {
        errorDeDatos = ejecutarTicket(d, c.datos, impresion);
    } catch (const platform::PrinterError& error) {
        errorDeImpresora = error;
    } catch (const RuntimeError& error) {
        errorDeDatos = error.description();
    }
    impresoras.setJobName({});
    p_.seleccion.marcarReimpresion(false);
    p_.seleccion.silenciarFallas(false);

    if (impresoras.deliveries() != entregasAntes) {
        const platform::Delivery& entrega = impresoras.lastDelivery();
        d.printer = entrega.printer;
        d.format = entrega.format;
        d.bytes = entrega.bytes;
        d.jobId = entrega.jobId;
        d.followed = entrega.jobId > 0;
        d.since = p_.reloj.now();
        if (d.followed) ++enCurso_;
        // Without a job to follow, what the printer took is as far as anyone can know.
        guardar(d, d.followed ? DocumentState::Sent : DocumentState::Printed);
        return Resultado::Enviado;
    }
    if (errorDeImpresora) {
        if (errorDeImpresora->scope() == platform::PrinterError::Scope::System || !impresoras.reachable()) {
            retenerPorSistema(d, errorDeImpresora->description(), errorDeImpresora->mayHaveArrived());
            return Resultado::SistemaCaido;
        }
        guardar(d, DocumentState::Held, errorDeImpresora->description());
        return Resultado::Retenido;
    }
    if (errorDeDatos) {
        guardar(d, DocumentState::Failed, *errorDeDatos);
        fallarRestantes(d, *errorDeDatos, d.list == kComandas);
        return Resultado::Fallido;
    }
    if (!p_.seleccion.fallaSeleccion().isEmpty()) {
        if (!impresoras.reachable()) {
            retenerPorSistema(d, p_.seleccion.fallaSeleccion(), false);
            return Resultado::SistemaCaido;
        }
        guardar(d, DocumentState::Held, p_.seleccion.fallaSeleccion());
        return Resultado::Retenido;
    }
    guardar(d, DocumentState::Discarded, QStringLiteral("nada que imprimir"));
    return Resultado::Nada;
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
    if (avisar) p_.registro.anotar(lineaDocumento(d));
}

void ColaImpresion::fallarRestantes(const JournalDocument& d, const QString& motivo, bool soloLista) {
    const QString porque = QStringLiteral("no se imprimió: el error de un documento anterior (%1) detuvo la impresión")
                               .arg(motivo);
    for (JournalDocument resto : p_.diario.documentsIn({DocumentState::Pending, DocumentState::Sending})) {
        if (resto.answerId != d.answerId || resto.id <= d.id) continue;
        if (resto.state == DocumentState::Sending && !marcados_.contains(resto.id)) continue;
        if (soloLista && resto.list != d.list) continue;
        guardar(resto, DocumentState::Failed, porque);
    }
}

void ColaImpresion::vencer(JournalDocument& d) {
    const QString motivo = d.reason.isEmpty()
                               ? QStringLiteral("ninguna impresora lo tomó a tiempo")
                               : QStringLiteral("ninguna impresora lo tomó a tiempo (%1)").arg(d.reason);
    guardar(d, DocumentState::Expired, motivo);
    p_.avisos.ShowBalloonTip(descripcion(d) + QStringLiteral(" no se imprimirá: esperó demasiado. "
                                                             "Reimprímalo desde Trabajos si aún hace falta."),
                             platform::BalloonIcon::Warning, QStringLiteral("Trabajo vencido"),
                             platform::kBalloonMilliseconds);
}

bool ColaImpresion::vencido(const JournalDocument& d) {
    using std::chrono::milliseconds;
    if (d.kind == u"Comanda" || d.kind == u"Anulacion") {
        return esperaMs(d) > milliseconds(ajustes_.vencimientoComanda).count();
    }
    if (d.kind == u"Cajon") return esperaMs(d) > milliseconds(ajustes_.vencimientoCajon).count();
    return false;
}

qint64 ColaImpresion::esperaMs(const JournalDocument& d) {
    const qint64 ahora = p_.reloj.monotonicMs();
    auto it = esperas_.find(d.id);
    if (it == esperas_.end() || it->desde != d.since) {
        // A wait that began before this start (or in another process: a reprint asked from the
        // command line) is all the wall clock can tell, never less than none.
        const qint64 antes = std::max<qint64>(0, d.since.msecsTo(p_.reloj.now()));
        it = esperas_.insert(d.id, Espera{d.since, ahora - antes});
    }
    return ahora - it->inicioMs;
}

void ColaImpresion::contarEnCurso() { enCurso_ = static_cast<int>(p_.diario.followedDocuments().size()); }

void ColaImpresion::reintentarRetenidos() {
    // A printer that failed once this round is not asked again for the documents behind it.
    QSet<QString> sinImpresora;
    contarEnCurso();
    for (const JournalDocument& listado : p_.diario.documentsIn({DocumentState::Held})) {
        if (p_.detenerSolicitado && p_.detenerSolicitado()) return;
        if (!hayCupo()) return;
        std::optional<JournalDocument> d = p_.diario.document(listado.id);
        if (!d || d->state != DocumentState::Held) continue;
        if (vencido(*d)) {
            vencer(*d);
            continue;
        }
        if (sinImpresora.contains(d->requestedPrinter)) continue;
        Resultado resultado = Resultado::Nada;
        {
            const Imprimiendo imprimiendo(imprimiendo_);
            resultado = imprimirDocumento(*d, true);
        }
        if (resultado == Resultado::SistemaCaido) return;
        if (resultado == Resultado::Retenido) sinImpresora.insert(d->requestedPrinter);
    }
}

void ColaImpresion::seguirTrabajos() {
    const QList<JournalDocument> seguidos = p_.diario.followedDocuments();
    if (seguidos.isEmpty()) return;
    QList<int> trabajos;
    for (const JournalDocument& d : seguidos) trabajos.append(d.jobId);
    QHash<int, platform::JobStatus> estados;
    try {
        for (const platform::JobStatus& estado : p_.seleccion.impresoras().jobStatuses(trabajos)) {
            estados.insert(estado.jobId, estado);
        }
    } catch (const RuntimeError&) {
        return;  // the printing system cannot say now; next round
    }
    QList<std::pair<JournalDocument, QString>> atascados;
    std::optional<bool> guardaHistorial;
    for (JournalDocument d : seguidos) {
        platform::JobStatus estado = estados.value(d.jobId);
        using State = platform::JobStatus::State;
        // Its id given to another job: the scheduler started again without it.
        const bool ajeno = !esDelDocumento(estado, d.id);
        if (ajeno) estado.state = State::Unknown;
        switch (estado.state) {
        case State::Completed:
            historialVisto_ = historialVisto_ || !estado.jobName.isEmpty();  // a finished job still listed
            d.followed = false;
            guardar(d, DocumentState::Printed, {});
            break;
        case State::Unknown: {
            const std::optional<bool> perdido = ajeno ? std::optional<bool>(true) : trabajoPerdido(d, guardaHistorial);
            if (!perdido) break;  // cannot say now: next round
            if (*perdido) {
                perderTrabajo(d);
                break;
            }
            d.followed = false;
            guardar(d, DocumentState::Printed, {});
            if (!sinHistorialAvisado_) {
                sinHistorialAvisado_ = true;
                p_.registro.anotar(QStringLiteral("El sistema de impresión no guarda los trabajos terminados: "
                                                  "un trabajo que desaparece se da por impreso"));
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
            if (!estado.reason.isEmpty()) motivo += QStringLiteral(": ") + estado.reason;
            if (!estado.queueProblem.isEmpty()) motivo += QStringLiteral("; ") + estado.queueProblem;
            guardar(d, DocumentState::Failed, motivo);
            avisarFalla(descripcion(d) + QStringLiteral(" no se imprimió en ") + d.printer + QStringLiteral(": ") + motivo);
            break;
        }
        case State::Waiting:
        case State::Printing:
            // Still on its way: a failure only once it has waited long enough with its queue in trouble.
            if (d.state == DocumentState::Sent && !estado.queueProblem.isEmpty() &&
                esperaMs(d) >= std::chrono::milliseconds(ajustes_.limitePapel).count()) {
                atascados.append({d, estado.queueProblem});
            }
            break;
        }
    }
    if (!atascados.isEmpty()) fallarTrasCancelar(atascados);
}

std::optional<bool> ColaImpresion::trabajoPerdido(const JournalDocument& d, std::optional<bool>& guardaHistorial) {
    // Gone without a trace. A scheduler whose queue is gone, or that keeps finished jobs, lost it;
    // one that keeps none forgets each job as it finishes, and cannot tell.
    platform::PrinterSystem& impresoras = p_.seleccion.impresoras();
    const QStringList colas = impresoras.printerNames();
    if (!impresoras.reachable()) return std::nullopt;  // an empty list says nothing of its queue
    if (!colas.contains(d.printer)) return true;
    if (!guardaHistorial) {
        try {
            // Once seen keeping them, it does: a scheduler that lost its spool holds none for a while.
            guardaHistorial = historialVisto_ || impresoras.keepsJobHistory();
        } catch (const RuntimeError&) {
            return std::nullopt;
        }
        historialVisto_ = *guardaHistorial;
    }
    return *guardaHistorial;
}

void ColaImpresion::avisarFalla(const QString& texto) {
    p_.avisos.ShowBalloonTip(texto, platform::BalloonIcon::Warning, QStringLiteral("Error al imprimir"),
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
    const bool reimprimir = d.kind != u"Cajon" && d.lostJobs == 0;
    ++d.lostJobs;
    const QString motivo = QStringLiteral("el sistema de impresión ya no tiene su trabajo %1").arg(trabajo);
    if (!reimprimir) {
        guardar(d, DocumentState::Failed, motivo);
        avisarFalla(descripcion(d) + QStringLiteral(" puede no haberse impreso en ") + d.printer + QStringLiteral(": ") +
                    motivo + QStringLiteral(". Revíselo en Trabajos."));
        return;
    }
    d.jobId = 0;
    d.reprint = true;
    d.since = p_.reloj.now();
    guardar(d, DocumentState::Pending, motivo + QStringLiteral(": se reimprime"));
    p_.registro.anotar(lineaDocumento(d));
    p_.avisos.ShowBalloonTip(descripcion(d) + QStringLiteral(" se reimprime: ") + motivo +
                                 QStringLiteral(" y no se sabe si salió."),
                             platform::BalloonIcon::Warning, QStringLiteral("Reimpresión"),
                             platform::kBalloonMilliseconds);
    hayNuevos_ = true;
}

void ColaImpresion::fallarTrasCancelar(const QList<std::pair<JournalDocument, QString>>& atascados) {
    using State = platform::JobStatus::State;
    QList<JournalDocument> documentos;
    for (const auto& [d, problema] : atascados) documentos.append(d);
    const auto finales = cancelarTrabajos(p_.seleccion.impresoras(), documentos);
    if (!finales) return;  // the printing system cannot say now: still followed, canceled again next round
    for (auto [d, problema] : atascados) {
        const State final = finales->value(d.id);
        // Not confirmed: still followed, and canceled again next round.
        if (final == State::Waiting || final == State::Printing) continue;
        d.followed = false;
        if (final == State::Completed) {
            guardar(d, DocumentState::Printed, {});
            continue;
        }
        guardar(d, DocumentState::Failed, problema);
        avisarFalla(descripcion(d) + QStringLiteral(" no se imprimió en ") + d.printer + QStringLiteral(": ") +
                    problema + QStringLiteral(". Se canceló su trabajo: reimprímalo desde Trabajos."));
    }
}

void ColaImpresion::recuperarEnvios() {
    const QList<JournalDocument> enviando = p_.diario.documentsIn({DocumentState::Sending});
    if (enviando.isEmpty() || imprimiendo_) return;
    platform::PrinterSystem& impresoras = p_.seleccion.impresoras();
    const QDateTime ahora = p_.reloj.now();
    for (JournalDocument d : enviando) {
        std::optional<platform::JobStatus> trabajo;
        try {
            trabajo = impresoras.findJob(nombreTrabajo(d.id));
        } catch (const RuntimeError&) {
            return;  // the printing system cannot tell now; these wait for the next round
        }
        // A job past waiting was taken whole, whatever its count of documents says now: the
        // scheduler may already have let go of a finished job's files.
        const bool tomado =
            trabajo && (trabajo->documents >= 1 || trabajo->state != platform::JobStatus::State::Waiting);
        if (tomado) {
            d.jobId = trabajo->jobId;
            d.followed = true;
            d.since = p_.reloj.now();
            guardar(d, DocumentState::Sent, QStringLiteral("ya lo había tomado el sistema de impresión"));
            continue;
        }
        // A request cut short may still be on its way into the printing system (a process killed
        // while sending it, a request that timed out): only after a while does "not there" mean
        // it never arrived.
        // A clock set back since counts as the while gone by: nothing may wait on it for an hour.
        const qint64 edad = d.updated.msecsTo(ahora);
        if (!trabajo && edad >= 0 && edad < kEsperaEnvioCortado.count()) continue;
        // Never taken whole: whatever was left of it goes, and the document is printed again.
        if (trabajo) {
            impresoras.cancelJob(trabajo->jobId);
            guardar(d, DocumentState::Pending, d.reason);
        } else if (d.kind == u"Cajon") {
            // A drawer does not open by itself later, with nobody at the till.
            guardar(d, DocumentState::Failed, QStringLiteral("el sistema de impresión no confirmó si lo recibió"));
        } else {
            // Nobody can tell whether it reached paper (a scheduler that died while taking it
            // forgets it): a copy marked as such is better than a ticket lost.
            d.reprint = true;
            guardar(d, DocumentState::Pending,
                    QStringLiteral("el sistema de impresión no confirmó si lo recibió: se reimprime"));
            p_.registro.anotar(lineaDocumento(d));
        }
        hayNuevos_ = true;
    }
}

void ColaImpresion::guardar(JournalDocument& d, DocumentState estado, const QString& motivo,
                            std::optional<bool> duradero) {
    const DocumentState antes = d.state;
    const bool cambia = antes != estado || d.reason != motivo;
    d.state = estado;
    d.reason = motivo;
    d.updated = p_.reloj.now();
    // Only "being sent" guards a step (after a crash it sends the printing system looking for the
    // job); every other state may reach the disk with the next one that does.
    p_.diario.update(d, duradero.value_or(estado == DocumentState::Sending));
    if (platform::isUnderWay(estado) || estado == DocumentState::Held) {
        (void)esperaMs(d);  // a wait that begins now is measured from now, whatever the wall clock does next
    } else {
        esperas_.remove(d.id);
    }
    // The log tells outcomes: a document taken, held, failed, expired; not the steps in between,
    // nor the same hold again on every retry, nor the paper that came out as expected.
    if (!cambia || estado == DocumentState::Sending || estado == DocumentState::Pending) return;
    if (estado == DocumentState::Printed && antes == DocumentState::Sent) return;
    p_.registro.anotar(lineaDocumento(d));
}

void ColaImpresion::actualizarSinImprimir() {
    int cuenta = p_.diario.unprintedCount();
    if (sistemaCaido_) {
        cuenta += static_cast<int>(p_.diario.documentsIn({DocumentState::Pending, DocumentState::Sending}).size());
    }
    if (cuenta == sinImprimir_) return;
    sinImprimir_ = cuenta;
    if (p_.alCambiarSinImprimir) p_.alCambiarSinImprimir(cuenta);
}

std::optional<QString> ColaImpresion::reimprimir(qint64 id) {
    if (std::optional<QString> motivo = cancelarAntesDeReimprimir(p_.seleccion.impresoras(), p_.diario, id, p_.reloj.now())) {
        return motivo;
    }
    if (std::optional<QString> motivo = marcarReimpresion(p_.diario, id, p_.reloj.now())) return motivo;
    p_.registro.anotar(QStringLiteral("Documento %1: reimpresión pedida").arg(id));
    hayNuevos_ = true;
    try {
        drenar();
    } catch (const RuntimeError&) {
    }
    actualizarSinImprimir();
    return std::nullopt;
}

std::optional<QString> ColaImpresion::descartar(qint64 id) {
    const std::optional<JournalDocument> d = p_.diario.document(id);
    // A job still waiting in a stopped queue would come out when the queue is started again.
    if (d && d->followed && d->jobId > 0 && d->state != DocumentState::Printed) {
        p_.seleccion.impresoras().cancelJob(d->jobId);
    }
    if (std::optional<QString> motivo = descartarDocumento(p_.diario, id, p_.reloj.now())) return motivo;
    p_.registro.anotar(QStringLiteral("Documento %1: descartado").arg(id));
    actualizarSinImprimir();
    return std::nullopt;
}

}  // namespace kelmora::shell
