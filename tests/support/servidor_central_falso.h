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

inline const QByteArray kRespuestaVacia("00000{\"config\":[],\"comanda\":[],\"anulaciones\":[],\"factura\":[],"
                                        "\"abrirCajon\":false,\"idsLeidos\":[]}");

// Answers as the central server writes them: a kitchen ticket for a preparation area, an invoice
// of a given kind, and the whole answer with its five leading characters.
inline QByteArray comanda(const QString& area, const QString& mesa) {
    return QStringLiteral(R"({"area":"%1","titulo":null,"nomMesa":"Mesa %2","responsable":"Ana","nPedido":77,)"
                          R"("fecha":"2024-03-03 12:00","clienteNombre":"","codPlataforma":"",)"
                          R"("productos":[{"nombre":"Sopa del dia","cantidad":1,"valor":9000,"detalle":["Sin cilantro"]}]})")
        .arg(area, mesa)
        .toUtf8();
}

inline QByteArray factura(const QString& mesa, const QString& tipo) {
    return QStringLiteral(R"({"idFactura":1,"mesa":5,"tipoCuenta":"%2","idFacturaCuenta":61,"nomMesa":"Mesa %1",)"
                          R"("fechaFactura":"2024-03-03","horaFactura":"12:30","vendedor":"Ana",)"
                          R"("pedido":[{"NombreProducto":"Sopa del dia","Cantidad":2,"Valor":18000,"Detalle":""}],)"
                          R"("descuento":0,"DescuentoIndividual":0,"totalPagar":18000,"cuentaCerrada":false,)"
                          R"("mediosPago":[],"totalPagado":0,"totalPagadoPropina":0,"pagoEfectivo":0,"cambioEfectivo":0,)"
                          R"("tipoMesa":"MESA","cliente":null,"propinaSugerida":1800,"CntGroupon":0,"impuestos":[],)"
                          R"("pieFactura":"","permanencia":20,"nPersonas":2,"fechaLimitePago":""})")
        .arg(mesa, tipo)
        .toUtf8();
}

inline QByteArray respuesta(const QByteArrayList& comandas, const QByteArrayList& anulaciones, const QByteArrayList& facturas,
                     bool cajon) {
    return "12345{\"config\":[{\"Nombre\":\"Tama\\u00f1o de Factura\",\"Descripcion\":\"rollo 75mm\",\"Visible\":\"1\"}],"
           "\"comanda\":[" + comandas.join(',') + "],\"anulaciones\":[" + anulaciones.join(',') +
           "],\"factura\":[" + facturas.join(',') + "],\"abrirCajon\":" + (cajon ? "true" : "false") +
           ",\"idsLeidos\":[77]}";
}

class ServidorCentralFalso {
public:
    struct Paso {
        enum class Tipo {
            Respuesta,    // cuerpo, 200
            Lenta,        // cuerpo after demoraMs
            Error500,     // cuerpo as an HTML page with status 500
            Cerrar,       // the connection is closed with no answer
            Enorme,       // a body one byte over 32 MiB
            CortarCuerpo, // the headers promise cuerpo whole; half of it comes and the connection is reset
            Caida,        // the server goes away for demoraMs (connections refused), then listens again
            Retenida,     // no answer: the connection is held open for demoraMs, then closed
        } tipo;
        QByteArray cuerpo;
        int demoraMs = 0;
        // Run just before the step is served (a printer taken away, a file broken).
        std::function<void()> antes = {};
    };

    explicit ServidorCentralFalso(std::vector<Paso> guion, quint16 puerto = 0) : guion_(std::move(guion)) {
        http_.route(QStringLiteral("/"), [this](const QHttpServerRequest& pedido, QHttpServerResponder&& respuesta) {
            const QUrlQuery consulta(pedido.url());
            llegadasMs.push_back(reloj_.elapsed());
            rutas.append(consulta.queryItemValue(QStringLiteral("r")));
            codigos.append(consulta.queryItemValue(QStringLiteral("idSyA")));
            conexiones_.removeIf([](const QPointer<QTcpSocket>& c) { return c.isNull(); });
            conexiones_.append(QPointer<QTcpSocket>(respuesta.socket()));
            atender(std::move(respuesta));
        });
        puerto_ = http_.listen(QHostAddress::LocalHost, puerto);
        reloj_.start();
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(puerto_); }
    quint16 puerto() const { return puerto_; }
    bool escuchando() const { return puerto_ != 0; }
    // The poll after the last step came: the service handled every answer of the script.
    bool guionAtendido() const { return consultas_ > guion_.size(); }
    std::size_t consultas() const { return consultas_; }
    // The answer to every poll after the script; the empty answer unless changed.
    void setRespuestaFinal(QByteArray cuerpo) { final_ = std::move(cuerpo); }
    // Told of every answer written, with its poll number (0 is the first).
    std::function<void(std::size_t)> alResponder;

    QStringList rutas;
    QStringList codigos;
    std::vector<qint64> llegadasMs;  // when each request came, from the server's start

private:
    void atender(QHttpServerResponder&& respuesta) {
        const std::size_t n = consultas_++;
        if (n >= guion_.size()) {
            escribir(n, respuesta, final_);
            return;
        }
        const Paso& paso = guion_[n];
        if (paso.antes) paso.antes();
        switch (paso.tipo) {
        case Paso::Tipo::Respuesta:
            escribir(n, respuesta, paso.cuerpo);
            return;
        case Paso::Tipo::Lenta: {
            // A client that gave up has closed the connection, and the server deleted its socket.
            QPointer<QTcpSocket> conexion(respuesta.socket());
            auto pendiente = std::make_shared<QHttpServerResponder>(std::move(respuesta));
            QTimer::singleShot(paso.demoraMs, [this, n, conexion, pendiente, cuerpo = paso.cuerpo] {
                if (conexion) escribir(n, *pendiente, cuerpo);
            });
            return;
        }
        case Paso::Tipo::Error500:
            respuesta.write(paso.cuerpo, "text/html", QHttpServerResponder::StatusCode::InternalServerError);
            return;
        case Paso::Tipo::Cerrar:
            respuesta.socket()->abort();
            return;
        case Paso::Tipo::Enorme:
            respuesta.write(QByteArray("00000") + QByteArray(32 * 1024 * 1024 + 1, ' '), "text/plain");
            return;
        case Paso::Tipo::CortarCuerpo: {
            respuesta.writeStatusLine();
            respuesta.writeHeader("Content-Type", "text/plain; charset=utf-8");
            respuesta.writeHeader("Content-Length", QByteArray::number(paso.cuerpo.size()));
            respuesta.writeBody(paso.cuerpo.left(paso.cuerpo.size() / 2));
            QPointer<QTcpSocket> conexion(respuesta.socket());
            conexion->flush();
            QTimer::singleShot(50, [conexion] {
                if (conexion) conexion->abort();
            });
            return;
        }
        case Paso::Tipo::Caida:
            caer(paso.demoraMs);
            return;
        case Paso::Tipo::Retenida: {
            // The client may close it first; the server then deletes the socket.
            QPointer<QTcpSocket> conexion(respuesta.socket());
            auto retenida = std::make_shared<QHttpServerResponder>(std::move(respuesta));
            QTimer::singleShot(paso.demoraMs, [conexion, retenida] {
                if (conexion) conexion->abort();
            });
            return;
        }
        }
    }

    void escribir(std::size_t n, QHttpServerResponder& respuesta, const QByteArray& cuerpo) {
        respuesta.write(cuerpo, "text/plain; charset=utf-8");
        if (alResponder) alResponder(n);
    }

    // No listener and no open connection (a kept-alive one would go on working) until it is back.
    void caer(int ms) {
        for (const QPointer<QTcpSocket>& c : conexiones_) {
            if (c) c->abort();
        }
        conexiones_.clear();
        for (QTcpServer* s : http_.servers()) s->close();
        QTimer::singleShot(ms, [this] {
            for (QTcpServer* s : http_.servers()) s->listen(QHostAddress::LocalHost, puerto_);
        });
    }

    std::vector<Paso> guion_;
    std::size_t consultas_ = 0;
    QByteArray final_ = kRespuestaVacia;
    QElapsedTimer reloj_;
    QList<QPointer<QTcpSocket>> conexiones_;
    QHttpServer http_;
    quint16 puerto_ = 0;
};

}  // namespace kelmora::testing
