// Runs the real `kelmora --headless` against the scripted central server and reports what came
// of it. Three ways:
//
//   fault_harness run     a script of answers (and printer or file actions between them); prints
//                         one RESULT line: alive or not, jobs handed out, jobs printed, balloons
//   fault_harness soak    many polls with every kind of answer in rotation; resident memory and
//                         open descriptors sampled along the way
//   fault_harness idle    empty answers for a while; CPU seconds and peak resident memory
//   fault_harness latency answers of 5 kitchen tickets and 1 invoice; time from the answer sent to
//                         the last job accepted by CUPS and to the last job on paper
//
// Printed jobs are counted where they land: the private CUPS daemon's capture files
// (KELMORA_TEST_CUPS_OUT, see scripts/lib/test-env.sh) or the folder of --print-to.
#include "support/servidor_central_falso.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

namespace {

using kelmora::testing::ServidorCentralFalso;
using Paso = ServidorCentralFalso::Paso;
using Tipo = Paso::Tipo;

const QString kCodigo = QStringLiteral("A12345678901234");

void decir(const QString& texto) {
    std::fputs(qPrintable(texto + u'\n'), stdout);
    std::fflush(stdout);
}

QByteArray anulacion(const QString& mesa) {
    return QStringLiteral(R"({"area":"Cocina","nomMesa":"Mesa %1",)"
                          R"("productos":[{"nombre":"Sopa del dia","cantidad":1,"detalle":[]}]})")
        .arg(mesa)
        .toUtf8();
}

// A round of the dinner rush: kitchen and bar tickets, a cancellation, an invoice and the drawer.
// Five jobs: Cocina 2, Bar 1, the default printer 1 (the invoice), Facturas 1 (the drawer pulse).
constexpr int kTrabajosRonda = 5;
QByteArray ronda(int n) {
    const QString m = QStringLiteral("R%1").arg(n);
    using kelmora::testing::comanda;
    using kelmora::testing::factura;
    return kelmora::testing::respuesta({comanda(QStringLiteral("Cocina"), m + QStringLiteral("a")),
                                        comanda(QStringLiteral("Bar"), m + QStringLiteral("b"))},
                                       {anulacion(m + QStringLiteral("c"))},
                                       {factura(m + QStringLiteral("d"), QStringLiteral("Factura de venta"))}, true);
}

// n kitchen tickets for one area.
QByteArray comandas(const QString& area, int n) {
    QByteArrayList lista;
    for (int i = 0; i < n; ++i) lista.append(kelmora::testing::comanda(area, QStringLiteral("K%1").arg(i)));
    return kelmora::testing::respuesta(lista, {}, {}, false);
}

// The answer of the latency runs: 5 kitchen tickets (3 Cocina, 2 Bar) and 1 invoice.
constexpr int kTrabajosLatencia = 6;
QByteArray respuestaLatencia(int n) {
    using kelmora::testing::comanda;
    QByteArrayList lista;
    for (int i = 0; i < 5; ++i) {
        lista.append(comanda(i < 3 ? QStringLiteral("Cocina") : QStringLiteral("Bar"), QStringLiteral("L%1-%2").arg(n).arg(i)));
    }
    return kelmora::testing::respuesta(lista, {}, {kelmora::testing::factura(QStringLiteral("L%1").arg(n), QStringLiteral("Factura de venta"))},
                                       false);
}

// One step of a script by its name; the jobs it hands out.
std::optional<std::pair<Paso, int>> paso(const QString& nombre, int n) {
    const QStringList partes = nombre.split(u':');
    const QString tipo = partes.value(0);
    const int arg = partes.value(1).toInt();
    if (tipo == u"ronda") return {{Paso{Tipo::Respuesta, ronda(n)}, kTrabajosRonda}};
    if (tipo == u"comandas") return {{Paso{Tipo::Respuesta, comandas(QStringLiteral("Cocina"), arg)}, arg}};
    if (tipo == u"vacia") return {{Paso{Tipo::Respuesta, kelmora::testing::kRespuestaVacia}, 0}};
    if (tipo == u"lenta") return {{Paso{Tipo::Lenta, ronda(n), arg}, kTrabajosRonda}};
    if (tipo == u"500") return {{Paso{Tipo::Error500, "<html><body><h1>500 Internal Server Error</h1></body></html>"}, 0}};
    if (tipo == u"html") {
        return {{Paso{Tipo::Respuesta, "<!DOCTYPE html><html><head><title>Error</title></head><body><p>Servicio no "
                                       "disponible</p></body></html>"},
                 0}};
    }
    if (tipo == u"cuerpo-vacio") return {{Paso{Tipo::Respuesta, QByteArray()}, 0}};
    if (tipo == u"truncada") {
        const QByteArray r = ronda(n);
        return {{Paso{Tipo::Respuesta, r.left(r.size() / 2)}, kTrabajosRonda}};
    }
    if (tipo == u"enorme") return {{Paso{Tipo::Enorme, {}}, 0}};
    if (tipo == u"cortada") return {{Paso{Tipo::CortarCuerpo, ronda(n)}, kTrabajosRonda}};
    if (tipo == u"cerrar") return {{Paso{Tipo::Cerrar, {}}, 0}};
    if (tipo == u"caida") return {{Paso{Tipo::Caida, {}, arg}, 0}};
    return std::nullopt;
}

int correrShell(const QString& orden) {
    return QProcess::execute(QStringLiteral("bash"), {QStringLiteral("-c"), orden});
}

// Where the printed jobs land, and how many new ones there are per printer.
class Impresiones {
public:
    explicit Impresiones(QString carpetaVirtual) {
        carpeta_ = carpetaVirtual.isEmpty() ? qEnvironmentVariable("KELMORA_TEST_CUPS_OUT") : carpetaVirtual;
        virtual_ = !carpetaVirtual.isEmpty();
        antes_ = archivos();
    }
    bool hay() const { return !carpeta_.isEmpty(); }
    const QString& carpeta() const { return carpeta_; }
    // New jobs per printer.
    std::map<QString, int> porImpresora() const {
        std::map<QString, int> cuenta;
        for (const QString& a : archivos()) {
            if (antes_.contains(a)) continue;
            const auto m = patron().match(a);
            ++cuenta[m.captured(1)];
        }
        return cuenta;
    }
    int total() const {
        int n = 0;
        for (const auto& [impresora, k] : porImpresora()) n += k;
        return n;
    }
    QStringList nuevos() const {
        QStringList lista;
        for (const QString& a : archivos()) {
            if (!antes_.contains(a)) lista.append(a);
        }
        return lista;
    }
    void olvidar() { antes_ = archivos(); }
    void vaciar() {
        for (const QString& a : archivos()) QFile::remove(QDir(carpeta_).filePath(a));
        antes_.clear();
    }

private:
    const QRegularExpression& patron() const {
        static const QRegularExpression cups(QStringLiteral(R"(^(\w+)\.(\d+)$)"));
        static const QRegularExpression pdf(QStringLiteral(R"(^\d{3,}-(\w+)\.(pdf|raw)$)"));
        return virtual_ ? pdf : cups;
    }
    QStringList archivos() const {
        if (carpeta_.isEmpty()) return {};
        return QDir(carpeta_).entryList(QDir::Files).filter(patron());
    }
    QString carpeta_;
    bool virtual_ = false;
    QStringList antes_;
};

// /proc figures of a process.
struct Proceso {
    qint64 pid;
    qint64 kib(const char* campo) const {
        QFile f(QStringLiteral("/proc/%1/status").arg(pid));
        if (!f.open(QIODevice::ReadOnly)) return -1;
        for (const QByteArray& linea : f.readAll().split('\n')) {
            if (linea.startsWith(campo)) return linea.mid(qstrlen(campo)).trimmed().split(' ').value(0).toLongLong();
        }
        return -1;
    }
    qint64 descriptores() const { return QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size(); }
    double segundosCpu() const {
        QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!f.open(QIODevice::ReadOnly)) return -1;
        const QByteArray stat = f.readAll();
        // The fields after the command name, which may hold blanks: utime is field 14, stime 15.
        const QList<QByteArray> campos = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
        return (campos.value(11).toDouble() + campos.value(12).toDouble()) / ticks;
    }
};

struct Opciones {
    QString kelmora;
    QString carpeta;
    QString codigo;
    QString imprimirEn;
    int intervaloMs = 0;
    QString consola;
};

// The service under test; its console goes to a file as it comes.
class Servicio {
public:
    Servicio(const Opciones& o, const QString& url) : consola_(o.consola) {
        QStringList args{QStringLiteral("--headless"), QStringLiteral("--server"), url, QStringLiteral("--dir"), o.carpeta};
        if (!o.codigo.isEmpty()) args += {QStringLiteral("--codigo"), o.codigo};
        if (!o.imprimirEn.isEmpty()) {
            args += {QStringLiteral("--print-to"), o.imprimirEn, QStringLiteral("--printers"),
                     QStringLiteral("Cocina,Bar,Facturas"), QStringLiteral("--default-printer"), QStringLiteral("Facturas")};
        }
        if (o.intervaloMs > 0) args += {QStringLiteral("--poll-interval-ms"), QString::number(o.intervaloMs)};
        if (!consola_.fileName().isEmpty()) consola_.open(QIODevice::WriteOnly | QIODevice::Truncate);
        p_.setProgram(o.kelmora);
        p_.setArguments(args);
        p_.setWorkingDirectory(o.carpeta);
        QObject::connect(&p_, &QProcess::readyReadStandardOutput, [this] { leer(); });
        // Read as it comes, or a full pipe would stop the service.
        QObject::connect(&p_, &QProcess::readyReadStandardError, [this] { leerErrores(); });
        QObject::connect(&p_, &QProcess::finished, [this](int codigo, QProcess::ExitStatus estado) {
            if (!terminando_) {
                leer();
                leerErrores();
                murio_ = true;
                salida_ = estado == QProcess::CrashExit ? QStringLiteral("crashed") : QStringLiteral("exit %1").arg(codigo);
            }
        });
        p_.start();
        p_.waitForStarted();
    }
    ~Servicio() { terminar(); }

    void terminar() {
        if (p_.state() == QProcess::NotRunning) return;
        terminando_ = true;
        p_.terminate();
        if (!p_.waitForFinished(10000)) {
            p_.kill();
            p_.waitForFinished();
        }
        leer();
        leerErrores();
    }
    bool murio() const { return murio_ || p_.state() == QProcess::NotRunning; }
    QString salida() const { return murio_ ? salida_ : QStringLiteral("alive"); }
    Proceso proceso() const { return Proceso{p_.processId()}; }
    // Told of each console line as it comes, with the time it came.
    std::function<void(const QString&)> alLeer;
    // Lines seen, by their text after the timestamp.
    std::map<QString, int> globos;

private:
    void leerErrores() {
        const QByteArray errores = p_.readAllStandardError();
        if (consola_.isOpen()) consola_.write(errores);
        for (const QByteArray& linea : errores.split('\n')) {
            if (!linea.trimmed().isEmpty()) ++globos[QStringLiteral("stderr: ") + QString::fromUtf8(linea.trimmed()).left(160)];
        }
    }
    void leer() {
        while (p_.canReadLine()) {
            const QByteArray linea = p_.readLine();
            if (consola_.isOpen()) consola_.write(linea);
            static const QRegularExpression marca(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )"));
            QString texto = QString::fromUtf8(linea).trimmed();
            texto.remove(marca);
            // What tells a fault: balloons, the loader's failures and statuses other than 200, and
            // the reader's first error line after an answer.
            if (trasRespuesta_ == 2 && !texto.startsWith(u"Globo") && !texto.startsWith(u"Icono")) {
                ++globos[QStringLiteral("JSON: ") + texto.left(100)];
            }
            trasRespuesta_ = texto == u"Respuesta:" ? 1 : (trasRespuesta_ == 1 && texto == u"--" ? 2 : 0);
            if ((texto.startsWith(u"Globo") && !texto.endsWith(u"Sistema funcionando correctamente")) ||
                texto.startsWith(u"Sin respuesta") || texto.startsWith(u"Respuesta descartada") ||
                texto.startsWith(u"Peticion abandonada") || texto.startsWith(u"Error al procesar") ||
                (texto.startsWith(u"HTTP ") && texto != u"HTTP 200 OK")) {
                ++globos[texto.left(160)];
            }
            if (alLeer) alLeer(texto);
        }
    }

    QProcess p_;
    QFile consola_;
    bool terminando_ = false;
    bool murio_ = false;
    int trasRespuesta_ = 0;
    QString salida_;
};

void esperar(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

template <typename F>
bool esperarA(F condicion, int ms) {
    QElapsedTimer t;
    t.start();
    while (!condicion()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QString texto(const std::map<QString, int>& cuenta) {
    QStringList partes;
    for (const auto& [k, n] : cuenta) partes.append(n == 1 ? k : QStringLiteral("%1 (x%2)").arg(k).arg(n));
    return partes.join(QStringLiteral(" | "));
}

int correr(const Opciones& o, const QStringList& pasos, const QStringList& ganchos, const QStringList& ganchosDespues,
           int asentarMs) {
    std::vector<Paso> guion;
    int entregados = 0;
    for (const QString& nombre : pasos) {
        const auto p = paso(nombre, static_cast<int>(guion.size()));
        if (!p) {
            decir(QStringLiteral("unknown step: ") + nombre);
            return 1;
        }
        guion.push_back(p->first);
        entregados += p->second;
    }
    // N:CMD runs CMD before poll N is answered.
    for (const QString& g : ganchos) {
        const qsizetype dos = g.indexOf(u':');
        const int n = g.left(dos).toInt();
        if (n < 0 || n >= static_cast<int>(guion.size())) return 1;
        const QString orden = g.mid(dos + 1);
        guion[n].antes = [orden] { correrShell(orden); };
    }
    Impresiones impresiones(o.imprimirEn);
    ServidorCentralFalso servidor(std::move(guion));
    // N:MS:CMD runs CMD MS after poll N was answered (a printer that goes away mid-round).
    std::multimap<std::size_t, std::pair<int, QString>> despues;
    for (const QString& g : ganchosDespues) {
        const QStringList p = g.split(u':');
        despues.emplace(p.value(0).toULong(), std::make_pair(p.value(1).toInt(), p.mid(2).join(u':')));
    }
    servidor.alResponder = [&despues](std::size_t n) {
        const auto [desde, hasta] = despues.equal_range(n);
        for (auto it = desde; it != hasta; ++it) {
            const QString orden = it->second.second;
            QTimer::singleShot(it->second.first, [orden] { correrShell(orden); });
        }
    };
    Servicio servicio(o, servidor.url());
    // Each step is a poll; a minute's outage and the 33 s wait after a failed handling fit.
    const int limiteMs = 30000 + static_cast<int>(pasos.size()) * 40000;
    const bool atendido = esperarA([&] { return servidor.guionAtendido() || servicio.murio(); }, limiteMs);
    // The jobs in flight reach paper, or stop coming.
    int visto = -1;
    QElapsedTimer quieto;
    quieto.start();
    esperarA([&] {
        const int n = impresiones.total();
        if (n != visto) {
            visto = n;
            quieto.restart();
        }
        return n >= entregados || quieto.elapsed() > asentarMs;
    }, 120000);
    // A little longer, to see no late duplicate.
    esperar(1500);
    const QString estado = servicio.salida();
    servicio.terminar();
    QStringList porImpresora;
    for (const auto& [impresora, n] : impresiones.porImpresora()) porImpresora.append(QStringLiteral("%1:%2").arg(impresora).arg(n));
    decir(QStringLiteral("RESULT\tprocess=%1\tscript=%2\tpolls=%3\thanded=%4\tprinted=%5\tper-printer=%6\tlines=%7")
              .arg(estado, atendido ? QStringLiteral("done") : QStringLiteral("unfinished"))
              .arg(servidor.rutas.size())
              .arg(entregados)
              .arg(impresiones.total())
              .arg(porImpresora.join(u','), texto(servicio.globos)));
    return 0;
}

int remojo(const Opciones& o, int consultas, int cada, const QString& csv) {
    // Every kind of answer in rotation; a round in every fourth poll.
    const QStringList rotacion{QStringLiteral("ronda"),  QStringLiteral("vacia"),        QStringLiteral("500"),
                               QStringLiteral("html"),   QStringLiteral("ronda"),        QStringLiteral("cuerpo-vacio"),
                               QStringLiteral("truncada"), QStringLiteral("vacia"),      QStringLiteral("ronda"),
                               QStringLiteral("lenta:30"), QStringLiteral("cortada"),    QStringLiteral("vacia"),
                               QStringLiteral("ronda"),  QStringLiteral("cerrar"),       QStringLiteral("vacia"),
                               QStringLiteral("html")};
    std::vector<Paso> guion;
    int entregados = 0;
    for (int i = 0; i < consultas; ++i) {
        // A body over the size limit now and then.
        const QString nombre = (i % 1000 == 999) ? QStringLiteral("enorme") : rotacion[i % rotacion.size()];
        const auto p = paso(nombre, i);
        guion.push_back(p->first);
        // Jobs of whole answers only: a cut or truncated one loses its jobs by design.
        if (nombre == u"ronda" || nombre.startsWith(u"lenta")) entregados += p->second;
    }
    Impresiones impresiones(o.imprimirEn);
    ServidorCentralFalso servidor(std::move(guion));
    Servicio servicio(o, servidor.url());
    QFile salida(csv);
    if (!salida.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
    salida.write("polls,seconds,rss_kib,fds,printed\n");
    const Proceso proceso = servicio.proceso();
    QElapsedTimer reloj;
    reloj.start();
    int impresos = 0;
    std::size_t siguiente = 0;
    while (!servicio.murio() && servidor.consultas() <= static_cast<std::size_t>(consultas)) {
        if (servidor.consultas() >= siguiente) {
            const qint64 rss = proceso.kib("VmRSS:");
            const qint64 fds = proceso.descriptores();
            // The PDF files are counted and removed, so the folder stays small.
            impresos += impresiones.total();
            impresiones.vaciar();
            salida.write(QStringLiteral("%1,%2,%3,%4,%5\n").arg(servidor.consultas()).arg(reloj.elapsed() / 1000.0, 0, 'f', 1).arg(rss).arg(fds).arg(impresos).toUtf8());
            salida.flush();
            decir(QStringLiteral("soak: %1 polls, %2 s, VmRSS %3 KiB, %4 fds, %5 printed")
                      .arg(servidor.consultas()).arg(reloj.elapsed() / 1000).arg(rss).arg(fds).arg(impresos));
            siguiente += static_cast<std::size_t>(cada);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    esperar(3000);
    impresos += impresiones.total();
    impresiones.vaciar();
    const qint64 pico = proceso.kib("VmHWM:");
    const QString estado = servicio.salida();
    servicio.terminar();
    decir(QStringLiteral("RESULT\tprocess=%1\tpolls=%2\thanded=%3\tprinted=%4\tVmHWM_kib=%5\tseconds=%6")
              .arg(estado).arg(servidor.rutas.size()).arg(entregados).arg(impresos).arg(pico).arg(reloj.elapsed() / 1000));
    return estado == u"alive" ? 0 : 2;
}

int reposo(const Opciones& o, int segundos) {
    ServidorCentralFalso servidor({});
    Servicio servicio(o, servidor.url());
    const Proceso proceso = servicio.proceso();
    // From the first poll on: start-up is not idling.
    esperarA([&] { return servidor.consultas() > 0 || servicio.murio(); }, 20000);
    const double cpu0 = proceso.segundosCpu();
    const qint64 rss0 = proceso.kib("VmRSS:");
    const std::size_t consultas0 = servidor.consultas();
    QElapsedTimer reloj;
    reloj.start();
    qint64 marca = 0;
    while (reloj.elapsed() < segundos * 1000LL && !servicio.murio()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
        if (reloj.elapsed() - marca >= 60000) {
            marca = reloj.elapsed();
            decir(QStringLiteral("idle: %1 s, %2 polls, CPU %3 s, VmRSS %4 KiB, %5 fds")
                      .arg(marca / 1000).arg(servidor.consultas() - consultas0).arg(proceso.segundosCpu() - cpu0, 0, 'f', 2)
                      .arg(proceso.kib("VmRSS:")).arg(proceso.descriptores()));
        }
    }
    const double cpu = proceso.segundosCpu() - cpu0;
    const double total = proceso.segundosCpu();
    const qint64 rss = proceso.kib("VmRSS:");
    const qint64 pico = proceso.kib("VmHWM:");
    const double transcurrido = reloj.elapsed() / 1000.0;
    const QString estado = servicio.salida();
    servicio.terminar();
    decir(QStringLiteral("RESULT\tprocess=%1\tseconds=%2\tpolls=%3\tcpu_s=%4\tcpu_s_with_startup=%5\tcore_percent=%6\t"
                         "VmRSS_start_kib=%7\tVmRSS_end_kib=%8\tVmHWM_kib=%9")
              .arg(estado).arg(transcurrido, 0, 'f', 1).arg(servidor.consultas() - consultas0).arg(cpu, 0, 'f', 2)
              .arg(total, 0, 'f', 2).arg(100.0 * cpu / transcurrido, 0, 'f', 3).arg(rss0).arg(rss).arg(pico));
    return estado == u"alive" ? 0 : 2;
}

double mediana(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return 0;
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

int latencia(const Opciones& o, int rondas, const QString& csv) {
    // Each answer of jobs is followed by empty ones, so that each round is on paper before the
    // next is sent (a round that is not is reported, not mixed into the next).
    constexpr std::size_t kPasosRonda = 5;
    std::vector<Paso> guion;
    for (int i = 0; i < rondas; ++i) {
        guion.push_back(Paso{Tipo::Respuesta, respuestaLatencia(i)});
        for (std::size_t k = 1; k < kPasosRonda; ++k) guion.push_back(Paso{Tipo::Respuesta, kelmora::testing::kRespuestaVacia});
    }
    Impresiones impresiones(o.imprimirEn);
    if (!impresiones.hay()) {
        decir(QStringLiteral("latency: needs the private CUPS daemon (KELMORA_TEST_CUPS_OUT) or --print-to"));
        return 1;
    }
    ServidorCentralFalso servidor(std::move(guion));
    qint64 enviado = -1;
    servidor.alResponder = [&](std::size_t n) {
        if (n % kPasosRonda == 0 && n < static_cast<std::size_t>(rondas) * kPasosRonda) {
            enviado = QDateTime::currentMSecsSinceEpoch();
            impresiones.olvidar();
        }
    };
    std::vector<double> aceptado;
    std::vector<double> papel;
    Servicio servicio(o, servidor.url());
    // The invoice is the last job of the answer; its balloon follows its acceptance by CUPS.
    servicio.alLeer = [&](const QString& linea) {
        if (enviado >= 0 && linea.startsWith(QStringLiteral("Globo [informacion] Impresion de Factura"))) {
            aceptado.push_back(static_cast<double>(QDateTime::currentMSecsSinceEpoch() - enviado));
        }
    };
    QFile salida(csv);
    if (!salida.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
    salida.write("round,accepted_ms,paper_ms\n");
    int hechas = 0;
    while (hechas < rondas && !servicio.murio()) {
        if (servidor.consultas() >= static_cast<std::size_t>(rondas) * kPasosRonda && enviado < 0) break;
        if (!esperarA([&] { return enviado >= 0 || servicio.murio(); }, 30000)) break;
        const qint64 desde = enviado;
        if (!esperarA([&] { return impresiones.total() >= kTrabajosLatencia || enviado != desde || servicio.murio(); },
                      30000) ||
            enviado != desde) {
            decir(QStringLiteral("latency: round %1 printed %2 of %3 before the next").arg(hechas).arg(impresiones.total()).arg(kTrabajosLatencia));
            ++hechas;
            continue;
        }
        qint64 ultimo = 0;
        for (const QString& a : impresiones.nuevos()) {
            ultimo = std::max(ultimo, QFileInfo(QDir(impresiones.carpeta()).filePath(a)).lastModified().toMSecsSinceEpoch());
        }
        papel.push_back(static_cast<double>(ultimo - desde));
        enviado = -1;
        salida.write(QStringLiteral("%1,%2,%3\n").arg(hechas).arg(aceptado.empty() ? -1 : aceptado.back()).arg(papel.back()).toUtf8());
        ++hechas;
    }
    const QString estado = servicio.salida();
    servicio.terminar();
    const auto peor = [](const std::vector<double>& v) { return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end()); };
    decir(QStringLiteral("RESULT\tprocess=%1\trounds=%2\taccepted_median_ms=%3\taccepted_worst_ms=%4\tpaper_median_ms=%5\t"
                         "paper_worst_ms=%6")
              .arg(estado).arg(papel.size()).arg(mediana(aceptado)).arg(peor(aceptado)).arg(mediana(papel)).arg(peor(papel)));
    return static_cast<int>(papel.size()) == rondas ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Fault, soak, idle and latency runs of kelmora --headless."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("mode"), QStringLiteral("run | soak | idle | latency"));
    const QCommandLineOption kelmora(QStringLiteral("kelmora"), QStringLiteral("The kelmora executable."), QStringLiteral("EXE"));
    const QCommandLineOption carpeta(QStringLiteral("dir"), QStringLiteral("Its program folder."), QStringLiteral("DIR"));
    const QCommandLineOption sinCodigo(QStringLiteral("no-codigo"), QStringLiteral("Start without --codigo (Acceso as found)."));
    const QCommandLineOption imprimirEn(QStringLiteral("print-to"), QStringLiteral("Virtual PDF printers in DIR."), QStringLiteral("DIR"));
    const QCommandLineOption intervalo(QStringLiteral("poll-interval-ms"), QStringLiteral("The service's poll interval."), QStringLiteral("MS"));
    const QCommandLineOption consola(QStringLiteral("console"), QStringLiteral("Where the service's output goes."), QStringLiteral("FILE"));
    const QCommandLineOption pasos(QStringLiteral("steps"), QStringLiteral("run: the answers, comma separated."), QStringLiteral("LIST"));
    const QCommandLineOption gancho(QStringLiteral("hook"), QStringLiteral("run: N:CMD, CMD before poll N is answered."), QStringLiteral("N:CMD"));
    const QCommandLineOption ganchoDespues(QStringLiteral("hook-after"), QStringLiteral("run: N:MS:CMD, CMD MS after poll N was answered."),
                                           QStringLiteral("N:MS:CMD"));
    const QCommandLineOption asentar(QStringLiteral("settle-ms"), QStringLiteral("run: how long no new job means none is coming."),
                                     QStringLiteral("MS"), QStringLiteral("8000"));
    const QCommandLineOption consultas(QStringLiteral("polls"), QStringLiteral("soak: polls."), QStringLiteral("N"), QStringLiteral("10000"));
    const QCommandLineOption muestra(QStringLiteral("sample-every"), QStringLiteral("soak: polls between samples."), QStringLiteral("N"),
                                     QStringLiteral("250"));
    const QCommandLineOption segundos(QStringLiteral("seconds"), QStringLiteral("idle: how long."), QStringLiteral("S"), QStringLiteral("600"));
    const QCommandLineOption rondas(QStringLiteral("rounds"), QStringLiteral("latency: answers of jobs."), QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("soak, latency: the samples."), QStringLiteral("FILE"));
    parser.addOptions({kelmora, carpeta, sinCodigo, imprimirEn, intervalo, consola, pasos, gancho, ganchoDespues, asentar, consultas,
                       muestra, segundos, rondas, csv});
    parser.process(app);

    Opciones o;
    o.kelmora = parser.isSet(kelmora) ? parser.value(kelmora) : QStringLiteral(KELMORA_EXE);
    o.carpeta = parser.value(carpeta);
    o.codigo = parser.isSet(sinCodigo) ? QString() : kCodigo;
    o.imprimirEn = parser.value(imprimirEn);
    o.intervaloMs = parser.value(intervalo).toInt();
    o.consola = parser.value(consola);
    if (o.carpeta.isEmpty() || parser.positionalArguments().size() != 1) parser.showHelp(1);
    QDir().mkpath(o.carpeta);

    const QString modo = parser.positionalArguments().first();
    if (modo == u"run") {
        return correr(o, parser.value(pasos).split(u',', Qt::SkipEmptyParts), parser.values(gancho), parser.values(ganchoDespues),
                      parser.value(asentar).toInt());
    }
    if (modo == u"soak") return remojo(o, parser.value(consultas).toInt(), parser.value(muestra).toInt(), parser.value(csv));
    if (modo == u"idle") return reposo(o, parser.value(segundos).toInt());
    if (modo == u"latency") return latencia(o, parser.value(rondas).toInt(), parser.value(csv));
    parser.showHelp(1);
}
