#include "servidor_demo.h"

#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QUrlQuery>

namespace kelmora::app {

namespace {

const QString kNadaNuevo = QStringLiteral(
    R"({"config":[],"comanda":[],"anulaciones":[],"factura":[],"abrirCajon":false,"idsLeidos":[]})");

}  // namespace

ServidorDemo::ServidorDemo(QString codigoSucursal, QStringList respuestas)
    : codigo_(std::move(codigoSucursal)), respuestas_(std::move(respuestas)) {
    http_.route(QStringLiteral("/"), [this](const QHttpServerRequest& pedido) {
        const QUrlQuery consulta(pedido.url());
        const QString cuerpo =
            responder(consulta.queryItemValue(QStringLiteral("r")), consulta.queryItemValue(QStringLiteral("idSyA")));
        if (cuerpo.isEmpty()) return QHttpServerResponse(QHttpServerResponse::StatusCode::NotFound);
        return QHttpServerResponse("text/plain; charset=utf-8", cuerpo.toUtf8());
    });
}

bool ServidorDemo::escuchar() {
    puerto_ = http_.listen(QHostAddress::LocalHost, 0);
    return puerto_ != 0;
}

QString ServidorDemo::url() const { return QStringLiteral("http://127.0.0.1:%1").arg(puerto_); }

QString ServidorDemo::responder(const QString& ruta, const QString& codigo) {
    if (ruta != u"servicio/getImpresiones" || codigo != codigo_) return {};
    QString payload = kNadaNuevo;
    if (entregadas_ < respuestas_.size()) {
        payload = respuestas_[entregadas_];
    } else if (!rondaTerminada_) {
        rondaTerminada_ = true;
        if (alTerminarRonda) alTerminarRonda();
    }
    ++entregadas_;
    // The five leading characters: the answer's number.
    return QStringLiteral("%1").arg(entregadas_ % 100000, 5, 10, QLatin1Char('0')) + payload;
}

}  // namespace kelmora::app
