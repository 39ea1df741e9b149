// The real `kelmora --headless` against a fake central server scripted per poll.
#include "e2e_apoyo.h"

#include "json/json_reader.h"
#include "support/servidor_central_falso.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

const QString kCodigo = QStringLiteral("A12345678901234");

bool contieneSecuencia(const QStringList& todo, const QStringList& parte) {
    for (qsizetype i = 0; i + parte.size() <= todo.size(); ++i) {
        if (todo.mid(i, parte.size()) == parte) return true;
    }
    return false;
}

// The reader's error text as the console shows it, one line each.
QStringList erroresDe(const QString& texto) {
    JsonReader lector;
    lector.leerJSON(texto);
    return lector.erroresJSON().split(QRegularExpression(QStringLiteral("\\r\\n|\\r|\\n")));
}

TEST(ServicioContraServidorCentral, CadaTrabajoLlegaYLaConsolaCuentaCadaFalla) {
    const QString marca = QStringLiteral("E2E%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
    const QByteArray anulacion = QStringLiteral(R"({"area":"Cocina","nomMesa":"Mesa %1-A3",)"
                                                R"("productos":[{"nombre":"Sopa del dia","cantidad":1,"detalle":[]}]})")
                                     .arg(marca)
                                     .toUtf8();
    const QByteArray error500 = "<html><body>Internal error</body></html>";
    const QByteArray basura = "xxxxx{not json at all";
    using Tipo = ServidorCentralFalso::Paso::Tipo;
    ServidorCentralFalso servidor({
        {Tipo::Respuesta,
         respuesta({comanda(QStringLiteral("Cocina"), marca + QStringLiteral("-A1")),
                    comanda(QStringLiteral("Bar"), marca + QStringLiteral("-A2"))},
                   {anulacion}, {factura(marca + QStringLiteral("-A4"), QStringLiteral("Factura de venta"))}, true)},
        {Tipo::Lenta, respuesta({comanda(QStringLiteral("Bar"), marca + QStringLiteral("-B1"))}, {}, {}, false), 3000},
        {Tipo::Error500, error500},
        {Tipo::Respuesta, basura},
        {Tipo::Respuesta, QByteArray()},
        {Tipo::Cerrar, {}},
        {Tipo::Enorme, {}},
        {Tipo::Respuesta, respuesta({}, {}, {factura(marca + QStringLiteral("-C1"), QStringLiteral("Precuenta"))}, false)},
    });
    ASSERT_TRUE(servidor.escuchando());

    QTemporaryDir carpeta;
    Impresiones impresiones;
    QStringList argumentos{QStringLiteral("--headless"), QStringLiteral("--server"), servidor.url(),
                           QStringLiteral("--dir"), carpeta.path(), QStringLiteral("--codigo"), kCodigo};
    argumentos += impresiones.opciones();
    auto kelmora = nuevoKelmora(argumentos, carpeta.path());
    kelmora->start();
    ASSERT_TRUE(kelmora->waitForStarted());
    const bool atendido = QTest::qWaitFor([&] { return servidor.guionAtendido(); }, 120000);
    kelmora->terminate();
    kelmora->waitForFinished(10000);
    const QStringList consola = lineasConsola(kelmora->readAllStandardOutput());
    ASSERT_TRUE(atendido) << consola.join(u'\n').right(3000).toStdString()
                          << QString::fromUtf8(kelmora->readAllStandardError()).toStdString();

    // Every poll is the poll request with the branch code, shown as it is fetched.
    EXPECT_EQ(servidor.codigos.count(kCodigo), servidor.codigos.size());
    EXPECT_EQ(servidor.rutas.count(QStringLiteral("servicio/getImpresiones")), servidor.rutas.size());
    const QString url = servidor.url() + QStringLiteral("/?r=servicio/getImpresiones&idSyA=") + kCodigo;
    EXPECT_GE(consola.count(QStringLiteral("Peticion HTTP: ")), 9);
    EXPECT_EQ(consola.count(url), consola.count(QStringLiteral("Peticion HTTP: ")));

    // The slow answer was waited for, not abandoned; the faults are told and polling went on.
    EXPECT_FALSE(consola.join(u'\n').contains(QStringLiteral("Peticion abandonada")));
    EXPECT_TRUE(contieneSecuencia(consola, QStringList{QStringLiteral("-------------------------------"),
                                                       QStringLiteral("HTTP 500 Internal Server Error"),
                                                       QString::fromUtf8(error500), QStringLiteral("Respuesta: "),
                                                       QStringLiteral("--")} +
                                               erroresDe(QString::fromUtf8(error500).mid(5))));
    EXPECT_TRUE(contieneSecuencia(consola, QStringList{QString::fromUtf8(basura), QStringLiteral("Respuesta: "),
                                                       QStringLiteral("--")} +
                                               erroresDe(QString::fromUtf8(basura).mid(5))));
    EXPECT_TRUE(contieneSecuencia(
        consola, QStringList{QStringLiteral("HTTP 200 OK"), QString(), QStringLiteral("Respuesta: "), QStringLiteral("--")} +
                     erroresDe(QString())));
    EXPECT_EQ(consola.filter(QRegularExpression(QStringLiteral("^Sin respuesta del servidor: .+"))).size(), 1);
    EXPECT_EQ(consola.count(QStringLiteral("Respuesta descartada: supera el limite de 32 MiB")), 1);
    EXPECT_EQ(consola.filter(QStringLiteral("Error al procesar la respuesta")).size(), 0);

    // The balloons of the printed tickets, and the icons after each handled answer.
    EXPECT_EQ(consola.count(QStringLiteral("Globo [informacion] Impresion de comanda: Comanda enviada a Cocina")), 2);
    EXPECT_EQ(consola.count(QStringLiteral("Globo [informacion] Impresion de comanda: Comanda enviada a Bar")), 2);
    EXPECT_EQ(consola.count(QStringLiteral("Globo [informacion] Impresion de Factura: Factura enviada a Facturas")), 2);
    EXPECT_GE(consola.count(QStringLiteral("Icono [ok]: Sincronizacion satisfactoria")), 6);
    EXPECT_TRUE(contieneSecuencia(consola, {QStringLiteral("Icono [ok]: Sincronizacion satisfactoria"),
                                            QStringLiteral("Icono [conectado]: Conectado")}));

    // Every job of every answer landed on its printer, in order.
    const QStringList esperados{
        QStringLiteral("Cocina %1-A1").arg(marca),   QStringLiteral("Bar %1-A2").arg(marca),
        QStringLiteral("Cocina %1-A3").arg(marca),   QStringLiteral("Facturas %1-A4").arg(marca),
        QStringLiteral("Bar %1-B1").arg(marca),      QStringLiteral("Facturas %1-C1").arg(marca),
    };
    QStringList impresos;
    (void)QTest::qWaitFor([&] {
        impresos = impresiones.documentosCon(marca);
        return impresos.size() >= esperados.size();
    }, 30000);
    EXPECT_EQ(impresos, esperados);
    if (impresiones.enCups()) {
        EXPECT_GE(impresiones.pulsosCajon(), 1);
    } else {
        EXPECT_EQ(impresiones.pulsosCajon(), 1);
        EXPECT_EQ(impresiones.trabajos().size(), 7u);
    }
}

// The established TCP connections of this machine to a local port, from /proc/net/tcp: the
// service's own connections to the server (the server's side has the port as its local one).
int conexionesHacia(quint16 puerto) {
    QFile tabla(QStringLiteral("/proc/net/tcp"));
    if (!tabla.open(QIODevice::ReadOnly)) return -1;
    const QByteArray destino = ':' + QByteArray::number(puerto, 16).toUpper().rightJustified(4, '0');
    int n = 0;
    tabla.readLine();  // the heading
    for (QByteArray linea = tabla.readLine(); !linea.isEmpty(); linea = tabla.readLine()) {
        const QList<QByteArray> campos = linea.simplified().split(' ');
        if (campos.size() > 3 && campos[2].endsWith(destino) && campos[3] == "01") ++n;
    }
    return n;
}

TEST(ServicioContraServidorCentral, UnaConsultaAbandonadaTerminaDeVerdad) {
    // The server holds the first polls past the service's limit, then hands out rounds of jobs.
    // Each abandoned poll must close its connection, never come back as a re-sent request, and
    // leave the next polls free to reach the server.
    constexpr int kRetenidas = 8;
    constexpr int kLimiteMs = 800;
    constexpr int kIntervaloMs = 300;
    const QString marca = QStringLiteral("RET%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
    using Tipo = ServidorCentralFalso::Paso::Tipo;
    std::vector<ServidorCentralFalso::Paso> guion(kRetenidas, {Tipo::Retenida, {}, 5000});
    for (const QString& ronda : {QStringLiteral("R1"), QStringLiteral("R2"), QStringLiteral("R3")}) {
        guion.push_back({Tipo::Respuesta,
                         respuesta({comanda(QStringLiteral("Cocina"), QStringLiteral("%1-%2a").arg(marca, ronda)),
                                    comanda(QStringLiteral("Bar"), QStringLiteral("%1-%2b").arg(marca, ronda))},
                                   {}, {}, false)});
    }
    ServidorCentralFalso servidor(std::move(guion));
    ASSERT_TRUE(servidor.escuchando());

    QTemporaryDir carpeta;
    Impresiones impresiones;
    QStringList argumentos{QStringLiteral("--headless"), QStringLiteral("--server"), servidor.url(),
                           QStringLiteral("--dir"), carpeta.path(), QStringLiteral("--codigo"), kCodigo,
                           QStringLiteral("--poll-interval-ms"), QString::number(kIntervaloMs),
                           QStringLiteral("--fetch-timeout-ms"), QString::number(kLimiteMs)};
    argumentos += impresiones.opciones();
    auto kelmora = nuevoKelmora(argumentos, carpeta.path());
    kelmora->start();
    ASSERT_TRUE(kelmora->waitForStarted());
    int maximoAbiertas = 0;
    // Past the script, and long enough for every held connection to be closed by the server: a
    // request that the network layer sent again would show up by then.
    const bool atendido = QTest::qWaitFor([&] {
        maximoAbiertas = std::max(maximoAbiertas, conexionesHacia(servidor.puerto()));
        return servidor.guionAtendido() && servidor.llegadasMs.back() > servidor.llegadasMs[kRetenidas - 1] + 6000;
    }, 60000);
    kelmora->terminate();
    kelmora->waitForFinished(10000);
    const QStringList consola = lineasConsola(kelmora->readAllStandardOutput());
    ASSERT_TRUE(atendido) << consola.join(u'\n').right(3000).toStdString();

    EXPECT_EQ(consola.filter(QStringLiteral("Peticion abandonada")).size(), kRetenidas);
    EXPECT_LE(maximoAbiertas, 1) << "connections of abandoned polls stayed open";
    // Each poll reached the server once, and the abandoned ones did not hold the later ones up.
    const qsizetype consultas = consola.count(QStringLiteral("Peticion HTTP: "));
    EXPECT_GE(static_cast<qsizetype>(servidor.llegadasMs.size()), consultas - 1);
    EXPECT_LE(static_cast<qsizetype>(servidor.llegadasMs.size()), consultas);
    for (int i = 1; i <= kRetenidas; ++i) {
        EXPECT_LE(servidor.llegadasMs[i] - servidor.llegadasMs[i - 1], kLimiteMs + kIntervaloMs + 1500) << "poll " << i;
    }

    QStringList esperados;
    for (const QString& ronda : {QStringLiteral("R1"), QStringLiteral("R2"), QStringLiteral("R3")}) {
        esperados << QStringLiteral("Cocina %1-%2a").arg(marca, ronda) << QStringLiteral("Bar %1-%2b").arg(marca, ronda);
    }
    QStringList impresos;
    (void)QTest::qWaitFor([&] {
        impresos = impresiones.documentosCon(marca);
        return impresos.size() >= esperados.size();
    }, 30000);
    EXPECT_EQ(impresos, esperados);
}

// Runs kelmora to its end; its exit status and standard error.
std::pair<int, QString> hastaElFinal(const QStringList& argumentos, const QString& carpeta) {
    auto kelmora = nuevoKelmora(argumentos, carpeta);
    kelmora->start();
    if (!kelmora->waitForFinished(30000)) {
        kelmora->kill();
        kelmora->waitForFinished();
        return {-1, QStringLiteral("did not end")};
    }
    return {kelmora->exitStatus() == QProcess::NormalExit ? kelmora->exitCode() : -1,
            QString::fromUtf8(kelmora->readAllStandardError())};
}

QByteArray leerAcceso(const QString& carpeta) {
    QFile f(QDir(carpeta).filePath(QStringLiteral("Acceso")));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TEST(ArranqueServicio, SinCodigoValidoNoHayServicio) {
    QTemporaryDir carpeta;
    const QStringList base{QStringLiteral("--headless"), QStringLiteral("--server"), QStringLiteral("http://127.0.0.1:9"),
                           QStringLiteral("--dir"), carpeta.path()};
    auto [estado, errores] = hastaElFinal(base, carpeta.path());
    EXPECT_EQ(estado, 2);
    EXPECT_TRUE(errores.contains(QStringLiteral("Falta el codigo de sucursal"))) << errores.toStdString();
    EXPECT_TRUE(errores.contains(QStringLiteral("--codigo"))) << errores.toStdString();

    std::tie(estado, errores) = hastaElFinal(base + QStringList{QStringLiteral("--codigo"), QStringLiteral("12345")},
                                             carpeta.path());
    EXPECT_EQ(estado, 2);
    EXPECT_TRUE(errores.contains(QStringLiteral("\"12345\" no es valido"))) << errores.toStdString();
    EXPECT_EQ(leerAcceso(carpeta.path()), QByteArray("<missing>"));

    // A stored code that fails the rule is no better.
    QFile acceso(QDir(carpeta.path()).filePath(QStringLiteral("Acceso")));
    ASSERT_TRUE(acceso.open(QIODevice::WriteOnly));
    acceso.write("1234567890123A\r\n");
    acceso.close();
    std::tie(estado, errores) = hastaElFinal(base, carpeta.path());
    EXPECT_EQ(estado, 2);

    std::tie(estado, errores) = hastaElFinal({QStringLiteral("--headless"), QStringLiteral("--server"),
                                              QStringLiteral("ftp://x")},
                                             carpeta.path());
    EXPECT_EQ(estado, 1);
    EXPECT_TRUE(errores.contains(QStringLiteral("--server"))) << errores.toStdString();
}

TEST(ArranqueServicio, ArrancaGuardaElCodigoYNoAdmiteUnaSegundaInstancia) {
    ServidorCentralFalso servidor({});
    ASSERT_TRUE(servidor.escuchando());
    QTemporaryDir carpeta;
    const QStringList argumentos{QStringLiteral("--headless"), QStringLiteral("--server"), servidor.url(),
                                 QStringLiteral("--dir"), carpeta.path(), QStringLiteral("--print-to"),
                                 carpeta.filePath(QStringLiteral("impresiones"))};
    auto primero = nuevoKelmora(argumentos + QStringList{QStringLiteral("--codigo"), kCodigo}, carpeta.path());
    QElapsedTimer reloj;
    reloj.start();
    primero->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !servidor.rutas.isEmpty(); }, 20000));
    const qint64 primeraConsulta = reloj.elapsed();
    EXPECT_EQ(leerAcceso(carpeta.path()), kCodigo.toLatin1() + "\r\n");

    // The same program folder: refused, and the first one keeps polling.
    auto [estado, errores] = hastaElFinal(argumentos, carpeta.path());
    EXPECT_EQ(estado, 1);
    EXPECT_TRUE(errores.contains(QStringLiteral("La Aplicación ya esta en ejecución"))) << errores.toStdString();
    const qsizetype consultas = servidor.rutas.size();
    EXPECT_TRUE(QTest::qWaitFor([&] { return servidor.rutas.size() > consultas; }, 10000));

    primero->terminate();
    primero->waitForFinished(10000);
    const QStringList consola = lineasConsola(primero->readAllStandardOutput());
    ASSERT_GE(consola.size(), 6);
    EXPECT_EQ(consola.mid(0, 6), (QStringList{QStringLiteral("Icono: Kelmora Tavrel"),
                                             QStringLiteral("Icono [desconectado]: Conectando"),
                                             QStringLiteral("Globo [informacion] Sistema de impresora: Sistema "
                                                            "funcionando correctamente"),
                                             QStringLiteral("Peticion HTTP: "), QStringLiteral("--"),
                                             servidor.url() + QStringLiteral("/?r=servicio/getImpresiones&idSyA=") +
                                                 kCodigo}));
    // The first poll waits one timer interval.
    EXPECT_GE(primeraConsulta, 1500);
}

}  // namespace
}  // namespace kelmora::testing
