#include "demo_server.h"

#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QUrlQuery>

namespace kelmora::app {

namespace {

const QString kNothingNew = QStringLiteral(
    R"({"config":[],"comanda":[],"anulaciones":[],"factura":[],"abrirCajon":false,"idsLeidos":[]})");

}  // namespace

DemoServer::DemoServer(QString branchCode, QStringList answers)
    : branchCode_(std::move(branchCode)), answers_(std::move(answers)) {
    http_.route(QStringLiteral("/"), [this](const QHttpServerRequest& request) {
        const QUrlQuery query(request.url());
        const QString body =
            answerPoll(query.queryItemValue(QStringLiteral("r")), query.queryItemValue(QStringLiteral("idSyA")));
        if (body.isEmpty()) return QHttpServerResponse(QHttpServerResponse::StatusCode::NotFound);
        return QHttpServerResponse("text/plain; charset=utf-8", body.toUtf8());
    });
}

bool DemoServer::listen() {
    port_ = http_.listen(QHostAddress::LocalHost, 0);
    return port_ != 0;
}

QString DemoServer::url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }

QString DemoServer::answerPoll(const QString& path, const QString& code) {
    if (path != u"servicio/getImpresiones" || code != branchCode_) return {};
    QString payload = kNothingNew;
    if (served_ < answers_.size()) {
        payload = answers_[served_];
    } else if (!roundDone_) {
        roundDone_ = true;
        if (onRoundDone) onRoundDone();
    }
    ++served_;
    // The five leading characters: the answer's number.
    return QStringLiteral("%1").arg(served_ % 100000, 5, 10, QLatin1Char('0')) + payload;
}

}  // namespace kelmora::app
