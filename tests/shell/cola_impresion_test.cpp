// The print queue: every answer recorded before it prints, held and tried again, followed to paper,
// expired, reprinted and recovered after a crash.
#include "shell/cola_impresion.h"

#include "json/qt_printers.h"
#include "json/runtime_error.h"
#include "platform/text/text_printer.h"
#include "shell/despachador.h"
#include "shell/diario_memoria.h"
#include "shell/diario_resguardado.h"
#include "support/service_fakes.h"
#include "support/test_support.h"
#include "support/json_text.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <utility>

namespace kelmora::shell {
namespace {

using paper::DocumentState;
using platform::JobStatus;
using paper::JournalDocument;
using platform::PrinterError;
using testing::FakeTimeLine;
using testing::FakeTimer;

// Virtual printers with what a spooler adds: it can be unreachable, a queue can refuse documents,
// and the jobs it takes get ids, states and names that can be looked up again.
class SistemaConTrabajos final : public platform::VirtualPrinterSystem {
public:
    using VirtualPrinterSystem::VirtualPrinterSystem;

    // Nothing listed, not reachable, every delivery refused.
    bool caido = false;
    // Reachable and listing its printers, but taking no more jobs for now.
    bool saturado = false;
    // Queues that refuse every document.
    QSet<QString> rechazan;
    // Each delivery gets a job id, from 100 on; without it nothing can be followed.
    bool conTrabajos = false;
    // Runs just before a document or the drawer's bytes are taken; it may throw.
    std::function<void()> antesDeEntregar;
    // States reported for the followed jobs; a job not listed here is still waiting.
    std::map<int, JobStatus> estados;
    // The jobs the system knows, by title, for findJob.
    QList<JobStatus> trabajos;
    QList<int> cancelados;

    QStringList printerNames() const override {
        return caido ? QStringList() : VirtualPrinterSystem::printerNames();
    }
    bool reachable() const override { return !caido; }

    void sendRaw(const QByteArray& bytes) override {
        if (antesDeEntregar) antesDeEntregar();
        rechazarSiHaceFalta(current().deviceName());
        VirtualPrinterSystem::sendRaw(bytes);
        darTrabajo(current().deviceName(), jobTitle({}));
    }

    QList<JobStatus> jobStatuses(const QList<int>& ids) override {
        comprobarSistema();
        QList<JobStatus> lista;
        for (const int id : ids) {
            const auto it = estados.find(id);
            lista.append(it != estados.end() ? it->second : JobStatus{id, JobStatus::State::Waiting, {}, {}, {}, 1, {}, false, {}});
            lista.last().jobId = id;
        }
        return lista;
    }
    std::optional<JobStatus> findJob(const QString& nombre) override {
        comprobarSistema();
        for (const JobStatus& t : std::as_const(trabajos)) {
            if (t.jobName == nombre || t.jobName.startsWith(nombre + u' ')) return t;
        }
        return std::nullopt;
    }
    // A job canceled is canceled, unless it finished first or the system will not let go of it.
    void cancelJob(int id) override {
        cancelados.append(id);
        if (noCancela) return;
        JobStatus& estado = estados[id];
        estado.jobId = id;
        if (estado.state != JobStatus::State::Completed) estado.state = JobStatus::State::Canceled;
    }
    bool noCancela = false;
    // It keeps finished jobs: one it no longer knows was lost.
    bool keepsJobHistory() override { return true; }

protected:
    void deliverDocument(const QString& impresora, const paper::Document& documento) override {
        if (antesDeEntregar) antesDeEntregar();
        rechazarSiHaceFalta(impresora);
        VirtualPrinterSystem::deliverDocument(impresora, documento);
        darTrabajo(impresora, jobTitle(documento.kind));
    }

private:
    // Asked while it is down, it cannot answer anything.
    void comprobarSistema() const {
        if (caido) {
            throw PrinterError(PrinterError::Scope::System, QStringLiteral("El sistema de impresión no responde"));
        }
    }
    void rechazarSiHaceFalta(const QString& impresora) {
        comprobarSistema();
        if (saturado) throw PrinterError(PrinterError::Scope::System, QStringLiteral("Demasiados trabajos en espera"));
        if (rechazan.contains(impresora)) {
            throw PrinterError(PrinterError::Scope::Printer,
                               QStringLiteral("La cola %1 no acepta trabajos").arg(impresora));
        }
    }
    void darTrabajo(const QString& impresora, const QString& titulo) {
        if (!conTrabajos) return;
        const int id = siguiente_++;
        trabajos.append(JobStatus{id, JobStatus::State::Waiting, titulo, {}, {}, 1, {}, false, {}});
        recordDelivery(platform::Delivery{impresora, QStringLiteral("application/pdf"), QByteArray("%PDF"), id});
    }
    int siguiente_ = 100;
};

// A clock on the fake time line: advancing the line moves it and fires the revision timer.
class RelojDeLaLinea final : public platform::Clock {
public:
    explicit RelojDeLaLinea(const FakeTimeLine& linea) : linea_(linea) {}
    QDateTime now() const override { return inicio_.addMSecs(linea_.now + saltoMs); }
    qint64 monotonicMs() const override { return linea_.now; }
    // The wall clock set forward or back by hand: the line, and so the monotonic clock, does not move.
    qint64 saltoMs = 0;

private:
    const FakeTimeLine& linea_;
    QDateTime inicio_{QDate(2024, 3, 3), QTime(20, 0)};
};

constexpr qint64 kRevision = 2000;

// A queue on virtual printers Facturas (the default), Cocina and Bar, a journal in memory and
// fake time.
struct Banco {
    explicit Banco(QStringList impresorasInstaladas = {QStringLiteral("Facturas"), QStringLiteral("Cocina"),
                                                       QStringLiteral("Bar")},
                   platform::Journal* diarioCompartido = nullptr)
        : impresoras(platform::VirtualPrinterSystem::Options{std::move(impresorasInstaladas), {}, {}}),
          diario(diarioCompartido != nullptr ? *diarioCompartido : propio) {}

    FakeTimeLine linea;
    FakeTimer temporizador{linea};
    RelojDeLaLinea reloj{linea};
    testing::RecordingNotifier avisos;
    testing::FakePictureLoader imagenes;
    SistemaConTrabajos impresoras;
    SeleccionImpresora seleccion{impresoras, avisos};
    DiarioMemoria propio;
    platform::Journal& diario;
    testing::RecordingLog bitacora;
    EjecutorEnLinea ejecutor;
    LadoImpresion lado{seleccion, avisos, reloj, imagenes, QStringLiteral(".")};
    std::function<bool()> detener;
    QList<int> cuentas;
    ConfigImpresion config{QLocale(QLocale::English, QLocale::UnitedStates)};
    std::optional<ColaImpresion> cola;
    std::optional<Despachador> despachador;
    // What the queue told the dispatch of answers it was no longer handling.
    QStringList fallasDeRespuesta;
    QStringList impresorasAvisadas;  // "Cocina: no responde", "Cocina: " once it prints

    ColaImpresion& arrancar(AjustesCola ajustes = {}) {
        cola.emplace(ColaImpresion::Servicios{diario, ejecutor, lado, avisos, reloj,
                                              QLocale(QLocale::English, QLocale::UnitedStates), bitacora,
                                              &temporizador, [this] { return detener && detener(); },
                                              [this](int n) { cuentas.append(n); },
                                              [this](const QString& e) { fallasDeRespuesta.append(e); },
                                              [this](const QString& impresora, const QString& problema) {
                                                  impresorasAvisadas.append(impresora + QStringLiteral(": ") + problema);
                                              }},
                     ajustes);
        despachador.emplace(config, *cola);
        return *cola;
    }
    void despachar(const Value& respuesta) { despachador->setComunicacion(respuesta, jsonText(respuesta)); }
    // A person's action on a document, and the reason it could not be done.
    std::optional<QString> reimprimir(qint64 id) {
        std::optional<QString> motivo = QStringLiteral("sin terminar");
        cola->reimprimir(id, [&](std::optional<QString> m) { motivo = std::move(m); });
        return motivo;
    }
    std::optional<QString> descartar(qint64 id) {
        std::optional<QString> motivo = QStringLiteral("sin terminar");
        cola->descartar(id, [&](std::optional<QString> m) { motivo = std::move(m); });
        return motivo;
    }
    // One round of the revision timer.
    void revisar() { linea.advance(kRevision); }

    // What came out, in order: printer and kind, "raw" for the drawer's pulse.
    QStringList salidas() const {
        QStringList lista;
        for (const auto& d : impresoras.delivered()) {
            lista << d.deviceName + u':' + (d.isRaw ? QStringLiteral("raw") : d.document.kind);
        }
        return lista;
    }
    QList<JournalDocument> documentos() const {
        using S = DocumentState;
        return diario.documentsIn({S::Pending, S::Sending, S::Sent, S::Printed, S::Held, S::Failed, S::Expired,
                                   S::Discarded});
    }
    // The state of every document, in order.
    QStringList estados() const {
        QStringList lista;
        for (const JournalDocument& d : documentos()) lista << paper::stateName(d.state);
        return lista;
    }
    JournalDocument documento(qint64 id) const { return diario.document(id).value_or(JournalDocument{}); }
    int globos(const QString& titulo) const {
        int n = 0;
        for (const auto& g : avisos.balloons) n += g.title == titulo ? 1 : 0;
        return n;
    }
    QStringList textosDeGlobos(const QString& titulo) const {
        QStringList lista;
        for (const auto& g : avisos.balloons) {
            if (g.title == titulo) lista << g.text;
        }
        return lista;
    }
};

Value respuestaDeArchivo(const QString& archivo) {
    return testing::parseJson(testing::readDataFile(QStringLiteral("answers/") + archivo).mid(5));
}

// The members at `indices` (from 1) of one of the answer's lists.
Collection elementos(const Value& respuesta, const char16_t* lista, const QList<int>& indices) {
    Collection c;
    for (const int i : indices) c.add(respuesta[lista].toCollection().item(i));
    return c;
}

// Two kitchen orders, a cancellation, three invoices and the drawer.
Value turnoCompleto() { return respuestaDeArchivo(QStringLiteral("turno_completo.txt")); }

const QString kProductos = QStringLiteral(R"([{"nombre": "Sopa", "cantidad": 1, "valor": 9000, "detalle": []}])");

Value comanda(const QString& area, const QString& mesa, int pedido, const QString& productos = kProductos) {
    return testing::parseJson(
        QStringLiteral(R"({"area": "%1", "titulo": null, "nomMesa": "%2", "responsable": "Luisa", "nPedido": %3,
            "fecha": "2024-03-03 20:10", "clienteNombre": "", "codPlataforma": "", "productos": %4})")
            .arg(area, mesa)
            .arg(pedido)
            .arg(productos));
}

Value anulacion(const QString& area, const QString& mesa, const QString& productos = kProductos) {
    return testing::parseJson(
        QStringLiteral(R"({"area": "%1", "nomMesa": "%2", "productos": %3})").arg(area, mesa, productos));
}

Value respuesta(const QList<Value>& comandas, const QList<Value>& anulaciones, const Collection& facturas,
                bool cajon) {
    Collection c;
    for (const Value& v : comandas) c.add(v);
    Collection a;
    for (const Value& v : anulaciones) a.add(v);
    Collection ids;
    ids.add(1);
    Dictionary r;
    r.add(QStringLiteral("config"), turnoCompleto()[u"config"]);
    r.add(QStringLiteral("comanda"), c);
    r.add(QStringLiteral("anulaciones"), a);
    r.add(QStringLiteral("factura"), facturas);
    r.add(QStringLiteral("abrirCajon"), cajon);
    r.add(QStringLiteral("idsLeidos"), ids);
    return r;
}

// What each document of the journal says about itself: list, position, kind, table, order and
// the printer it was meant for.
QString ficha(const JournalDocument& d) {
    return QStringLiteral("%1#%2 %3 [%4] [%5] -> %6").arg(d.list).arg(d.position).arg(d.kind, d.table, d.order,
                                                                                          d.requestedPrinter);
}

// The answer is in the journal, whole, before the first document reaches a printer; the log says
// one line for the answer and one per document; each job is followed to paper, and what becomes
// of it decides the document's state.
TEST(ColaImpresionRegistro, LaRespuestaSeGuardaAntesDeImprimirYCadaTrabajoSeSigueHastaElPapel) {
    Banco b;
    b.impresoras.conTrabajos = true;
    b.arrancar();
    QStringList estadosAlPrimerEnvio;
    b.impresoras.antesDeEntregar = [&] {
        if (estadosAlPrimerEnvio.isEmpty()) estadosAlPrimerEnvio = b.estados();
    };
    b.despachar(turnoCompleto());

    // Recorded whole, and marked as being sent together (one sync), before the first goes out.
    EXPECT_EQ(estadosAlPrimerEnvio, QStringList(7, QStringLiteral("enviando")));
    QStringList fichas;
    for (const JournalDocument& d : b.documentos()) fichas << ficha(d);
    EXPECT_EQ(fichas, (QStringList{
                          "comanda#0 Comanda [Mesa 7] [3001] -> Cocina",
                          "comanda#1 Comanda [Mesa 7] [3001] -> Bar",
                          "anulaciones#0 Anulacion [Mesa 4] [] -> Cocina",
                          "factura#0 Factura [Mesa 7] [88] -> Facturas",
                          "factura#1 Factura [Mesa 8] [89] -> Facturas",
                          "factura#2 Factura [Mesa 9] [90] -> Facturas",
                          "abrirCajon#0 Cajon [] [] -> Facturas",
                      }));
    EXPECT_EQ(b.salidas(), (QStringList{"Cocina:Comanda", "Bar:Comanda", "Cocina:Anulacion", "Facturas:Factura",
                                        "Facturas:Factura", "Facturas:Factura", "Facturas:raw"}));
    EXPECT_EQ(b.estados(), QStringList(7, QStringLiteral("enviado")));
    // Each job carries the name its document can be found by after a crash.
    const auto& entregados = b.impresoras.delivered();
    EXPECT_EQ(entregados.front().jobTitle, QStringLiteral("kelmora-1 Comanda"));
    EXPECT_EQ(entregados.back().jobTitle, QStringLiteral("kelmora-7"));
    const JournalDocument primero = b.documento(1);
    EXPECT_EQ(primero.printer, QStringLiteral("Cocina"));
    EXPECT_EQ(primero.jobId, 100);
    EXPECT_TRUE(primero.followed);
    EXPECT_EQ(primero.bytes, QByteArray("%PDF"));

    ASSERT_EQ(b.bitacora.lines.size(), 8) << b.bitacora.lines.join(u'\n').toStdString();
    EXPECT_EQ(b.bitacora.lines[0], QStringLiteral("Respuesta 1 con 7 documentos (1 Anulacion, 1 Cajon, 2 Comanda, "
                                                   "3 Factura): documentos 1 a 7"));
    EXPECT_EQ(b.bitacora.lines[1],
              QStringLiteral("Documento 1: Comanda de Mesa 7, pedido 3001, impresora Cocina, trabajo 100: enviado"));
    EXPECT_EQ(b.bitacora.lines[7], QStringLiteral("Documento 7: Cajon, impresora Facturas, trabajo 106: enviado"));
    // No customer data in the log.
    EXPECT_FALSE(b.bitacora.lines.join(u'\n').contains(QStringLiteral("Luisa")));

    // Paper for most; one canceled, one aborted by its printer, one stuck behind a queue problem.
    b.cola->iniciar();
    b.bitacora.lines.clear();
    b.avisos.balloons.clear();
    using State = JobStatus::State;
    for (int id : {100, 101, 103, 106}) b.impresoras.estados[id] = JobStatus{id, State::Completed, {}, {}, {}, 1, {}, false, {}};
    b.impresoras.estados[102] = JobStatus{102, State::Canceled, {}, QStringLiteral("cancelado por un usuario"), {}, 1, {}, false, {}};
    b.impresoras.estados[104] = JobStatus{104, State::Aborted, {}, {}, QStringLiteral("sin papel"), 1, {}, false, {}};
    b.impresoras.estados[105] = JobStatus{105, State::Waiting, {}, {}, QStringLiteral("la impresora está apagada"), 1, {}, false, {}};
    b.revisar();
    EXPECT_EQ(b.estados(), (QStringList{"impreso", "impreso", "fallido", "impreso", "fallido", "enviado", "impreso"}));
    EXPECT_EQ(b.documento(3).reason, QStringLiteral("el trabajo fue cancelado (cancelado por un usuario)"));
    EXPECT_EQ(b.documento(5).reason, QStringLiteral("la impresora abandonó el trabajo; sin papel"));
    EXPECT_FALSE(b.documento(3).followed);
    EXPECT_TRUE(b.documento(6).followed);
    // The paper that came out is not news; the failures are, with the printer they failed on.
    EXPECT_EQ(b.bitacora.lines.size(), 2) << b.bitacora.lines.join(u'\n').toStdString();
    const QStringList fallas = b.textosDeGlobos(QStringLiteral("Error al imprimir"));
    ASSERT_EQ(fallas.size(), 2);
    EXPECT_TRUE(fallas[0].startsWith(QStringLiteral("Anulacion de Mesa 4 no se imprimió en Cocina")));
    EXPECT_TRUE(fallas[1].startsWith(QStringLiteral("Factura de Mesa 8, pedido 89 no se imprimió en Facturas")));
    EXPECT_EQ(b.cuentas.last(), 2);

    // The stuck job fails once it has waited past the paper limit, and only once its job is
    // canceled: no late copy comes out when the queue starts again.
    b.linea.advance(56000);
    EXPECT_EQ(b.documento(6).state, DocumentState::Sent);
    b.revisar();
    EXPECT_EQ(b.impresoras.cancelados, QList<int>{105});
    EXPECT_EQ(b.documento(6).state, DocumentState::Failed);
    EXPECT_EQ(b.documento(6).reason, QStringLiteral("la impresora está apagada"));
    EXPECT_FALSE(b.documento(6).followed);
    EXPECT_EQ(b.globos(QStringLiteral("Error al imprimir")), 3);
    EXPECT_TRUE(b.textosDeGlobos(QStringLiteral("Error al imprimir"))
                    .last()
                    .contains(QStringLiteral("Se canceló su trabajo")));
    EXPECT_EQ(b.cuentas.last(), 3);
    EXPECT_TRUE(b.impresorasAvisadas.isEmpty());
}

// A queue still connecting to a printer nobody answers at: nothing of its jobs can be on paper.
// Past the paper limit each job is canceled and its document held, the printer's trouble told
// once however many documents and rounds; the documents go out again in their turn, and the first
// job that reaches paper says the printer is back.
TEST(ColaImpresionRegistro, UnaColaQueNoLlegaASuImpresoraRetieneYAvisaUnaVez) {
    Banco b;
    b.impresoras.conTrabajos = true;
    AjustesCola ajustes;
    ajustes.limitePapel = std::chrono::seconds(10);
    b.arrancar(ajustes).iniciar();
    b.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 1"), 1),
                           comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 2"), 2)},
                          {}, Collection(), false));
    ASSERT_EQ(b.estados(), (QStringList{"enviado", "enviado"}));
    using State = JobStatus::State;
    for (int id : {100, 101}) {
        const JobStatus estado{id, State::Printing, {}, {}, QStringLiteral("La impresora Cocina tiene un problema"),
                               1, QStringLiteral("no responde"), true, {}};
        b.impresoras.estados[id] = estado;
    }
    b.linea.advance(11000);
    b.revisar();
    QList<int> cancelados = b.impresoras.cancelados;
    std::sort(cancelados.begin(), cancelados.end());
    EXPECT_EQ(cancelados, (QList<int>{100, 101}));
    EXPECT_EQ(b.impresorasAvisadas, QStringList{"Cocina: no responde"});
    // Held, and sent again in the same round: new jobs, no REIMPRESIÓN, no per-document balloon.
    ASSERT_EQ(b.impresoras.delivered().size(), 4u);
    EXPECT_EQ(b.estados(), (QStringList{"enviado", "enviado"}));
    EXPECT_FALSE(b.documento(1).reprint);
    EXPECT_EQ(b.globos(QStringLiteral("Error al imprimir")), 0);

    for (int id : {102, 103}) b.impresoras.estados[id] = JobStatus{id, State::Completed, {}, {}, {}, 1, {}, false, {}};
    b.revisar();
    EXPECT_EQ(b.estados(), (QStringList{"impreso", "impreso"}));
    EXPECT_EQ(b.impresorasAvisadas, (QStringList{"Cocina: no responde", "Cocina: "}));
}

// The printing system goes away in the middle of an answer: the document it did not take is left
// as being sent, to be looked up before it is sent again, and the rest wait their turn; all told
// in one balloon and one log line however many rounds it stays away. When it is back, everything
// prints in the answer's order, nothing twice.
TEST(ColaImpresionSistemaCaido, LoQueFaltaEsperaConUnSoloAvisoYSaleEnOrdenAlVolver) {
    Banco b;
    b.arrancar().iniciar();
    b.impresoras.antesDeEntregar = [&] {
        if (b.impresoras.delivered().size() == 1) b.impresoras.caido = true;
    };
    b.despachar(turnoCompleto());
    EXPECT_EQ(b.salidas(), QStringList{"Cocina:Comanda"});
    EXPECT_EQ(b.estados(), (QStringList{"impreso", "pendiente", "pendiente", "pendiente", "pendiente", "pendiente",
                                        "pendiente"}));
    EXPECT_EQ(b.documento(2).reason, QStringLiteral("El sistema de impresión no responde"));
    const QStringList avisos = b.textosDeGlobos(QStringLiteral("Error al imprimir"));
    ASSERT_EQ(avisos.size(), 1);
    EXPECT_TRUE(avisos[0].startsWith(QStringLiteral("El sistema de impresión no responde. Los documentos esperan")));
    // The tray counts the waiting ones too.
    EXPECT_EQ(b.cuentas.last(), 6);
    // The log tells the outage, not each document that waits behind it.
    ASSERT_EQ(b.bitacora.lines.size(), 3) << b.bitacora.lines.join(u'\n').toStdString();
    EXPECT_EQ(b.bitacora.lines[2], QStringLiteral("Documento 2: Comanda de Mesa 7, pedido 3001, impresora Bar: "
                                                   "pendiente (El sistema de impresión no responde)"));

    for (int i = 0; i < 5; ++i) b.revisar();
    EXPECT_EQ(b.salidas(), QStringList{"Cocina:Comanda"});
    EXPECT_EQ(b.globos(QStringLiteral("Error al imprimir")), 1);
    EXPECT_EQ(b.bitacora.lines.size(), 3) << b.bitacora.lines.join(u'\n').toStdString();
    EXPECT_EQ(b.cuentas.last(), 6);

    b.impresoras.antesDeEntregar = {};
    b.impresoras.caido = false;
    b.revisar();
    EXPECT_EQ(b.salidas(), (QStringList{"Cocina:Comanda", "Bar:Comanda", "Cocina:Anulacion", "Facturas:Factura",
                                        "Facturas:Factura", "Facturas:Factura", "Facturas:raw"}));
    EXPECT_EQ(b.estados(), QStringList(7, QStringLiteral("impreso")));
    EXPECT_EQ(b.cuentas.last(), 0);
    EXPECT_EQ(b.globos(QStringLiteral("Error al imprimir")), 1);
    b.revisar();
    EXPECT_EQ(b.impresoras.delivered().size(), 7u);

    // A system that is reachable but takes no more jobs for now: the same wait, and a new outage
    // told once more.
    b.impresoras.saturado = true;
    b.despachar(respuesta({comanda(QStringLiteral("Bar"), QStringLiteral("Mesa 3"), 42)},
                          {anulacion(QStringLiteral("Bar"), QStringLiteral("Mesa 3"))}, {}, true));
    EXPECT_EQ(b.estados().mid(7), (QStringList{"pendiente", "pendiente", "pendiente"}));
    EXPECT_EQ(b.documento(8).reason, QStringLiteral("Demasiados trabajos en espera"));
    EXPECT_EQ(b.globos(QStringLiteral("Error al imprimir")), 2);
    EXPECT_EQ(b.cuentas.last(), 3);
    b.revisar();
    b.revisar();
    EXPECT_EQ(b.globos(QStringLiteral("Error al imprimir")), 2);
    b.impresoras.saturado = false;
    b.revisar();
    EXPECT_EQ(b.salidas().mid(7), (QStringList{"Bar:Comanda", "Bar:Anulacion", "Facturas:raw"}));
    EXPECT_EQ(b.estados(), QStringList(10, QStringLiteral("impreso")));
    EXPECT_EQ(b.cuentas.last(), 0);
}

// With neither the requested nor the default printer able to print, the document is held and the
// failure told once; the retries are silent. When only the default printer comes back, the
// document prints there, saying so. A queue that refuses one document holds that one only.
TEST(ColaImpresionImpresoraCaida, SeRetieneConUnAvisoYSaleEnLaPredeterminadaSinDetenerLosDemas) {
    Banco b;
    b.arrancar().iniciar();
    b.impresoras.setOffline(QStringLiteral("Cocina"), true);
    b.impresoras.setOffline(QStringLiteral("Facturas"), true);
    b.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 2"), 41)}, {}, {}, false));
    EXPECT_TRUE(b.salidas().isEmpty());
    EXPECT_EQ(b.estados(), QStringList{"retenido"});
    EXPECT_EQ(b.documento(1).reason, QStringLiteral("La impresora Facturas está fuera de línea"));
    const QStringList avisos = b.textosDeGlobos(QStringLiteral("Error al imprimir"));
    ASSERT_EQ(avisos.size(), 1);
    EXPECT_TRUE(avisos[0].startsWith(QStringLiteral("Error al imprimir, La impresora Facturas no esta disponible.")));
    EXPECT_EQ(b.cuentas.last(), 1);
    for (int i = 0; i < 4; ++i) b.revisar();
    EXPECT_EQ(b.globos(QStringLiteral("Error al imprimir")), 1);
    // Tried again every round, held every time: one line in the log.
    EXPECT_EQ(b.bitacora.lines.filter(QStringLiteral(": retenido")).size(), 1) << b.bitacora.lines.join(u'\n').toStdString();
    EXPECT_TRUE(b.salidas().isEmpty());

    b.impresoras.setOffline(QStringLiteral("Facturas"), false);
    b.revisar();
    ASSERT_EQ(b.salidas(), QStringList{"Facturas:Comanda"});
    const QString texto = platform::renderText(b.impresoras.delivered().back().document, false);
    EXPECT_EQ(texto.section(u'\n', 0, 0), QStringLiteral("Error en Impresora Facturas"));
    EXPECT_TRUE(texto.contains(QStringLiteral("Mesa 2")));
    EXPECT_EQ(b.documento(1).state, DocumentState::Printed);
    EXPECT_EQ(b.documento(1).printer, QStringLiteral("Facturas"));
    EXPECT_EQ(b.cuentas.last(), 0);
    EXPECT_TRUE(b.bitacora.lines.last().endsWith(QStringLiteral("impresora Facturas: impreso")))
        << b.bitacora.lines.last().toStdString();
    // Out on the default printer, not the kitchen's: its balloon warns where it went and why, and
    // the tray keeps the kitchen's printer in trouble until a ticket goes there again.
    EXPECT_EQ(b.textosDeGlobos(QStringLiteral("Impresion de comanda")),
              QStringList{"Comanda enviada a Facturas en lugar de Cocina (La impresora Cocina está fuera de línea)"});
    EXPECT_EQ(b.impresorasAvisadas,
              QStringList{"Cocina: sus tickets salen por Facturas (La impresora Cocina está fuera de línea)"});
    b.impresoras.setOffline(QStringLiteral("Cocina"), false);
    b.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 3"), 42)}, {}, {}, false));
    EXPECT_EQ(b.salidas().last(), QStringLiteral("Cocina:Comanda"));
    EXPECT_EQ(b.impresorasAvisadas.last(), QStringLiteral("Cocina: "));
    EXPECT_EQ(b.textosDeGlobos(QStringLiteral("Impresion de comanda")).last(), QStringLiteral("Comanda enviada a Cocina"));

    // The kitchen's queue refuses its documents: they are held, the rest of the answer prints.
    Banco c;
    c.arrancar().iniciar();
    c.impresoras.rechazan = {QStringLiteral("Cocina")};
    c.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 5"), 51),
                           comanda(QStringLiteral("Bar"), QStringLiteral("Mesa 5"), 51)},
                          {anulacion(QStringLiteral("Cocina"), QStringLiteral("Mesa 1"))},
                          elementos(turnoCompleto(), u"factura", {1}), true));
    EXPECT_EQ(c.salidas(), (QStringList{"Bar:Comanda", "Facturas:Factura", "Facturas:raw"}));
    EXPECT_EQ(c.estados(), (QStringList{"retenido", "impreso", "retenido", "impreso", "impreso"}));
    EXPECT_EQ(c.documento(1).reason, QStringLiteral("La cola Cocina no acepta trabajos"));
    EXPECT_EQ(c.cuentas.last(), 2);
    c.impresoras.rechazan.clear();
    c.revisar();
    EXPECT_EQ(c.salidas().mid(3), (QStringList{"Cocina:Comanda", "Cocina:Anulacion"}));
    EXPECT_EQ(c.estados(), QStringList(5, QStringLiteral("impreso")));
}

// A kitchen order held too long is not printed by itself any more, and staff are told; an invoice
// waits for as long as it takes. A person can print a document again, marked as a reprint, or
// dismiss it, which withdraws its job from the printing system.
TEST(ColaImpresionVencimiento, LaComandaVenceLaFacturaNoYUnaPersonaReimprimeODescarta) {
    Banco b;
    AjustesCola ajustes;
    ajustes.vencimientoComanda = std::chrono::seconds(60);
    b.arrancar(ajustes).iniciar();
    b.impresoras.setOffline(QStringLiteral("Cocina"), true);
    b.impresoras.setOffline(QStringLiteral("Facturas"), true);
    b.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 2"), 41)}, {},
                          elementos(turnoCompleto(), u"factura", {1}), false));
    EXPECT_EQ(b.estados(), (QStringList{"retenido", "retenido"}));

    b.linea.advance(58000);
    EXPECT_EQ(b.documento(1).state, DocumentState::Held);
    b.linea.advance(4000);
    EXPECT_EQ(b.estados(), (QStringList{"vencido", "retenido"}));
    EXPECT_EQ(b.documento(1).reason,
              QStringLiteral("ninguna impresora lo tomó a tiempo (La impresora Facturas está fuera de línea)"));
    const QStringList vencidos = b.textosDeGlobos(QStringLiteral("Trabajo vencido"));
    ASSERT_EQ(vencidos.size(), 1);
    EXPECT_TRUE(vencidos[0].startsWith(QStringLiteral("Comanda de Mesa 2, pedido 41 no se imprimirá")));
    EXPECT_EQ(b.cuentas.last(), 2);

    b.linea.advance(3600 * 1000);
    EXPECT_EQ(b.estados(), (QStringList{"vencido", "retenido"}));
    EXPECT_EQ(b.globos(QStringLiteral("Trabajo vencido")), 1);

    // Printers back: the invoice comes out, the stale order does not.
    b.impresoras.setOffline(QStringLiteral("Cocina"), false);
    b.impresoras.setOffline(QStringLiteral("Facturas"), false);
    b.revisar();
    EXPECT_EQ(b.salidas(), QStringList{"Facturas:Factura"});
    EXPECT_EQ(b.estados(), (QStringList{"vencido", "impreso"}));
    EXPECT_EQ(b.cuentas.last(), 1);

    // Asked for again, it prints at once, headed as a reprint; the next document is not.
    EXPECT_EQ(b.reimprimir(1), std::nullopt);
    ASSERT_EQ(b.salidas(), (QStringList{"Facturas:Factura", "Cocina:Comanda"}));
    const QString texto = platform::renderText(b.impresoras.delivered().back().document, false);
    EXPECT_EQ(texto.section(u'\n', 0, 0), QStringLiteral("REIMPRESIÓN"));
    EXPECT_EQ(b.textosDeGlobos(QStringLiteral("Impresion de comanda")).last(),
              QStringLiteral("Reimpresión: Comanda enviada a Cocina"));
    EXPECT_TRUE(b.documento(1).reprint);
    EXPECT_EQ(b.documento(1).state, DocumentState::Printed);
    EXPECT_EQ(b.cuentas.last(), 0);
    EXPECT_TRUE(b.bitacora.lines.contains(QStringLiteral("Documento 1: reimpresión pedida")));
    EXPECT_EQ(b.reimprimir(9), QStringLiteral("No hay ningún documento 9"));
    b.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 3"), 43)}, {}, {}, false));
    EXPECT_NE(platform::renderText(b.impresoras.delivered().back().document, false).section(u'\n', 0, 0),
              QStringLiteral("REIMPRESIÓN"));
    EXPECT_EQ(b.textosDeGlobos(QStringLiteral("Impresion de comanda")).last(), QStringLiteral("Comanda enviada a Cocina"));

    // A reprint sent to a queue that keeps it waiting, then dismissed: its job goes too.
    b.impresoras.conTrabajos = true;
    EXPECT_EQ(b.reimprimir(2), std::nullopt);
    const JournalDocument enviado = b.documento(2);
    ASSERT_EQ(enviado.state, DocumentState::Sent);
    EXPECT_EQ(b.descartar(2), std::nullopt);
    EXPECT_EQ(b.impresoras.cancelados, QList<int>{enviado.jobId});
    EXPECT_EQ(b.documento(2).state, DocumentState::Discarded);
    EXPECT_FALSE(b.documento(2).followed);
    // One already on paper cannot be dismissed, and no job is touched for it.
    EXPECT_EQ(b.descartar(1), QStringLiteral("El documento 1 ya está impreso"));
    EXPECT_EQ(b.impresoras.cancelados.size(), 1);
    b.revisar();
    EXPECT_EQ(b.documento(2).state, DocumentState::Discarded);
}

// A cancellation whose own data fails ends the answer's dispatch with the error, as it always
// did: what came before is printed, what came after is failed with the reason. A kitchen order's
// data error fails only the orders after it; the rest of the answer prints.
TEST(ColaImpresionErrorDeDatos, UnaAnulacionDetieneElRestoYUnaComandaSoloSuLista) {
    Banco b;
    b.arrancar().iniciar();
    const Value rota = respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 8"), 61)},
                                 {anulacion(QStringLiteral("Cocina"), QStringLiteral("Mesa 8")),
                                  anulacion(QStringLiteral("Bar"), QStringLiteral("Mesa 3"), QStringLiteral("\"x\""))},
                                 elementos(turnoCompleto(), u"factura", {1}), true);
    EXPECT_THROW(b.despachar(rota), RuntimeError);
    EXPECT_EQ(b.salidas(), (QStringList{"Cocina:Comanda", "Cocina:Anulacion"}));
    EXPECT_EQ(b.estados(), (QStringList{"impreso", "impreso", "fallido", "fallido", "fallido"}));
    const QString causa = b.documento(3).reason;
    EXPECT_FALSE(causa.isEmpty());
    EXPECT_EQ(b.documento(4).reason,
              QStringLiteral("no se imprimió: el error de un documento anterior (%1) detuvo la impresión")
                  .arg(causa));
    EXPECT_EQ(b.documento(5).reason, b.documento(4).reason);
    EXPECT_EQ(b.cuentas.last(), 3);
    // Failed documents are not tried again by themselves.
    b.revisar();
    EXPECT_EQ(b.impresoras.delivered().size(), 2u);

    Banco c;
    c.arrancar().iniciar();
    c.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 1"), 71),
                           comanda(QStringLiteral("Bar"), QStringLiteral("Mesa 1"), 71, QStringLiteral("\"x\"")),
                           comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 2"), 72)},
                          {anulacion(QStringLiteral("Cocina"), QStringLiteral("Mesa 4"))},
                          elementos(turnoCompleto(), u"factura", {1}), true));
    EXPECT_EQ(c.salidas(), (QStringList{"Cocina:Comanda", "Cocina:Anulacion", "Facturas:Factura", "Facturas:raw"}));
    EXPECT_EQ(c.estados(), (QStringList{"impreso", "fallido", "fallido", "impreso", "impreso", "impreso"}));
    const QStringList comandas = c.textosDeGlobos(QStringLiteral("Comanda"));
    ASSERT_EQ(comandas.size(), 1);
    EXPECT_EQ(comandas[0], c.documento(2).reason);
    EXPECT_TRUE(c.documento(3).reason.contains(c.documento(2).reason));
}

// A stop asked of the service lets the document under way finish; the rest stay in the journal
// and print, in order and once, when the service starts again.
TEST(ColaImpresionDetencion, LoPendienteSaleAlArrancarOtraVez) {
    // The same answer printed without a stop: what the documents must look like.
    Banco referencia;
    referencia.arrancar();
    referencia.despachar(turnoCompleto());
    ASSERT_EQ(referencia.impresoras.delivered().size(), 7u);

    DiarioMemoria diario;
    {
        Banco antes(QStringList{QStringLiteral("Facturas"), QStringLiteral("Cocina"), QStringLiteral("Bar")}, &diario);
        antes.detener = [&] { return antes.impresoras.delivered().size() >= 3; };
        antes.arrancar();
        antes.despachar(turnoCompleto());
        EXPECT_EQ(antes.salidas(), (QStringList{"Cocina:Comanda", "Bar:Comanda", "Cocina:Anulacion"}));
        EXPECT_EQ(antes.estados(), (QStringList{"impreso", "impreso", "impreso", "pendiente", "pendiente",
                                                "pendiente", "pendiente"}));
        antes.revisar();
        EXPECT_EQ(antes.impresoras.delivered().size(), 3u);
    }

    Banco despues(QStringList{QStringLiteral("Facturas"), QStringLiteral("Cocina"), QStringLiteral("Bar")}, &diario);
    despues.arrancar().iniciar();
    EXPECT_EQ(despues.salidas(), (QStringList{"Facturas:Factura", "Facturas:Factura", "Facturas:Factura",
                                              "Facturas:raw"}));
    EXPECT_EQ(despues.estados(), QStringList(7, QStringLiteral("impreso")));
    // Printed from the answer as the journal kept it: the same invoices as without the stop.
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(platform::renderText(despues.impresoras.delivered()[i].document, true),
                  platform::renderText(referencia.impresoras.delivered()[i + 3].document, true));
    }
    despues.revisar();
    EXPECT_EQ(despues.impresoras.delivered().size(), 4u);
}

// A document whose request got no answer may have reached the printing system after all: it is
// asked for by its job's name before it is sent again, and nothing goes out ahead of it meanwhile.
TEST(ColaImpresionRecuperacion, UnEnvioSinRespuestaSePreguntaAntesDeRepetirlo) {
    for (const bool llego : {true, false}) {
        SCOPED_TRACE(llego ? "llegó" : "no llegó");
        Banco b;
        b.impresoras.conTrabajos = true;
        b.arrancar().iniciar();
        bool cortar = true;
        b.impresoras.antesDeEntregar = [&] {
            if (!cortar) return;
            cortar = false;
            // What the system would hold had the request arrived.
            if (llego) b.impresoras.trabajos.append(JobStatus{900, JobStatus::State::Waiting,
                                                              QStringLiteral("kelmora-1 Comanda"), {}, {}, 1, {}, false, {}});
            throw PrinterError(PrinterError::Scope::System, QStringLiteral("Sin respuesta"), true);
        };
        b.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 1"), 1),
                               comanda(QStringLiteral("Bar"), QStringLiteral("Mesa 1"), 1)},
                              {}, {}, false));
        EXPECT_EQ(b.estados(), (QStringList{"enviando", "pendiente"}));
        // Found at once when it arrived; when not, too soon to tell "not there" from "on its way".
        b.revisar();
        EXPECT_EQ(b.salidas().isEmpty(), !llego);
        b.revisar();
        b.revisar();
        if (llego) {
            EXPECT_EQ(b.salidas(), QStringList{"Bar:Comanda"});
            EXPECT_EQ(b.documento(1).jobId, 900);
        } else {
            EXPECT_EQ(b.salidas(), (QStringList{"Cocina:Comanda", "Bar:Comanda"}));
        }
    }
}

// After a crash, a document left half sent is looked up in the printing system by its job's name:
// a job that holds its document is followed, not printed again; a job that never got its document
// whole is canceled and the document printed again; one the system never heard of is printed
// again.
TEST(ColaImpresionRecuperacion, UnEnvioAMediasSeBuscaPorElNombreDelTrabajo) {
    DiarioMemoria diario;
    {
        Banco antes(QStringList{QStringLiteral("Facturas"), QStringLiteral("Cocina"), QStringLiteral("Bar")}, &diario);
        antes.arrancar();
        antes.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 1"), 81),
                                   comanda(QStringLiteral("Bar"), QStringLiteral("Mesa 1"), 81),
                                   comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 2"), 82)},
                                  {}, {}, false));
        ASSERT_EQ(antes.estados(), QStringList(3, QStringLiteral("impreso")));
    }
    // What a crash between recording the step and hearing back from the printing system leaves.
    for (qint64 id = 1; id <= 3; ++id) {
        JournalDocument d = *diario.document(id);
        d.state = DocumentState::Sending;
        d.printer.clear();
        d.bytes.clear();
        diario.update(d);
    }

    Banco despues(QStringList{QStringLiteral("Facturas"), QStringLiteral("Cocina"), QStringLiteral("Bar")}, &diario);
    despues.impresoras.conTrabajos = true;
    // The first job holds its document; the second never got it whole.
    despues.impresoras.trabajos = {
        JobStatus{500, JobStatus::State::Waiting, QStringLiteral("kelmora-1 Comanda"), {}, {}, 1, {}, false, {}},
        JobStatus{501, JobStatus::State::Waiting, QStringLiteral("kelmora-2 Comanda"), {}, {}, 0, {}, false, {}},
    };
    despues.arrancar().iniciar();
    // One the system never heard of is given a moment, in case the request is still on its way;
    // nothing goes out ahead of it meanwhile.
    EXPECT_TRUE(despues.salidas().isEmpty());
    despues.revisar();
    despues.revisar();

    const JournalDocument tomado = despues.documento(1);
    EXPECT_EQ(tomado.state, DocumentState::Sent);
    EXPECT_EQ(tomado.jobId, 500);
    EXPECT_TRUE(tomado.followed);
    EXPECT_EQ(tomado.reason, QStringLiteral("ya lo había tomado el sistema de impresión"));
    EXPECT_EQ(despues.impresoras.cancelados, QList<int>{501});
    EXPECT_EQ(despues.salidas(), (QStringList{"Bar:Comanda", "Cocina:Comanda"}));
    ASSERT_EQ(despues.impresoras.delivered().size(), 2u);
    EXPECT_EQ(despues.impresoras.delivered()[0].jobTitle, QStringLiteral("kelmora-2 Comanda"));
    EXPECT_EQ(despues.impresoras.delivered()[1].jobTitle, QStringLiteral("kelmora-3 Comanda"));
    EXPECT_EQ(despues.estados(), QStringList(3, QStringLiteral("enviado")));

    // The job found comes out on paper like any other followed job.
    despues.impresoras.estados[500] = JobStatus{500, JobStatus::State::Completed, {}, {}, {}, 1, {}, false, {}};
    despues.revisar();
    EXPECT_EQ(despues.documento(1).state, DocumentState::Printed);
    EXPECT_EQ(despues.impresoras.delivered().size(), 2u);
}

// With no printer installed at all, documents are held with that reason and the drawer with them;
// the tray counts them and the retries say nothing more. The drawer soon expires: it must not
// open later by itself.
TEST(ColaImpresionSinImpresoras, TodoSeRetieneYElCajonVencePronto) {
    Banco b(QStringList{});
    b.arrancar().iniciar();
    b.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 2"), 41)}, {}, {}, true));
    EXPECT_EQ(b.estados(), (QStringList{"retenido", "retenido"}));
    EXPECT_EQ(b.documento(1).reason, QStringLiteral("No hay ninguna impresora instalada"));
    EXPECT_EQ(b.documento(2).reason, QStringLiteral("No hay ninguna impresora instalada"));
    const QStringList avisos = b.textosDeGlobos(QStringLiteral("Error al imprimir"));
    ASSERT_FALSE(avisos.isEmpty());
    for (const QString& aviso : avisos) {
        EXPECT_EQ(aviso, QStringLiteral("Error al imprimir, no hay ninguna impresora instalada."));
    }
    EXPECT_EQ(b.cuentas.last(), 2);
    b.revisar();
    b.revisar();
    EXPECT_EQ(b.textosDeGlobos(QStringLiteral("Error al imprimir")).size(), avisos.size());

    b.linea.advance(60000);
    EXPECT_EQ(b.estados(), (QStringList{"retenido", "vencido"}));
    EXPECT_EQ(b.globos(QStringLiteral("Trabajo vencido")), 1);
    EXPECT_TRUE(b.impresoras.delivered().empty());
}

// A logo that cannot be read costs the invoices nothing but the logo, and is told once per answer.
TEST(ColaImpresionLogo, LasFacturasSalenSinLogoConUnAvisoPorRespuesta) {
    QTemporaryDir carpeta;
    ASSERT_TRUE(carpeta.isValid());
    QFile logo(carpeta.filePath(QStringLiteral("logo.bmp")));
    ASSERT_TRUE(logo.open(QIODevice::WriteOnly));
    logo.write("no es una imagen");
    logo.close();

    Banco b;
    b.lado.carpetaPrograma = carpeta.path();
    b.imagenes.fails = true;
    b.arrancar();
    const Value facturas = respuesta({}, {}, turnoCompleto()[u"factura"].toCollection(), false);
    b.despachar(facturas);
    EXPECT_EQ(b.salidas(), QStringList(3, QStringLiteral("Facturas:Factura")));
    for (const auto& d : b.impresoras.delivered()) EXPECT_TRUE(d.document.pictures.isEmpty());
    EXPECT_EQ(b.imagenes.loaded.size(), 3);
    const QStringList avisos = b.textosDeGlobos(QStringLiteral("Impresion de Factura"));
    ASSERT_EQ(std::count_if(avisos.cbegin(), avisos.cend(),
                            [](const QString& t) { return t.startsWith(QStringLiteral("No se pudo leer el logo")); }),
              1);
    b.despachar(facturas);
    EXPECT_EQ(b.impresoras.delivered().size(), 6u);
    const QStringList todos = b.textosDeGlobos(QStringLiteral("Impresion de Factura"));
    EXPECT_EQ(std::count_if(todos.cbegin(), todos.cend(),
                            [](const QString& t) { return t.startsWith(QStringLiteral("No se pudo leer el logo")); }),
              2);
    EXPECT_EQ(b.estados(), QStringList(6, QStringLiteral("impreso")));
}


// A job the printing system forgets before it is seen on paper (a scheduler that restarted
// without it, or gave its id to another job) was not printed as far as anyone knows: the document
// prints again, headed as a reprint, once; a copy that is lost as well is left to a person. A
// person's reprint of a document whose job may still come out cancels that job first.
TEST(ColaImpresionEvidencia, UnTrabajoOlvidadoSeReimprimeMarcadoUnaVezYUnaReimpresionCancelaAntes) {
    Banco b;
    b.impresoras.conTrabajos = true;
    b.arrancar().iniciar();
    b.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 1"), 1),
                           comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 2"), 2),
                           comanda(QStringLiteral("Bar"), QStringLiteral("Mesa 3"), 3),
                           comanda(QStringLiteral("Bar"), QStringLiteral("Mesa 4"), 4)},
                          {}, {}, false));
    ASSERT_EQ(b.salidas().size(), 4);
    using State = JobStatus::State;
    b.impresoras.estados[100] = JobStatus{100, State::Unknown, {}, {}, {}, 0, {}, false, {}};
    b.impresoras.estados[101] = JobStatus{101, State::Completed, QStringLiteral("kelmora-77 Comanda"), {}, {}, 1, {}, false, {}};
    b.impresoras.estados[102] = JobStatus{102, State::Completed, QStringLiteral("kelmora-3 Comanda"), {}, {}, 1, {}, false, {}};
    b.revisar();

    EXPECT_EQ(b.salidas().size(), 6);
    for (const size_t i : {4u, 5u}) {
        EXPECT_EQ(platform::renderText(b.impresoras.delivered()[i].document, false).section(u'\n', 0, 0),
                  QStringLiteral("REIMPRESIÓN"));
    }
    EXPECT_EQ(b.estados(), (QStringList{"enviado", "enviado", "impreso", "enviado"}));
    EXPECT_TRUE(b.documento(1).reprint);
    EXPECT_EQ(b.globos(QStringLiteral("Reimpresión")), 2);
    EXPECT_EQ(b.bitacora.lines.filter(QStringLiteral("ya no tiene su trabajo")).size(), 2);

    // Lost again: no third copy, a person decides.
    b.impresoras.estados[104] = JobStatus{104, State::Unknown, {}, {}, {}, 0, {}, false, {}};
    b.impresoras.estados[105] = JobStatus{105, State::Completed, {}, {}, {}, 1, {}, false, {}};
    b.revisar();
    EXPECT_EQ(b.salidas().size(), 6);
    EXPECT_EQ(b.estados(), (QStringList{"fallido", "impreso", "impreso", "enviado"}));
    EXPECT_EQ(b.globos(QStringLiteral("Error al imprimir")), 1);

    // The fourth is still in its queue: its reprint waits until the job is surely canceled.
    b.impresoras.noCancela = true;
    EXPECT_TRUE(b.reimprimir(4).value_or(QString()).contains(QStringLiteral("no se pudo cancelar")));
    EXPECT_EQ(b.salidas().size(), 6);
    b.impresoras.noCancela = false;
    EXPECT_EQ(b.reimprimir(4), std::nullopt);
    EXPECT_EQ(b.impresoras.cancelados, (QList<int>{103, 103}));
    EXPECT_EQ(b.salidas().size(), 7);
}

// A wait is measured on the monotonic clock while the service runs: the wall clock set forward
// by half an hour expires nothing, and set back by an hour keeps nothing past its limit.
TEST(ColaImpresionVencimiento, UnSaltoDelRelojNiVenceNiRetieneDeMas) {
    Banco b;
    b.arrancar().iniciar();
    b.impresoras.setOffline(QStringLiteral("Cocina"), true);
    b.impresoras.setOffline(QStringLiteral("Facturas"), true);
    b.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 1"), 1)}, {}, {}, false));
    b.reloj.saltoMs = 30 * 60 * 1000;
    b.linea.advance(19 * 60 * 1000);
    EXPECT_EQ(b.estados(), QStringList{"retenido"});
    b.linea.advance(2 * 60 * 1000);
    EXPECT_EQ(b.estados(), QStringList{"vencido"});

    b.reloj.saltoMs = -60 * 60 * 1000;
    b.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 2"), 2)}, {}, {}, false));
    b.linea.advance(21 * 60 * 1000);
    EXPECT_EQ(b.estados(), (QStringList{"vencido", "vencido"}));
}

// A document whose request got no answer is looked for a moment before it is sent again; a clock
// set back meanwhile does not make that moment an hour, holding up everything behind it.
TEST(ColaImpresionRecuperacion, UnRelojAtrasadoNoDetieneLoQueSigue) {
    Banco b;
    b.impresoras.conTrabajos = true;
    b.arrancar().iniciar();
    bool cortar = true;
    b.impresoras.antesDeEntregar = [&] {
        if (!std::exchange(cortar, false)) return;
        throw PrinterError(PrinterError::Scope::System, QStringLiteral("Sin respuesta"), true);
    };
    b.despachar(respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 1"), 1),
                           comanda(QStringLiteral("Bar"), QStringLiteral("Mesa 1"), 1)},
                          {}, {}, false));
    b.reloj.saltoMs = -60 * 60 * 1000;
    b.revisar();
    b.revisar();
    EXPECT_EQ(b.salidas(), (QStringList{"Cocina:Comanda", "Bar:Comanda"}));
    EXPECT_TRUE(b.documento(1).reprint);
}

// A journal whose disk is full takes nothing for a while.
class DiarioSinEspacio final : public platform::Journal {
public:
    bool lleno = false;
    DiarioMemoria dentro;

    qint64 addAnswer(const QString& c, QList<JournalDocument>& d, const QDateTime& a) override {
        return lleno ? 0 : dentro.addAnswer(c, d, a);
    }
    QString answerPayload(qint64 id) override { return dentro.answerPayload(id); }
    std::optional<JournalDocument> document(qint64 id) override { return dentro.document(id); }
    QList<JournalDocument> documentsIn(const QList<DocumentState>& e) override { return dentro.documentsIn(e); }
    QList<JournalDocument> followedDocuments() override { return dentro.followedDocuments(); }
    QList<JournalDocument> recentDocuments(const QDateTime& s, bool n) override { return dentro.recentDocuments(s, n); }
    int unprintedCount() override { return dentro.unprintedCount(); }
    bool update(const JournalDocument& d, bool durable) override { return !lleno && dentro.update(d, durable); }
    bool restore(qint64 id, const QDateTime& r, const QString& c, const QList<JournalDocument>& d) override {
        return !lleno && dentro.restore(id, r, c, d);
    }
    LastIds lastIds() override { return dentro.lastIds(); }
    int prune(const QDateTime& antes) override { return dentro.prune(antes); }
};

// With the disk full, nothing is sent twice because its new state could not be written, and an
// answer that cannot be recorded is printed all the same; once the disk takes writes again,
// everything is written down, and told once each way.
TEST(ColaImpresionDiarioSinDisco, NadaSeRepiteNiSeRechazaYTodoSeEscribeAlVolver) {
    DiarioSinEspacio disco;
    DiarioResguardado diario(disco);
    Banco b(QStringList{QStringLiteral("Facturas"), QStringLiteral("Cocina"), QStringLiteral("Bar")}, &diario);
    diario.avisarCon(b.bitacora, b.avisos);
    b.impresoras.conTrabajos = true;
    b.arrancar().iniciar();
    const auto dos = [](int pedido) {
        return respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("Mesa 1"), pedido),
                          comanda(QStringLiteral("Bar"), QStringLiteral("Mesa 1"), pedido)},
                         {}, {}, false);
    };
    b.impresoras.antesDeEntregar = [&] {
        if (b.impresoras.delivered().size() == 1) disco.lleno = true;  // full between two tickets
    };
    b.despachar(dos(1));
    b.despachar(dos(2));
    for (int id = 100; id < 104; ++id) b.impresoras.estados[id] = JobStatus{id, JobStatus::State::Completed, {}, {}, {}, 1, {}, false, {}};
    for (int i = 0; i < 5; ++i) b.revisar();
    EXPECT_EQ(b.salidas().size(), 4);
    EXPECT_EQ(b.estados(), QStringList(4, QStringLiteral("impreso")));
    EXPECT_EQ(disco.dentro.documentsIn({DocumentState::Sending}).size(), 1u);  // what the disk last took
    EXPECT_EQ(b.globos(QStringLiteral("Diario de trabajos")), 1);

    disco.lleno = false;
    b.revisar();
    b.despachar(dos(3));
    EXPECT_EQ(b.salidas().size(), 6);
    QStringList enDisco;
    for (const JournalDocument& d : disco.dentro.documentsIn({DocumentState::Printed, DocumentState::Sent})) {
        enDisco << QStringLiteral("%1:%2").arg(d.id).arg(paper::stateName(d.state));
    }
    EXPECT_EQ(enDisco, (QStringList{"1:impreso", "2:impreso", "3:impreso", "4:impreso", "5:enviado", "6:enviado"}));
    EXPECT_EQ(b.globos(QStringLiteral("Diario de trabajos")), 2);
    EXPECT_EQ(b.bitacora.lines.filter(QStringLiteral("diario de trabajos")).size(), 2)
        << b.bitacora.lines.join(u'\n').toStdString();
}

}  // namespace
}  // namespace kelmora::shell
