#include "platform/net/network_page_loader.h"

#include "support/core_application.h"
#include "support/test_support.h"

#include <QCoreApplication>
#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QHttpServer>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace kelmora::platform {
namespace {

TEST(DecodeBody, CharsetNamedByTheResponse) {
    const QByteArray latin = "Caf\xe9 \x80";
    EXPECT_EQ(NetworkPageLoader::decodeBody(latin, "text/html; charset=windows-1252"), QStringLiteral("Café €"));
    EXPECT_EQ(NetworkPageLoader::decodeBody(latin, "text/html;charset=\"ISO-8859-1\""), QStringLiteral("Café \u0080"));
    EXPECT_EQ(NetworkPageLoader::decodeBody("Caf\xc3\xa9", "text/plain"), QStringLiteral("Café"));
    EXPECT_EQ(NetworkPageLoader::decodeBody("Caf\xc3\xa9", ""), QStringLiteral("Café"));
    EXPECT_EQ(NetworkPageLoader::decodeBody("Caf\xc3\xa9", "text/plain; charset=no-such-set"), QStringLiteral("Café"));
    EXPECT_EQ(NetworkPageLoader::decodeBody("\xef\xbb\xbfxxxxx{}", "application/json; charset=utf-8"),
              QStringLiteral("xxxxx{}"));
}

// What the loader reported for one fetch.
struct Outcome {
    QStringList status;
    std::optional<QString> body;
    std::optional<std::pair<PageLoader::Failure, QString>> failure;
    bool ended() const { return body || failure; }
};

struct Fetch {
    NetworkPageLoader loader;
    Outcome outcome;
    int events = 0;

    Fetch() {
        loader.setEvents(PageLoader::Events{
            [this](const QString& t) { outcome.status.append(t); },
            [this](const QString& b) {
                ++events;
                outcome.body = b;
            },
            [this](PageLoader::Failure f, const QString& d) {
                ++events;
                outcome.failure = std::make_pair(f, d);
            },
        });
    }
    Outcome run(const QUrl& url, qint64 maxBytes = 1 << 20) {
        outcome = {};
        loader.start(url, maxBytes);
        EXPECT_TRUE(QTest::qWaitFor([this] { return outcome.ended(); }, 10000)) << url.toString().toStdString();
        return outcome;
    }
};

struct Servidor {
    QHttpServer http;
    quint16 port = 0;
    Servidor() = default;
    // TLS, when wanted, must be set up before the server listens.
    explicit Servidor(const QSslCertificate& cert, const QSslKey& key) { http.sslSetup(cert, key); }
    void listen() { port = http.listen(QHostAddress::LocalHost, 0); }
    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path));
    }
};

TEST(NetworkPageLoader, AnyHttpStatusBringsItsBody) {
    Servidor s;
    s.http.route("/ok", [] {
        return QHttpServerResponse("text/plain; charset=windows-1252", QByteArray("xxxxx{\"a\":\"\xf1\"}"));
    });
    s.http.route("/error", [] {
        return QHttpServerResponse("text/html", QByteArray("<h1>Error</h1>"),
                                   QHttpServerResponse::StatusCode::InternalServerError);
    });
    s.http.route("/empty", [] { return QHttpServerResponse(QHttpServerResponse::StatusCode::Ok); });
    s.listen();
    ASSERT_NE(s.port, 0);
    Fetch f;
    Outcome ok = f.run(s.url(QStringLiteral("/ok")));
    EXPECT_EQ(ok.body, QStringLiteral("xxxxx{\"a\":\"ñ\"}"));
    EXPECT_EQ(ok.status, QStringList{QStringLiteral("HTTP 200 OK")});
    Outcome error = f.run(s.url(QStringLiteral("/error")));
    EXPECT_EQ(error.body, QStringLiteral("<h1>Error</h1>"));
    EXPECT_EQ(error.status, QStringList{QStringLiteral("HTTP 500 Internal Server Error")});
    EXPECT_EQ(f.run(s.url(QStringLiteral("/empty"))).body, QString());
    EXPECT_EQ(f.events, 3);
}

TEST(NetworkPageLoader, BodyPastTheLimitIsDropped) {
    Servidor s;
    const QByteArray grande(5000, 'x');
    s.http.route("/grande", [&] { return QHttpServerResponse("text/plain", grande); });
    // Sent in pieces without announcing its length: the count is made as the body comes in.
    s.http.route("/trozos", [&](QHttpServerResponder&& r) {
        r.writeStatusLine();
        r.writeHeader("Content-Type", "text/plain");
        r.writeHeader("Connection", "close");
        r.writeBody(grande);
        r.socket()->disconnectFromHost();
    });
    s.listen();
    Fetch f;
    for (const QString& path : {QStringLiteral("/grande"), QStringLiteral("/trozos")}) {
        Outcome o = f.run(s.url(path), 4999);
        ASSERT_TRUE(o.failure) << path.toStdString();
        EXPECT_EQ(o.failure->first, PageLoader::Failure::TooLarge);
        EXPECT_FALSE(o.body);
    }
    EXPECT_EQ(f.run(s.url(QStringLiteral("/grande")), 5000).body->size(), 5000);
}

TEST(NetworkPageLoader, NoAnswerIsATransportFailureAndTheRequestIsNotSentAgain) {
    // A server that reads each request and hangs up without a word.
    QTcpServer cuelga;
    ASSERT_TRUE(cuelga.listen(QHostAddress::LocalHost, 0));
    int pedidos = 0;
    QObject::connect(&cuelga, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = cuelga.nextPendingConnection()) {
            QObject::connect(s, &QTcpSocket::readyRead, s, [s, &pedidos] {
                if (s->readAll().contains("\r\n\r\n")) ++pedidos;
                s->close();
                s->deleteLater();
            });
        }
    });
    Fetch f;
    Outcome cerrado = f.run(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(cuelga.serverPort())));
    ASSERT_TRUE(cerrado.failure);
    EXPECT_EQ(cerrado.failure->first, PageLoader::Failure::Transport);
    EXPECT_FALSE(cerrado.failure->second.isEmpty());
    // A server may have acted on a request it did not answer: it is never sent a second time.
    QTest::qWait(300);
    EXPECT_EQ(pedidos, 1);

    const quint16 libre = cuelga.serverPort();
    cuelga.close();
    Outcome rechazado = f.run(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(libre)));
    ASSERT_TRUE(rechazado.failure);
    EXPECT_EQ(rechazado.failure->first, PageLoader::Failure::Transport);
}

TEST(NetworkPageLoader, HttpsChecksTheCertificate) {
    QFile certificado(testing::dataPath(QStringLiteral("net/servidor-prueba.crt")));
    QFile clave(testing::dataPath(QStringLiteral("net/servidor-prueba.key")));
    ASSERT_TRUE(certificado.open(QIODevice::ReadOnly) && clave.open(QIODevice::ReadOnly));
    const QSslCertificate cert(&certificado, QSsl::Pem);
    ASSERT_FALSE(cert.isNull());
    Servidor s(cert, QSslKey(&clave, QSsl::Rsa, QSsl::Pem));
    s.http.route("/", [] { return QHttpServerResponse("text/plain", QByteArray("xxxxx{}")); });
    Servidor plano;
    plano.http.route("/", [] { return QHttpServerResponse("text/plain", QByteArray("plano")); });
    plano.listen();
    s.http.route("/a-plano", [&] {
        QHttpServerResponse r(QHttpServerResponse::StatusCode::Found);
        r.setHeader("Location", plano.url(QStringLiteral("/")).toString().toLatin1());
        return r;
    });
    s.listen();
    const QUrl url(QStringLiteral("https://127.0.0.1:%1/").arg(s.port));

    // A certificate nobody vouches for: no page.
    Fetch noConfiable;
    Outcome o = noConfiable.run(url);
    ASSERT_TRUE(o.failure);
    EXPECT_EQ(o.failure->first, PageLoader::Failure::Transport);
    EXPECT_FALSE(o.body);

    // The same server once its certificate is trusted.
    const QSslConfiguration antes = QSslConfiguration::defaultConfiguration();
    QSslConfiguration confiando = antes;
    confiando.addCaCertificate(cert);
    QSslConfiguration::setDefaultConfiguration(confiando);
    Fetch confiable;
    const Outcome bien = confiable.run(url);
    EXPECT_EQ(bien.body, QStringLiteral("xxxxx{}")) << (bien.failure ? bien.failure->second.toStdString() : "");
    // Never from an encrypted page down to a plain one, even on the same host.
    const Outcome bajada = confiable.run(url.resolved(QUrl(QStringLiteral("/a-plano"))));
    ASSERT_TRUE(bajada.failure);
    EXPECT_EQ(bajada.failure->first, PageLoader::Failure::Redirect);
    QSslConfiguration::setDefaultConfiguration(antes);
}

TEST(NetworkPageLoader, RedirectsStayOnTheSameHost) {
    Servidor s;
    s.http.route("/destino", [] { return QHttpServerResponse("text/plain", QByteArray("destino")); });
    s.listen();
    s.http.route("/aqui", [&] {
        QHttpServerResponse r(QHttpServerResponse::StatusCode::Found);
        r.setHeader("Location", QStringLiteral("http://127.0.0.1:%1/destino").arg(s.port).toLatin1());
        return r;
    });
    s.http.route("/relativa", [] {
        QHttpServerResponse r(QHttpServerResponse::StatusCode::MovedPermanently);
        r.setHeader("Location", "/destino");
        return r;
    });
    s.http.route("/fuera", [&] {
        QHttpServerResponse r(QHttpServerResponse::StatusCode::Found);
        r.setHeader("Location", QStringLiteral("http://localhost:%1/destino").arg(s.port).toLatin1());
        return r;
    });
    Fetch f;
    EXPECT_EQ(f.run(s.url(QStringLiteral("/aqui"))).body, QStringLiteral("destino"));
    EXPECT_EQ(f.run(s.url(QStringLiteral("/relativa"))).body, QStringLiteral("destino"));
    const Outcome fuera = f.run(s.url(QStringLiteral("/fuera")));
    ASSERT_TRUE(fuera.failure);
    EXPECT_EQ(fuera.failure->first, PageLoader::Failure::Redirect);
    EXPECT_EQ(fuera.failure->second, QStringLiteral("http://localhost:%1/destino").arg(s.port));
    EXPECT_FALSE(fuera.body);
}

TEST(NetworkPageLoader, AbandonedFetchClosesItsConnection) {
    // A server that reads requests and never answers; it sees each connection the client closes.
    QTcpServer muda;
    ASSERT_TRUE(muda.listen(QHostAddress::LocalHost, 0));
    int pedidos = 0;
    int abiertas = 0;
    QObject::connect(&muda, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = muda.nextPendingConnection()) {
            ++abiertas;
            QObject::connect(s, &QTcpSocket::readyRead, s, [s, &pedidos] {
                if (s->readAll().contains("\r\n\r\n")) ++pedidos;
            });
            QObject::connect(s, &QTcpSocket::disconnected, s, [s, &abiertas] {
                --abiertas;
                s->deleteLater();
            });
        }
    });
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/").arg(muda.serverPort()));
    Fetch f;
    // More abandoned fetches than the connections Qt opens to one host at a time: each must free
    // its own for the next to go out at all.
    for (int i = 1; i <= 8; ++i) {
        f.loader.start(url, 1000);
        ASSERT_TRUE(QTest::qWaitFor([&] { return pedidos == i; }, 5000)) << "fetch " << i << " never reached the server";
        f.loader.abort();
        EXPECT_TRUE(QTest::qWaitFor([&] { return abiertas == 0; }, 5000)) << "fetch " << i << " kept its connection";
    }
    EXPECT_EQ(f.events, 0);
}

TEST(NetworkPageLoader, AbandonedFetchReportsNothing) {
    Servidor s;
    // A held answer keeps its connection; the server drops the socket once the client closes it.
    std::vector<std::pair<QPointer<QTcpSocket>, std::shared_ptr<QHttpServerResponder>>> pendientes;
    s.http.route("/lenta", [&](QHttpServerResponder&& r) {
        QPointer<QTcpSocket> conexion(r.socket());
        pendientes.emplace_back(conexion, std::make_shared<QHttpServerResponder>(std::move(r)));
    });
    s.http.route("/rapida", [] { return QHttpServerResponse("text/plain", QByteArray("rapida")); });
    s.listen();
    const auto responderTarde = [&](std::size_t i) {
        if (pendientes[i].first) pendientes[i].second->write(QByteArray("lenta"), "text/plain");
    };
    Fetch f;
    f.loader.start(s.url(QStringLiteral("/lenta")), 1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pendientes.empty(); }, 5000));
    // A new fetch abandons the slow one; the slow answer, even if it could still be sent, is never heard.
    Outcome o = f.run(s.url(QStringLiteral("/rapida")));
    EXPECT_EQ(o.body, QStringLiteral("rapida"));
    responderTarde(0);
    f.loader.start(s.url(QStringLiteral("/lenta")), 1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pendientes.size() == 2; }, 5000));
    f.loader.abort();
    responderTarde(1);
    QTest::qWait(200);
    EXPECT_EQ(f.events, 1);
}

}  // namespace
}  // namespace kelmora::platform
