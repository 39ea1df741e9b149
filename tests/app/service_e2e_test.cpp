// The real `kelmora --headless --verbose` against a fake central server scripted per poll, read from
// the whole exchange it writes on standard output.
#include "e2e_support.h"

#include "json/json_reader.h"
#include "support/fake_central_server.h"

#include <QRandomGenerator>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

const QString kCode = QStringLiteral("A12345678901234");

bool containsSequence(const QStringList& whole, const QStringList& part) {
    for (qsizetype i = 0; i + part.size() <= whole.size(); ++i) {
        if (whole.mid(i, part.size()) == part) return true;
    }
    return false;
}

// The reader's error text as the console shows it, one line each.
QStringList readerErrors(const QString& text) {
    JsonReader reader;
    reader.leerJSON(text);
    return reader.erroresJSON().split(QRegularExpression(QStringLiteral("\\r\\n|\\r|\\n")));
}

TEST(ServiceAgainstCentralServer, EveryJobArrivesAndTheConsoleTellsEveryFault) {
    const QString mark = QStringLiteral("E2E%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
    const QByteArray cancellation =
        QStringLiteral(R"({"area":"Cocina","nomMesa":"Mesa %1-A3",)"
                       R"("productos":[{"nombre":"Sopa del dia","cantidad":1,"detalle":[]}]})")
            .arg(mark)
            .toUtf8();
    const QByteArray error500 = "<html><body>Internal error</body></html>";
    const QByteArray garbage = "xxxxx{not json at all";
    using Kind = FakeCentralServer::Step::Kind;
    FakeCentralServer server({
        {Kind::Answer,
         answer({kitchenTicket(QStringLiteral("Cocina"), mark + QStringLiteral("-A1")),
                 kitchenTicket(QStringLiteral("Bar"), mark + QStringLiteral("-A2"))},
                {cancellation}, {invoice(mark + QStringLiteral("-A4"), QStringLiteral("Factura de venta"))}, true)},
        {Kind::Slow, answer({kitchenTicket(QStringLiteral("Bar"), mark + QStringLiteral("-B1"))}, {}, {}, false), 3000},
        {Kind::Error500, error500},
        {Kind::Answer, garbage},
        {Kind::Answer, QByteArray()},
        {Kind::Close, {}},
        {Kind::Huge, {}},
        {Kind::Answer, answer({}, {}, {invoice(mark + QStringLiteral("-C1"), QStringLiteral("Precuenta"))}, false)},
    });
    ASSERT_TRUE(server.listening());

    QTemporaryDir folder;
    PrintedJobs printed;
    QStringList arguments{QStringLiteral("--headless"), QStringLiteral("--verbose"), QStringLiteral("--server"),
                          server.url(), QStringLiteral("--dir"), folder.path(), QStringLiteral("--codigo"), kCode};
    arguments += printed.options();
    auto kelmora = newKelmora(arguments, folder.path());
    kelmora->start();
    ASSERT_TRUE(kelmora->waitForStarted());
    const bool done = QTest::qWaitFor([&] { return server.scriptDone(); }, 120000);
    kelmora->terminate();
    kelmora->waitForFinished(10000);
    const QStringList console = consoleLines(kelmora->readAllStandardOutput());
    ASSERT_TRUE(done) << console.join(u'\n').right(3000).toStdString()
                      << QString::fromUtf8(kelmora->readAllStandardError()).toStdString();

    // Every poll is the poll request with the branch code, shown as it is fetched.
    EXPECT_EQ(server.codes.count(kCode), server.codes.size());
    EXPECT_EQ(server.routes.count(QStringLiteral("servicio/getImpresiones")), server.routes.size());
    const QString url = server.url() + QStringLiteral("/?r=servicio/getImpresiones&idSyA=") + kCode;
    EXPECT_GE(console.count(QStringLiteral("Peticion HTTP: ")), 9);
    EXPECT_EQ(console.count(url), console.count(QStringLiteral("Peticion HTTP: ")));

    // The slow answer was waited for, not abandoned; the faults are told and polling went on.
    EXPECT_FALSE(console.join(u'\n').contains(QStringLiteral("Peticion abandonada")));
    EXPECT_TRUE(containsSequence(console, QStringList{QStringLiteral("-------------------------------"),
                                                      QStringLiteral("HTTP 500 Internal Server Error"),
                                                      QString::fromUtf8(error500), QStringLiteral("Respuesta: "),
                                                      QStringLiteral("--")} +
                                              readerErrors(QString::fromUtf8(error500).mid(5))));
    EXPECT_TRUE(containsSequence(console, QStringList{QString::fromUtf8(garbage), QStringLiteral("Respuesta: "),
                                                      QStringLiteral("--")} +
                                              readerErrors(QString::fromUtf8(garbage).mid(5))));
    EXPECT_TRUE(containsSequence(
        console, QStringList{QStringLiteral("HTTP 200 OK"), QString(), QStringLiteral("Respuesta: "), QStringLiteral("--")} +
                     readerErrors(QString())));
    EXPECT_EQ(console.filter(QRegularExpression(QStringLiteral("^Sin respuesta del servidor: .+"))).size(), 1);
    EXPECT_EQ(console.count(QStringLiteral("Respuesta descartada: supera el limite de 32 MiB")), 1);
    EXPECT_EQ(console.filter(QStringLiteral("Error al procesar la respuesta")).size(), 0);

    // The balloons of the printed tickets, and the icons after each handled answer.
    EXPECT_EQ(console.count(QStringLiteral("Globo [informacion] Impresion de comanda: Comanda enviada a Cocina")), 2);
    EXPECT_EQ(console.count(QStringLiteral("Globo [informacion] Impresion de comanda: Comanda enviada a Bar")), 2);
    EXPECT_EQ(console.count(QStringLiteral("Globo [informacion] Impresion de Factura: Factura enviada a Facturas")), 2);
    EXPECT_GE(console.count(QStringLiteral("Icono [ok]: Sincronizacion satisfactoria")), 6);
    EXPECT_TRUE(containsSequence(console, {QStringLiteral("Icono [ok]: Sincronizacion satisfactoria"),
                                           QStringLiteral("Icono [conectado]: Conectado")}));

    // Every job of every answer landed on its printer, in order.
    const QStringList expected{
        QStringLiteral("Cocina %1-A1").arg(mark),   QStringLiteral("Bar %1-A2").arg(mark),
        QStringLiteral("Cocina %1-A3").arg(mark),   QStringLiteral("Facturas %1-A4").arg(mark),
        QStringLiteral("Bar %1-B1").arg(mark),      QStringLiteral("Facturas %1-C1").arg(mark),
    };
    EXPECT_EQ(printed.waitForDocumentsWith(mark, expected.size()), expected);
    if (printed.onCups()) {
        EXPECT_GE(printed.drawerPulses(), 1);
    } else {
        EXPECT_EQ(printed.drawerPulses(), 1);
        EXPECT_EQ(printed.jobs().size(), 7u);
    }
}

// The established TCP connections of process `pid` to a local port: its sockets (from
// /proc/PID/fd) looked up in /proc/net/tcp. Another process's connection may show the same port
// as its remote one, since the server's port is any free one. The kernel builds the table page by
// page, so a socket that moves while it is read can be listed twice: sockets are counted once.
int connectionsTo(qint64 pid, quint16 port) {
    QSet<QByteArray> sockets;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = fd.symLinkTarget().section(u'/', -1);
        if (target.startsWith(u"socket:[")) sockets.insert(target.mid(8).chopped(1).toLatin1());
    }
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly)) return -1;
    const QByteArray suffix = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    QSet<QByteArray> open;
    table.readLine();  // the heading
    for (QByteArray line = table.readLine(); !line.isEmpty(); line = table.readLine()) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 9 && fields[2].endsWith(suffix) && fields[3] == "01" && sockets.contains(fields[9])) {
            open.insert(fields[9]);
        }
    }
    return static_cast<int>(open.size());
}

TEST(ServiceAgainstCentralServer, AnAbandonedPollEndsForReal) {
    // The server holds the first polls past the service's limit, then hands out rounds of jobs.
    // Each abandoned poll must close its connection, never come back as a re-sent request, and
    // leave the next polls free to reach the server.
    constexpr int kHeld = 8;
    constexpr int kLimitMs = 800;
    constexpr int kIntervalMs = 300;
    const QString mark = QStringLiteral("RET%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
    using Kind = FakeCentralServer::Step::Kind;
    std::vector<FakeCentralServer::Step> script(kHeld, {Kind::Held, {}, 5000});
    for (const QString& round : {QStringLiteral("R1"), QStringLiteral("R2"), QStringLiteral("R3")}) {
        script.push_back({Kind::Answer,
                          answer({kitchenTicket(QStringLiteral("Cocina"), QStringLiteral("%1-%2a").arg(mark, round)),
                                  kitchenTicket(QStringLiteral("Bar"), QStringLiteral("%1-%2b").arg(mark, round))},
                                 {}, {}, false)});
    }
    FakeCentralServer server(std::move(script));
    ASSERT_TRUE(server.listening());

    QTemporaryDir folder;
    PrintedJobs printed;
    QStringList arguments{QStringLiteral("--headless"), QStringLiteral("--verbose"), QStringLiteral("--server"),
                          server.url(), QStringLiteral("--dir"), folder.path(), QStringLiteral("--codigo"), kCode,
                          QStringLiteral("--poll-interval-ms"), QString::number(kIntervalMs),
                          QStringLiteral("--fetch-timeout-ms"), QString::number(kLimitMs)};
    arguments += printed.options();
    auto kelmora = newKelmora(arguments, folder.path());
    kelmora->start();
    ASSERT_TRUE(kelmora->waitForStarted());
    int mostOpen = 0;
    // Past the script, and long enough for every held connection to be closed by the server: a
    // request that the network layer sent again would show up by then.
    const bool done = QTest::qWaitFor([&] {
        mostOpen = std::max(mostOpen, connectionsTo(kelmora->processId(), server.port()));
        return server.scriptDone() && server.arrivalsMs.back() > server.arrivalsMs[kHeld - 1] + 6000;
    }, 60000);
    kelmora->terminate();
    kelmora->waitForFinished(10000);
    const QStringList console = consoleLines(kelmora->readAllStandardOutput());
    ASSERT_TRUE(done) << console.join(u'\n').right(3000).toStdString();

    EXPECT_EQ(console.filter(QStringLiteral("Peticion abandonada")).size(), kHeld);
    EXPECT_LE(mostOpen, 1) << "connections of abandoned polls stayed open";
    EXPECT_GE(mostOpen, 1) << "the count never saw the poll under way";
    // Each poll reached the server once, and the abandoned ones did not hold the later ones up.
    const qsizetype polls = console.count(QStringLiteral("Peticion HTTP: "));
    EXPECT_GE(static_cast<qsizetype>(server.arrivalsMs.size()), polls - 1);
    EXPECT_LE(static_cast<qsizetype>(server.arrivalsMs.size()), polls);
    for (int i = 1; i <= kHeld; ++i) {
        EXPECT_LE(server.arrivalsMs[i] - server.arrivalsMs[i - 1], kLimitMs + kIntervalMs + 1500) << "poll " << i;
    }

    QStringList expected;
    for (const QString& round : {QStringLiteral("R1"), QStringLiteral("R2"), QStringLiteral("R3")}) {
        expected << QStringLiteral("Cocina %1-%2a").arg(mark, round) << QStringLiteral("Bar %1-%2b").arg(mark, round);
    }
    EXPECT_EQ(printed.waitForDocumentsWith(mark, expected.size()), expected);
}

// Runs kelmora to its end; its exit status and standard error.
std::pair<int, QString> runToTheEnd(const QStringList& arguments, const QString& folder) {
    auto kelmora = newKelmora(arguments, folder);
    kelmora->start();
    if (!kelmora->waitForFinished(30000)) {
        kelmora->kill();
        kelmora->waitForFinished();
        return {-1, QStringLiteral("did not end")};
    }
    return {kelmora->exitStatus() == QProcess::NormalExit ? kelmora->exitCode() : -1,
            QString::fromUtf8(kelmora->readAllStandardError())};
}

QByteArray readAccessFile(const QString& folder) {
    QFile f(QDir(folder).filePath(QStringLiteral("Acceso")));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TEST(ServiceStart, WithoutAValidCodeThereIsNoService) {
    QTemporaryDir folder;
    const QStringList base{QStringLiteral("--headless"), QStringLiteral("--server"), QStringLiteral("http://127.0.0.1:9"),
                           QStringLiteral("--dir"), folder.path()};
    auto [status, errors] = runToTheEnd(base, folder.path());
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(errors.contains(QStringLiteral("Falta el codigo de sucursal"))) << errors.toStdString();
    EXPECT_TRUE(errors.contains(QStringLiteral("--codigo"))) << errors.toStdString();

    std::tie(status, errors) = runToTheEnd(base + QStringList{QStringLiteral("--codigo"), QStringLiteral("12345")},
                                           folder.path());
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(errors.contains(QStringLiteral("\"12345\" no es valido"))) << errors.toStdString();
    EXPECT_EQ(readAccessFile(folder.path()), QByteArray("<missing>"));

    EXPECT_TRUE(errors.contains(QStringLiteral("tiene 5 caracteres y necesita al menos 15"))) << errors.toStdString();

    // A stored code that fails the rule is no better, and the message says which part.
    QFile accessFile(QDir(folder.path()).filePath(QStringLiteral("Acceso")));
    ASSERT_TRUE(accessFile.open(QIODevice::WriteOnly));
    accessFile.write("12345678901234A\r\n");
    accessFile.close();
    std::tie(status, errors) = runToTheEnd(base, folder.path());
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(errors.contains(QStringLiteral("el carácter 15 («A») no es un dígito"))) << errors.toStdString();

    std::tie(status, errors) = runToTheEnd({QStringLiteral("--headless"), QStringLiteral("--server"),
                                            QStringLiteral("ftp://x")},
                                           folder.path());
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(errors.contains(QStringLiteral("--server"))) << errors.toStdString();
}

// The console lines of a headless service run until `until` holds or `ms` pass.
QStringList runUntil(const QStringList& arguments, const QString& folder, const std::function<bool()>& until,
                     int ms = 20000) {
    auto kelmora = newKelmora(arguments, folder);
    kelmora->start();
    (void)QTest::qWaitFor(until, ms);
    kelmora->terminate();
    kelmora->waitForFinished(10000);
    return consoleLines(kelmora->readAllStandardOutput());
}

TEST(ServiceStart, TheServerComesFromTheCommandLineElseTheSettingsFileElseTheBuild) {
    FakeCentralServer server({});
    ASSERT_TRUE(server.listening());
    QTemporaryDir folder;
    const auto writeSettings = [&](const QByteArray& text) {
        QFile ini(QDir(folder.path()).filePath(QStringLiteral("kelmora.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(text);
    };
    const QStringList base{QStringLiteral("--headless"), QStringLiteral("--verbose"), QStringLiteral("--dir"),
                           folder.path(), QStringLiteral("--codigo"), kCode, QStringLiteral("--print-to"),
                           folder.filePath(QStringLiteral("printed"))};
    const QString pollPath = QStringLiteral("/?r=servicio/getImpresiones&idSyA=") + kCode;

    // The file's address when the command line gives none.
    writeSettings("[General]\nservidor=" + server.url().toLatin1() + "\n");
    QStringList console = runUntil(base, folder.path(), [&] { return !server.routes.isEmpty(); });
    EXPECT_FALSE(server.routes.isEmpty());
    EXPECT_TRUE(console.contains(server.url() + pollPath));

    // The command line wins over the file.
    writeSettings("[General]\nservidor=http://127.0.0.1:9\n");
    const qsizetype before = server.routes.size();
    console = runUntil(base + QStringList{QStringLiteral("--server"), server.url()}, folder.path(),
                       [&] { return server.routes.size() > before; });
    EXPECT_GT(server.routes.size(), before);
    EXPECT_TRUE(console.contains(server.url() + pollPath));

    // A bad address in the file is named once and the built-in one is used.
    writeSettings("[General]\nservidor=ftp://x\n");
    // Long enough for the first poll, which comes 1.5 s after the start.
    console = runUntil(base, folder.path(), [] { return false; }, 4000);
    EXPECT_EQ(console.filter(QStringLiteral("servidor=ftp://x")),
              QStringList{QStringLiteral("Ajuste no válido en kelmora.ini, [General] servidor=ftp://x: se usa ") +
                          QStringLiteral(KELMORA_DEFAULT_SERVER)});
    EXPECT_TRUE(console.contains(QStringLiteral(KELMORA_DEFAULT_SERVER) + pollPath));
}

TEST(ServiceStart, StartsStoresTheCodeAndRefusesASecondInstance) {
    FakeCentralServer server({});
    ASSERT_TRUE(server.listening());
    QTemporaryDir folder;
    const QStringList arguments{QStringLiteral("--headless"), QStringLiteral("--verbose"), QStringLiteral("--server"),
                                server.url(), QStringLiteral("--dir"), folder.path(), QStringLiteral("--print-to"),
                                folder.filePath(QStringLiteral("impresiones"))};
    auto first = newKelmora(arguments + QStringList{QStringLiteral("--codigo"), kCode}, folder.path());
    QElapsedTimer clock;
    clock.start();
    first->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.routes.isEmpty(); }, 20000));
    const qint64 firstPollMs = clock.elapsed();
    EXPECT_EQ(readAccessFile(folder.path()), kCode.toLatin1() + "\r\n");

    // The same program folder: refused, and the first one keeps polling.
    auto [status, errors] = runToTheEnd(arguments, folder.path());
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(errors.contains(QStringLiteral("La Aplicación ya esta en ejecución"))) << errors.toStdString();
    const qsizetype polls = server.routes.size();
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.routes.size() > polls; }, 10000));

    // The same branch from another folder, its code pasted with blanks: refused too, naming the
    // process that polls it and its folder.
    QTemporaryDir other;
    const QStringList elsewhere{QStringLiteral("--headless"), QStringLiteral("--server"), server.url(),
                                QStringLiteral("--dir"), other.path(), QStringLiteral("--print-to"),
                                other.filePath(QStringLiteral("impresiones")), QStringLiteral("--codigo"),
                                u' ' + kCode + u' '};
    std::tie(status, errors) = runToTheEnd(elsewhere, folder.path());
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(errors.contains(QStringLiteral("Esta sucursal ya se consulta en esta máquina (proceso %1 ")
                                    .arg(first->processId())))
        << errors.toStdString();
    EXPECT_TRUE(errors.contains(QStringLiteral("carpeta ") + QFileInfo(folder.path()).canonicalFilePath()))
        << errors.toStdString();
    EXPECT_EQ(readAccessFile(other.path()), kCode.toLatin1() + "\r\n");

    // A poller that died leaves no lock behind: the other folder polls the branch now.
    first->kill();
    first->waitForFinished(10000);
    auto second = newKelmora(elsewhere, folder.path());
    second->start();
    const qsizetype before = server.routes.size();
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.routes.size() > before; }, 20000));
    second->terminate();
    second->waitForFinished(10000);

    const QStringList console = consoleLines(first->readAllStandardOutput());
    ASSERT_GE(console.size(), 6);
    EXPECT_EQ(console.mid(0, 6), (QStringList{QStringLiteral("Icono: Kelmora Tavrel"),
                                             QStringLiteral("Icono [desconectado]: Conectando"),
                                             QStringLiteral("Globo [informacion] Sistema de impresora: Sistema "
                                                            "funcionando correctamente"),
                                             QStringLiteral("Peticion HTTP: "), QStringLiteral("--"),
                                             server.url() + QStringLiteral("/?r=servicio/getImpresiones&idSyA=") +
                                                 kCode}));
    // The first poll waits one timer interval.
    EXPECT_GE(firstPollMs, 1500);
}

// systemd's side of Type=notify, played by the test: a datagram socket the service reports to.
class FakeServiceManager {
public:
    explicit FakeServiceManager(const QString& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(), std::min<size_t>(name.size(), sizeof address.sun_path - 1));
        bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~FakeServiceManager() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool bound() const { return bound_; }

    // The messages that arrive within `ms`.
    QStringList receive(int ms) {
        QStringList messages;
        QElapsedTimer clock;
        clock.start();
        for (qint64 left = ms; left > 0; left = ms - clock.elapsed()) {
            pollfd waiting{fd_, POLLIN, 0};
            if (::poll(&waiting, 1, static_cast<int>(left)) <= 0) break;
            char buffer[512];
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got > 0) messages.append(QString::fromUtf8(buffer, got));
        }
        return messages;
    }

private:
    QString path_;
    int fd_ = -1;
    bool bound_ = false;
};

TEST(ServiceUnderSystemd, SaysItIsReadyAndStaysAliveOnlyWhileItsLoopRuns) {
    FakeCentralServer server({});
    ASSERT_TRUE(server.listening());
    QTemporaryDir folder;
    FakeServiceManager manager(folder.filePath(QStringLiteral("notify")));
    ASSERT_TRUE(manager.bound());
    auto kelmora = newKelmora({QStringLiteral("--headless"), QStringLiteral("--server"), server.url(),
                               QStringLiteral("--dir"), folder.path(), QStringLiteral("--print-to"),
                               folder.filePath(QStringLiteral("impresiones")), QStringLiteral("--codigo"), kCode},
                              folder.path());
    QProcessEnvironment environment = kelmora->processEnvironment();
    environment.insert(QStringLiteral("NOTIFY_SOCKET"), folder.filePath(QStringLiteral("notify")));
    environment.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("3000000"));  // WatchdogSec=3
    kelmora->setProcessEnvironment(environment);
    kelmora->start();
    ASSERT_TRUE(kelmora->waitForStarted(10000));

    const QStringList started = manager.receive(8000);
    ASSERT_FALSE(started.isEmpty());
    EXPECT_TRUE(started.first().startsWith(QStringLiteral("READY=1"))) << started.first().toStdString();
    EXPECT_GE(started.count(QStringLiteral("WATCHDOG=1")), 2) << started.join(u'|').toStdString();

    // A loop that hangs says nothing more: systemd would restart it after 3 s.
    ::kill(static_cast<pid_t>(kelmora->processId()), SIGSTOP);
    manager.receive(500);  // what was sent before it stopped
    EXPECT_TRUE(manager.receive(4000).isEmpty());
    ::kill(static_cast<pid_t>(kelmora->processId()), SIGCONT);
    EXPECT_TRUE(manager.receive(4000).contains(QStringLiteral("WATCHDOG=1")));
    kelmora->terminate();
    kelmora->waitForFinished(10000);
}

}  // namespace
}  // namespace kelmora::testing
