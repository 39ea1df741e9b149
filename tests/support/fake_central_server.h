#pragma once

// The central server as the end-to-end tests and the fault and soak runs in bench/ script it:
// each poll takes the next step, and once the script is done every poll gets an answer with
// nothing new. Header only: it needs Qt's HTTP server, which the service itself does not.

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

#include <functional>
#include <memory>
#include <vector>

namespace kelmora::testing {

inline const QByteArray kEmptyAnswer("00000{\"config\":[],\"comanda\":[],\"anulaciones\":[],\"factura\":[],"
                                     "\"abrirCajon\":false,\"idsLeidos\":[]}");

// Answers as the central server writes them: a kitchen ticket for a preparation area, an invoice
// of a given kind, and the whole answer with its five leading characters.
inline QByteArray kitchenTicket(const QString& area, const QString& table) {
    return QStringLiteral(R"({"area":"%1","titulo":null,"nomMesa":"Mesa %2","responsable":"Ana","nPedido":77,)"
                          R"("fecha":"2024-03-03 12:00","clienteNombre":"","codPlataforma":"",)"
                          R"("productos":[{"nombre":"Sopa del dia","cantidad":1,"valor":9000,"detalle":["Sin cilantro"]}]})")
        .arg(area, table)
        .toUtf8();
}

inline QByteArray invoice(const QString& table, const QString& kind) {
    return QStringLiteral(R"({"idFactura":1,"mesa":5,"tipoCuenta":"%2","idFacturaCuenta":61,"nomMesa":"Mesa %1",)"
                          R"("fechaFactura":"2024-03-03","horaFactura":"12:30","vendedor":"Ana",)"
                          R"("pedido":[{"NombreProducto":"Sopa del dia","Cantidad":2,"Valor":18000,"Detalle":""}],)"
                          R"("descuento":0,"DescuentoIndividual":0,"totalPagar":18000,"cuentaCerrada":false,)"
                          R"("mediosPago":[],"totalPagado":0,"totalPagadoPropina":0,"pagoEfectivo":0,"cambioEfectivo":0,)"
                          R"("tipoMesa":"MESA","cliente":null,"propinaSugerida":1800,"CntGroupon":0,"impuestos":[],)"
                          R"("pieFactura":"","permanencia":20,"nPersonas":2,"fechaLimitePago":""})")
        .arg(table, kind)
        .toUtf8();
}

inline QByteArray answer(const QByteArrayList& tickets, const QByteArrayList& cancellations, const QByteArrayList& invoices,
                         bool drawer) {
    return "12345{\"config\":[{\"Nombre\":\"Tama\\u00f1o de Factura\",\"Descripcion\":\"rollo 75mm\",\"Visible\":\"1\"}],"
           "\"comanda\":[" + tickets.join(',') + "],\"anulaciones\":[" + cancellations.join(',') +
           "],\"factura\":[" + invoices.join(',') + "],\"abrirCajon\":" + (drawer ? "true" : "false") +
           ",\"idsLeidos\":[77]}";
}

class FakeCentralServer {
public:
    struct Step {
        enum class Kind {
            Answer,    // body, 200
            Slow,      // body after delayMs
            Error500,  // body as an HTML page with status 500
            Close,     // the connection is closed with no answer
            Huge,      // a body one byte over 32 MiB
            CutBody,   // the headers promise body whole; half of it comes and the connection is reset
            Down,      // the server goes away for delayMs (connections refused), then listens again
            Held,      // no answer: the connection is held open for delayMs, then closed
        } kind;
        QByteArray body;
        int delayMs = 0;
        // Run just before the step is served (a printer taken away, a file broken).
        std::function<void()> before = {};
    };

    explicit FakeCentralServer(std::vector<Step> script, quint16 port = 0) : script_(std::move(script)) {
        http_.route(QStringLiteral("/"), [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            const QUrlQuery query(request.url());
            arrivalsMs.push_back(clock_.elapsed());
            routes.append(query.queryItemValue(QStringLiteral("r")));
            codes.append(query.queryItemValue(QStringLiteral("idSyA")));
            connections_.removeIf([](const QPointer<QTcpSocket>& c) { return c.isNull(); });
            connections_.append(QPointer<QTcpSocket>(responder.socket()));
            serve(std::move(responder));
        });
        port_ = http_.listen(QHostAddress::LocalHost, port);
        clock_.start();
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }
    quint16 port() const { return port_; }
    bool listening() const { return port_ != 0; }
    // The poll after the last step came: the service handled every answer of the script.
    bool scriptDone() const { return polls_ > script_.size(); }
    std::size_t polls() const { return polls_; }
    // The answer to every poll after the script; the empty answer unless changed.
    void setFinalAnswer(QByteArray body) { finalAnswer_ = std::move(body); }
    // Told of every answer written, with its poll number (0 is the first).
    std::function<void(std::size_t)> onAnswer;

    QStringList routes;
    QStringList codes;
    std::vector<qint64> arrivalsMs;  // when each request came, from the server's start

private:
    void serve(QHttpServerResponder&& responder) {
        const std::size_t n = polls_++;
        if (n >= script_.size()) {
            write(n, responder, finalAnswer_);
            return;
        }
        const Step& step = script_[n];
        if (step.before) step.before();
        switch (step.kind) {
        case Step::Kind::Answer:
            write(n, responder, step.body);
            return;
        case Step::Kind::Slow: {
            // A client that gave up has closed the connection, and the server deleted its socket.
            QPointer<QTcpSocket> connection(responder.socket());
            auto pending = std::make_shared<QHttpServerResponder>(std::move(responder));
            QTimer::singleShot(step.delayMs, [this, n, connection, pending, body = step.body] {
                if (connection) write(n, *pending, body);
            });
            return;
        }
        case Step::Kind::Error500:
            responder.write(step.body, "text/html", QHttpServerResponder::StatusCode::InternalServerError);
            return;
        case Step::Kind::Close:
            responder.socket()->abort();
            return;
        case Step::Kind::Huge:
            responder.write(QByteArray("00000") + QByteArray(32 * 1024 * 1024 + 1, ' '), "text/plain");
            return;
        case Step::Kind::CutBody: {
            responder.writeStatusLine();
            responder.writeHeader("Content-Type", "text/plain; charset=utf-8");
            responder.writeHeader("Content-Length", QByteArray::number(step.body.size()));
            responder.writeBody(step.body.left(step.body.size() / 2));
            QPointer<QTcpSocket> connection(responder.socket());
            connection->flush();
            QTimer::singleShot(50, [connection] {
                if (connection) connection->abort();
            });
            return;
        }
        case Step::Kind::Down:
            goDown(step.delayMs);
            return;
        case Step::Kind::Held: {
            // The client may close it first; the server then deletes the socket.
            QPointer<QTcpSocket> connection(responder.socket());
            auto held = std::make_shared<QHttpServerResponder>(std::move(responder));
            QTimer::singleShot(step.delayMs, [connection, held] {
                if (connection) connection->abort();
            });
            return;
        }
        }
    }

    void write(std::size_t n, QHttpServerResponder& responder, const QByteArray& body) {
        responder.write(body, "text/plain; charset=utf-8");
        if (onAnswer) onAnswer(n);
    }

    // No listener and no open connection (a kept-alive one would go on working) until it is back.
    void goDown(int ms) {
        for (const QPointer<QTcpSocket>& c : connections_) {
            if (c) c->abort();
        }
        connections_.clear();
        for (QTcpServer* s : http_.servers()) s->close();
        QTimer::singleShot(ms, [this] {
            for (QTcpServer* s : http_.servers()) s->listen(QHostAddress::LocalHost, port_);
        });
    }

    std::vector<Step> script_;
    std::size_t polls_ = 0;
    QByteArray finalAnswer_ = kEmptyAnswer;
    QElapsedTimer clock_;
    QList<QPointer<QTcpSocket>> connections_;
    QHttpServer http_;
    quint16 port_ = 0;
};

}  // namespace kelmora::testing
