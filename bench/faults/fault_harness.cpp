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
#include "support/fake_central_server.h"

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

using kelmora::testing::FakeCentralServer;
using Step = FakeCentralServer::Step;
using Kind = Step::Kind;

const QString kCode = QStringLiteral("A12345678901234");

void say(const QString& text) {
    std::fputs(qPrintable(text + u'\n'), stdout);
    std::fflush(stdout);
}

QByteArray cancellation(const QString& table) {
    return QStringLiteral(R"({"area":"Cocina","nomMesa":"Mesa %1",)"
                          R"("productos":[{"nombre":"Sopa del dia","cantidad":1,"detalle":[]}]})")
        .arg(table)
        .toUtf8();
}

// A round of the dinner rush: kitchen and bar tickets, a cancellation, an invoice and the drawer.
// Five jobs: Cocina 2, Bar 1, the default printer 1 (the invoice), Facturas 1 (the drawer pulse).
constexpr int kRoundJobs = 5;
QByteArray rushRound(int n) {
    const QString m = QStringLiteral("R%1").arg(n);
    using kelmora::testing::kitchenTicket;
    using kelmora::testing::invoice;
    return kelmora::testing::answer({kitchenTicket(QStringLiteral("Cocina"), m + QStringLiteral("a")),
                                        kitchenTicket(QStringLiteral("Bar"), m + QStringLiteral("b"))},
                                       {cancellation(m + QStringLiteral("c"))},
                                       {invoice(m + QStringLiteral("d"), QStringLiteral("Factura de venta"))}, true);
}

// n kitchen tickets for one area.
QByteArray kitchenTickets(const QString& area, int n) {
    QByteArrayList list;
    for (int i = 0; i < n; ++i) list.append(kelmora::testing::kitchenTicket(area, QStringLiteral("K%1").arg(i)));
    return kelmora::testing::answer(list, {}, {}, false);
}

// The answer of the latency runs: 5 kitchen tickets (3 Cocina, 2 Bar) and 1 invoice.
constexpr int kLatencyJobs = 6;
QByteArray latencyAnswer(int n) {
    using kelmora::testing::kitchenTicket;
    QByteArrayList list;
    for (int i = 0; i < 5; ++i) {
        list.append(kitchenTicket(i < 3 ? QStringLiteral("Cocina") : QStringLiteral("Bar"), QStringLiteral("L%1-%2").arg(n).arg(i)));
    }
    return kelmora::testing::answer(list, {}, {kelmora::testing::invoice(QStringLiteral("L%1").arg(n), QStringLiteral("Factura de venta"))},
                                       false);
}

// One step of a script by its name; the jobs it hands out.
std::optional<std::pair<Step, int>> step(const QString& name, int n) {
    const QStringList parts = name.split(u':');
    const QString kind = parts.value(0);
    const int arg = parts.value(1).toInt();
    if (kind == u"ronda") return {{Step{Kind::Answer, rushRound(n)}, kRoundJobs}};
    if (kind == u"comandas") return {{Step{Kind::Answer, kitchenTickets(QStringLiteral("Cocina"), arg)}, arg}};
    if (kind == u"vacia") return {{Step{Kind::Answer, kelmora::testing::kEmptyAnswer}, 0}};
    if (kind == u"lenta") return {{Step{Kind::Slow, rushRound(n), arg}, kRoundJobs}};
    if (kind == u"500") return {{Step{Kind::Error500, "<html><body><h1>500 Internal Server Error</h1></body></html>"}, 0}};
    if (kind == u"html") {
        return {{Step{Kind::Answer, "<!DOCTYPE html><html><head><title>Error</title></head><body><p>Servicio no "
                                       "disponible</p></body></html>"},
                 0}};
    }
    if (kind == u"cuerpo-vacio") return {{Step{Kind::Answer, QByteArray()}, 0}};
    if (kind == u"truncada") {
        const QByteArray r = rushRound(n);
        return {{Step{Kind::Answer, r.left(r.size() / 2)}, kRoundJobs}};
    }
    if (kind == u"enorme") return {{Step{Kind::Huge, {}}, 0}};
    if (kind == u"cortada") return {{Step{Kind::CutBody, rushRound(n)}, kRoundJobs}};
    if (kind == u"cerrar") return {{Step{Kind::Close, {}}, 0}};
    if (kind == u"caida") return {{Step{Kind::Down, {}, arg}, 0}};
    return std::nullopt;
}

int runShell(const QString& command) {
    return QProcess::execute(QStringLiteral("bash"), {QStringLiteral("-c"), command});
}

// Where the printed jobs land, and how many new ones there are per printer.
class PrintedJobs {
public:
    explicit PrintedJobs(QString virtualFolder) {
        folder_ = virtualFolder.isEmpty() ? qEnvironmentVariable("KELMORA_TEST_CUPS_OUT") : virtualFolder;
        virtual_ = !virtualFolder.isEmpty();
        before_ = files();
    }
    bool available() const { return !folder_.isEmpty(); }
    const QString& folder() const { return folder_; }
    // New jobs per printer.
    std::map<QString, int> perPrinter() const {
        std::map<QString, int> count;
        for (const QString& a : files()) {
            if (before_.contains(a)) continue;
            const auto m = pattern().match(a);
            ++count[m.captured(1)];
        }
        return count;
    }
    int total() const {
        int n = 0;
        for (const auto& [printer, k] : perPrinter()) n += k;
        return n;
    }
    QStringList newFiles() const {
        QStringList list;
        for (const QString& a : files()) {
            if (!before_.contains(a)) list.append(a);
        }
        return list;
    }
    void forget() { before_ = files(); }
    void clearFiles() {
        for (const QString& a : files()) QFile::remove(QDir(folder_).filePath(a));
        before_.clear();
    }

private:
    const QRegularExpression& pattern() const {
        static const QRegularExpression cups(QStringLiteral(R"(^(\w+)\.(\d+)$)"));
        static const QRegularExpression pdf(QStringLiteral(R"(^\d{3,}-(\w+)\.(pdf|raw)$)"));
        return virtual_ ? pdf : cups;
    }
    QStringList files() const {
        if (folder_.isEmpty()) return {};
        return QDir(folder_).entryList(QDir::Files).filter(pattern());
    }
    QString folder_;
    bool virtual_ = false;
    QStringList before_;
};

// /proc figures of a process.
struct Process {
    qint64 pid;
    qint64 kib(const char* field) const {
        QFile f(QStringLiteral("/proc/%1/status").arg(pid));
        if (!f.open(QIODevice::ReadOnly)) return -1;
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.startsWith(field)) return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
        }
        return -1;
    }
    qint64 descriptors() const { return QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size(); }
    double cpuSeconds() const {
        QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!f.open(QIODevice::ReadOnly)) return -1;
        const QByteArray stat = f.readAll();
        // The fields after the command name, which may hold blanks: utime is field 14, stime 15.
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
        return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks;
    }
};

struct Options {
    QString kelmora;
    QString folder;
    QString code;
    QString printTo;
    int intervalMs = 0;
    QString console;
    QString preload;  // a library the service is started with (LD_PRELOAD)
};

// The service under test; its console goes to a file as it comes.
class Service {
public:
    Service(const Options& o, const QString& url) : console_(o.console) {
        // What tells a fault is read from the console, which --verbose puts on standard output.
        QStringList args{QStringLiteral("--headless"), QStringLiteral("--verbose"), QStringLiteral("--server"), url,
                         QStringLiteral("--dir"), o.folder};
        if (!o.code.isEmpty()) args += {QStringLiteral("--codigo"), o.code};
        if (!o.printTo.isEmpty()) {
            args += {QStringLiteral("--print-to"), o.printTo, QStringLiteral("--printers"),
                     QStringLiteral("Cocina,Bar,Facturas"), QStringLiteral("--default-printer"), QStringLiteral("Facturas")};
        }
        if (o.intervalMs > 0) args += {QStringLiteral("--poll-interval-ms"), QString::number(o.intervalMs)};
        if (!console_.fileName().isEmpty()) console_.open(QIODevice::WriteOnly | QIODevice::Truncate);
        p_.setProgram(o.kelmora);
        p_.setArguments(args);
        if (!o.preload.isEmpty()) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("LD_PRELOAD"), o.preload);
            p_.setProcessEnvironment(environment);
        }
        p_.setWorkingDirectory(o.folder);
        QObject::connect(&p_, &QProcess::readyReadStandardOutput, [this] { read(); });
        // Read as it comes, or a full pipe would stop the service.
        QObject::connect(&p_, &QProcess::readyReadStandardError, [this] { readErrors(); });
        QObject::connect(&p_, &QProcess::finished, [this](int code, QProcess::ExitStatus status) {
            if (!stopping_) {
                read();
                readErrors();
                died_ = true;
                outcome_ = status == QProcess::CrashExit ? QStringLiteral("crashed") : QStringLiteral("exit %1").arg(code);
            }
        });
        p_.start();
        p_.waitForStarted();
    }
    ~Service() { stop(); }

    void stop() {
        if (p_.state() == QProcess::NotRunning) return;
        stopping_ = true;
        p_.terminate();
        if (!p_.waitForFinished(10000)) {
            p_.kill();
            p_.waitForFinished();
        }
        read();
        readErrors();
    }
    bool died() const { return died_ || p_.state() == QProcess::NotRunning; }
    QString outcome() const { return died_ ? outcome_ : QStringLiteral("alive"); }
    Process process() const { return Process{p_.processId()}; }
    // Told of each console line as it comes, with the time it came.
    std::function<void(const QString&)> onLine;
    // Lines seen, by their text after the timestamp.
    std::map<QString, int> notices;

private:
    static const QRegularExpression& stamp() {
        static const QRegularExpression s(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )"));
        return s;
    }
    static QString withoutStamp(const QByteArray& line) { return QString::fromUtf8(line).trimmed().remove(stamp()); }
    // The service's messages and anything else on standard error (Qt's warnings, a crash), each
    // counted by its text. The log's own lines repeat what the console tells, so they only go to
    // the console file.
    void readErrors() {
        const QByteArray errors = p_.readAllStandardError();
        if (console_.isOpen()) console_.write(errors);
        for (const QByteArray& line : errors.split('\n')) {
            if (line.trimmed().isEmpty()) continue;
            const QString text = withoutStamp(line);
            const bool logLine = stamp().match(QString::fromUtf8(line)).hasMatch() && !text.startsWith(u"Mensaje [");
            if (!logLine) ++notices[QStringLiteral("stderr: ") + text.left(160)];
        }
    }
    void read() {
        while (p_.canReadLine()) {
            const QByteArray line = p_.readLine();
            if (console_.isOpen()) console_.write(line);
            const QString text = withoutStamp(line);
            // What tells a fault: balloons, the loader's failures and statuses other than 200, and
            // the reader's first error line after an answer.
            if (afterAnswer_ == 2 && !text.startsWith(u"Globo") && !text.startsWith(u"Icono")) {
                ++notices[QStringLiteral("JSON: ") + text.left(100)];
            }
            afterAnswer_ = text == u"Respuesta:" ? 1 : (afterAnswer_ == 1 && text == u"--" ? 2 : 0);
            if ((text.startsWith(u"Globo") && !text.endsWith(u"Sistema funcionando correctamente")) ||
                text.startsWith(u"Sin respuesta") || text.startsWith(u"Respuesta descartada") ||
                text.startsWith(u"Peticion abandonada") || text.startsWith(u"Error al procesar") ||
                (text.startsWith(u"HTTP ") && text != u"HTTP 200 OK")) {
                ++notices[text.left(160)];
            }
            if (onLine) onLine(text);
        }
    }

    QProcess p_;
    QFile console_;
    bool stopping_ = false;
    bool died_ = false;
    int afterAnswer_ = 0;
    QString outcome_;
};

void runEventsFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

template <typename F>
bool waitUntil(F condition, int ms) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QString text(const std::map<QString, int>& count) {
    QStringList parts;
    for (const auto& [k, n] : count) parts.append(n == 1 ? k : QStringLiteral("%1 (x%2)").arg(k).arg(n));
    return parts.join(QStringLiteral(" | "));
}

int runScript(const Options& o, const QStringList& steps, const QStringList& hooks, const QStringList& hooksAfter,
           int settleMs) {
    std::vector<Step> script;
    int handed = 0;
    for (const QString& name : steps) {
        const auto p = step(name, static_cast<int>(script.size()));
        if (!p) {
            say(QStringLiteral("unknown step: ") + name);
            return 1;
        }
        script.push_back(p->first);
        handed += p->second;
    }
    // N:CMD runs CMD before poll N is answered.
    for (const QString& g : hooks) {
        const qsizetype colon = g.indexOf(u':');
        const int n = g.left(colon).toInt();
        if (n < 0 || n >= static_cast<int>(script.size())) return 1;
        const QString command = g.mid(colon + 1);
        script[n].before = [command] { runShell(command); };
    }
    PrintedJobs printed(o.printTo);
    FakeCentralServer server(std::move(script));
    // N:MS:CMD runs CMD MS after poll N was answered (a printer that goes away mid-round).
    std::multimap<std::size_t, std::pair<int, QString>> after;
    for (const QString& g : hooksAfter) {
        const QStringList p = g.split(u':');
        after.emplace(p.value(0).toULong(), std::make_pair(p.value(1).toInt(), p.mid(2).join(u':')));
    }
    server.onAnswer = [&after](std::size_t n) {
        const auto [from, to] = after.equal_range(n);
        for (auto it = from; it != to; ++it) {
            const QString command = it->second.second;
            QTimer::singleShot(it->second.first, [command] { runShell(command); });
        }
    };
    Service service(o, server.url());
    // Each step is a poll; a minute's outage and the 33 s wait after a failed handling fit.
    const int limitMs = 30000 + static_cast<int>(steps.size()) * 40000;
    const bool done = waitUntil([&] { return server.scriptDone() || service.died(); }, limitMs);
    // The jobs in flight reach paper, or stop coming.
    int seen = -1;
    QElapsedTimer quietFor;
    quietFor.start();
    waitUntil([&] {
        const int n = printed.total();
        if (n != seen) {
            seen = n;
            quietFor.restart();
        }
        return n >= handed || quietFor.elapsed() > settleMs;
    }, 120000);
    // A little longer, to see no late duplicate.
    runEventsFor(1500);
    const QString status = service.outcome();
    service.stop();
    QStringList perPrinter;
    for (const auto& [printer, n] : printed.perPrinter()) perPrinter.append(QStringLiteral("%1:%2").arg(printer).arg(n));
    say(QStringLiteral("RESULT\tprocess=%1\tscript=%2\tpolls=%3\thanded=%4\tprinted=%5\tper-printer=%6\tlines=%7")
              .arg(status, done ? QStringLiteral("done") : QStringLiteral("unfinished"))
              .arg(server.routes.size())
              .arg(handed)
              .arg(printed.total())
              .arg(perPrinter.join(u','), text(service.notices)));
    return 0;
}

int soak(const Options& o, int polls, int every, const QString& csv) {
    // Every kind of answer in rotation; a round in every fourth poll.
    const QStringList rotation{QStringLiteral("ronda"),  QStringLiteral("vacia"),        QStringLiteral("500"),
                               QStringLiteral("html"),   QStringLiteral("ronda"),        QStringLiteral("cuerpo-vacio"),
                               QStringLiteral("truncada"), QStringLiteral("vacia"),      QStringLiteral("ronda"),
                               QStringLiteral("lenta:30"), QStringLiteral("cortada"),    QStringLiteral("vacia"),
                               QStringLiteral("ronda"),  QStringLiteral("cerrar"),       QStringLiteral("vacia"),
                               QStringLiteral("html")};
    std::vector<Step> script;
    int handed = 0;
    for (int i = 0; i < polls; ++i) {
        // A body over the size limit now and then.
        const QString name = (i % 1000 == 999) ? QStringLiteral("enorme") : rotation[i % rotation.size()];
        const auto p = step(name, i);
        script.push_back(p->first);
        // Jobs of whole answers only: a cut or truncated one loses its jobs by design.
        if (name == u"ronda" || name.startsWith(u"lenta")) handed += p->second;
    }
    PrintedJobs printed(o.printTo);
    FakeCentralServer server(std::move(script));
    Service service(o, server.url());
    QFile outcome(csv);
    if (!outcome.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
    outcome.write("polls,seconds,rss_kib,fds,printed\n");
    const Process process = service.process();
    QElapsedTimer clock;
    clock.start();
    int printedCount = 0;
    std::size_t next = 0;
    while (!service.died() && server.polls() <= static_cast<std::size_t>(polls)) {
        if (server.polls() >= next) {
            const qint64 rss = process.kib("VmRSS:");
            const qint64 fds = process.descriptors();
            // The PDF files are counted and removed, so the folder stays small.
            printedCount += printed.total();
            printed.clearFiles();
            outcome.write(QStringLiteral("%1,%2,%3,%4,%5\n").arg(server.polls()).arg(clock.elapsed() / 1000.0, 0, 'f', 1).arg(rss).arg(fds).arg(printedCount).toUtf8());
            outcome.flush();
            say(QStringLiteral("soak: %1 polls, %2 s, VmRSS %3 KiB, %4 fds, %5 printed")
                      .arg(server.polls()).arg(clock.elapsed() / 1000).arg(rss).arg(fds).arg(printedCount));
            next += static_cast<std::size_t>(every);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    runEventsFor(3000);
    printedCount += printed.total();
    printed.clearFiles();
    const qint64 peak = process.kib("VmHWM:");
    const QString status = service.outcome();
    service.stop();
    say(QStringLiteral("RESULT\tprocess=%1\tpolls=%2\thanded=%3\tprinted=%4\tVmHWM_kib=%5\tseconds=%6")
              .arg(status).arg(server.routes.size()).arg(handed).arg(printedCount).arg(peak).arg(clock.elapsed() / 1000));
    return status == u"alive" ? 0 : 2;
}

int idle(const Options& o, int seconds) {
    FakeCentralServer server({});
    Service service(o, server.url());
    const Process process = service.process();
    // From the first poll on: start-up is not idling.
    waitUntil([&] { return server.polls() > 0 || service.died(); }, 20000);
    const double cpu0 = process.cpuSeconds();
    const qint64 rss0 = process.kib("VmRSS:");
    const std::size_t polls0 = server.polls();
    QElapsedTimer clock;
    clock.start();
    qint64 stamp = 0;
    while (clock.elapsed() < seconds * 1000LL && !service.died()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
        if (clock.elapsed() - stamp >= 60000) {
            stamp = clock.elapsed();
            say(QStringLiteral("idle: %1 s, %2 polls, CPU %3 s, VmRSS %4 KiB, %5 fds")
                      .arg(stamp / 1000).arg(server.polls() - polls0).arg(process.cpuSeconds() - cpu0, 0, 'f', 2)
                      .arg(process.kib("VmRSS:")).arg(process.descriptors()));
        }
    }
    const double cpu = process.cpuSeconds() - cpu0;
    const double total = process.cpuSeconds();
    const qint64 rss = process.kib("VmRSS:");
    const qint64 peak = process.kib("VmHWM:");
    const double elapsed = clock.elapsed() / 1000.0;
    const QString status = service.outcome();
    service.stop();
    say(QStringLiteral("RESULT\tprocess=%1\tseconds=%2\tpolls=%3\tcpu_s=%4\tcpu_s_with_startup=%5\tcore_percent=%6\t"
                         "VmRSS_start_kib=%7\tVmRSS_end_kib=%8\tVmHWM_kib=%9")
              .arg(status).arg(elapsed, 0, 'f', 1).arg(server.polls() - polls0).arg(cpu, 0, 'f', 2)
              .arg(total, 0, 'f', 2).arg(100.0 * cpu / elapsed, 0, 'f', 3).arg(rss0).arg(rss).arg(peak));
    return status == u"alive" ? 0 : 2;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return 0;
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// `rush` tickets on Cocina, instead of the usual answer, when it is more than 0.
int latency(const Options& o, int rounds, const QString& csv, int rush) {
    // Each answer of jobs is followed by empty ones, so that each round is on paper before the
    // next is sent (a round that is not is reported, not mixed into the next).
    constexpr std::size_t kStepsPerRound = 5;
    std::vector<Step> script;
    for (int i = 0; i < rounds; ++i) {
        script.push_back(Step{Kind::Answer, rush > 0 ? kitchenTickets(QStringLiteral("Cocina"), rush) : latencyAnswer(i)});
        for (std::size_t k = 1; k < kStepsPerRound; ++k) script.push_back(Step{Kind::Answer, kelmora::testing::kEmptyAnswer});
    }
    PrintedJobs printed(o.printTo);
    if (!printed.available()) {
        say(QStringLiteral("latency: needs the private CUPS daemon (KELMORA_TEST_CUPS_OUT) or --print-to"));
        return 1;
    }
    FakeCentralServer server(std::move(script));
    qint64 sent = -1;
    server.onAnswer = [&](std::size_t n) {
        if (n % kStepsPerRound == 0 && n < static_cast<std::size_t>(rounds) * kStepsPerRound) {
            sent = QDateTime::currentMSecsSinceEpoch();
            printed.forget();
        }
    };
    std::vector<double> accepted;
    std::vector<double> paper;
    Service service(o, server.url());
    const int jobs = rush > 0 ? rush : kLatencyJobs;
    const QString lastBalloon = rush > 0 ? QStringLiteral("Globo [informacion] Impresion de comanda")
                                         : QStringLiteral("Globo [informacion] Impresion de Factura");
    int balloons = 0;
    // The last job of the answer (its invoice, or its last ticket): its balloon follows its acceptance by CUPS.
    service.onLine = [&](const QString& line) {
        if (sent >= 0 && line.startsWith(lastBalloon) && ++balloons % jobs == 0) {
            accepted.push_back(static_cast<double>(QDateTime::currentMSecsSinceEpoch() - sent));
        }
    };
    QFile outcome(csv);
    if (!outcome.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
    outcome.write("round,accepted_ms,paper_ms\n");
    int roundsDone = 0;
    while (roundsDone < rounds && !service.died()) {
        if (server.polls() >= static_cast<std::size_t>(rounds) * kStepsPerRound && sent < 0) break;
        if (!waitUntil([&] { return sent >= 0 || service.died(); }, 30000)) break;
        const qint64 from = sent;
        if (!waitUntil([&] { return printed.total() >= jobs || sent != from || service.died(); },
                      30000) ||
            sent != from) {
            say(QStringLiteral("latency: round %1 printed %2 of %3 before the next").arg(roundsDone).arg(printed.total()).arg(jobs));
            ++roundsDone;
            continue;
        }
        qint64 latest = 0;
        for (const QString& a : printed.newFiles()) {
            latest = std::max(latest, QFileInfo(QDir(printed.folder()).filePath(a)).lastModified().toMSecsSinceEpoch());
        }
        paper.push_back(static_cast<double>(latest - from));
        sent = -1;
        outcome.write(QStringLiteral("%1,%2,%3\n").arg(roundsDone).arg(accepted.empty() ? -1 : accepted.back()).arg(paper.back()).toUtf8());
        ++roundsDone;
    }
    const QString status = service.outcome();
    service.stop();
    const auto worst = [](const std::vector<double>& v) { return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end()); };
    say(QStringLiteral("RESULT\tprocess=%1\trounds=%2\taccepted_median_ms=%3\taccepted_worst_ms=%4\tpaper_median_ms=%5\t"
                         "paper_worst_ms=%6")
              .arg(status).arg(paper.size()).arg(median(accepted)).arg(worst(accepted)).arg(median(paper)).arg(worst(paper)));
    return static_cast<int>(paper.size()) == rounds ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Fault, soak, idle and latency runs of kelmora --headless."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("mode"), QStringLiteral("run | soak | idle | latency"));
    const QCommandLineOption kelmora(QStringLiteral("kelmora"), QStringLiteral("The kelmora executable."), QStringLiteral("EXE"));
    const QCommandLineOption folder(QStringLiteral("dir"), QStringLiteral("Its program folder."), QStringLiteral("DIR"));
    const QCommandLineOption noCode(QStringLiteral("no-codigo"), QStringLiteral("Start without --codigo (Acceso as found)."));
    const QCommandLineOption printTo(QStringLiteral("print-to"), QStringLiteral("Virtual PDF printers in DIR."), QStringLiteral("DIR"));
    const QCommandLineOption interval(QStringLiteral("poll-interval-ms"), QStringLiteral("The service's poll interval."), QStringLiteral("MS"));
    const QCommandLineOption console(QStringLiteral("console"), QStringLiteral("Where the service's output goes."), QStringLiteral("FILE"));
    const QCommandLineOption steps(QStringLiteral("steps"), QStringLiteral("run: the answers, comma separated."), QStringLiteral("LIST"));
    const QCommandLineOption hook(QStringLiteral("hook"), QStringLiteral("run: N:CMD, CMD before poll N is answered."), QStringLiteral("N:CMD"));
    const QCommandLineOption hookAfter(QStringLiteral("hook-after"), QStringLiteral("run: N:MS:CMD, CMD MS after poll N was answered."),
                                           QStringLiteral("N:MS:CMD"));
    const QCommandLineOption settle(QStringLiteral("settle-ms"), QStringLiteral("run: how long no new job means none is coming."),
                                     QStringLiteral("MS"), QStringLiteral("8000"));
    const QCommandLineOption polls(QStringLiteral("polls"), QStringLiteral("soak: polls."), QStringLiteral("N"), QStringLiteral("10000"));
    const QCommandLineOption sampleEvery(QStringLiteral("sample-every"), QStringLiteral("soak: polls between samples."), QStringLiteral("N"),
                                     QStringLiteral("250"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("idle: how long."), QStringLiteral("S"), QStringLiteral("600"));
    const QCommandLineOption rounds(QStringLiteral("rounds"), QStringLiteral("latency: answers of jobs."), QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("soak, latency: the samples."), QStringLiteral("FILE"));
    const QCommandLineOption rush(QStringLiteral("rush"), QStringLiteral("latency: N kitchen tickets per answer instead."),
                                  QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption preload(QStringLiteral("preload"), QStringLiteral("A library to start the service with (LD_PRELOAD)."),
                                     QStringLiteral("LIB"));
    parser.addOptions({kelmora, folder, noCode, printTo, interval, console, steps, hook, hookAfter, settle, polls,
                       sampleEvery, seconds, rounds, csv, rush, preload});
    parser.process(app);

    Options o;
    o.kelmora = parser.isSet(kelmora) ? parser.value(kelmora) : QStringLiteral(KELMORA_EXE);
    o.folder = parser.value(folder);
    o.code = parser.isSet(noCode) ? QString() : kCode;
    o.printTo = parser.value(printTo);
    o.intervalMs = parser.value(interval).toInt();
    o.console = parser.value(console);
    o.preload = parser.value(preload);
    if (o.folder.isEmpty() || parser.positionalArguments().size() != 1) parser.showHelp(1);
    QDir().mkpath(o.folder);

    const QString mode = parser.positionalArguments().first();
    if (mode == u"run") {
        return runScript(o, parser.value(steps).split(u',', Qt::SkipEmptyParts), parser.values(hook), parser.values(hookAfter),
                      parser.value(settle).toInt());
    }
    if (mode == u"soak") return soak(o, parser.value(polls).toInt(), parser.value(sampleEvery).toInt(), parser.value(csv));
    if (mode == u"idle") return idle(o, parser.value(seconds).toInt());
    if (mode == u"latency") return latency(o, parser.value(rounds).toInt(), parser.value(csv), parser.value(rush).toInt());
    parser.showHelp(1);
}
