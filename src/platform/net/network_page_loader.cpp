#include "platform/net/network_page_loader.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStringDecoder>

namespace kelmora::platform {

namespace {

// Errors that Qt raises for an HTTP status (4xx and 5xx): the exchange itself worked.
bool isHttpStatusError(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= 201 && code <= 299) || (code >= 401 && code <= 499);
}

QString sizeText(qint64 bytes) { return QString::number(bytes) + QStringLiteral(" bytes"); }

}  // namespace

NetworkPageLoader::NetworkPageLoader() {
    network_.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

NetworkPageLoader::~NetworkPageLoader() { abort(); }

void NetworkPageLoader::start(const QUrl& url, qint64 maxBytes) {
    abort();
    maxBytes_ = maxBytes;
    body_.clear();
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Kelmora/3.0"));
    reply_ = network_.get(request);
    QObject::connect(reply_, &QNetworkReply::metaDataChanged, reply_, [this] { headersArrived(); });
    QObject::connect(reply_, &QNetworkReply::readyRead, reply_, [this] { bodyArrived(); });
    QObject::connect(reply_, &QNetworkReply::finished, reply_, [this] { finished(); });
}

void NetworkPageLoader::abort() {
    if (QNetworkReply* reply = release()) reply->abort();
    body_.clear();
}

QNetworkReply* NetworkPageLoader::release() {
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    if (reply) {
        reply->disconnect();
        reply->deleteLater();
    }
    return reply;
}

void NetworkPageLoader::headersArrived() {
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) return;
    if (events_.statusText) {
        events_.statusText(QStringLiteral("HTTP ") + QString::number(status.toInt()) + u' ' +
                           reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    }
    const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > maxBytes_) {
        fail(Failure::TooLarge, QStringLiteral("announced ") + sizeText(length.toLongLong()));
    }
}

void NetworkPageLoader::bodyArrived() {
    body_ += reply_->readAll();
    if (body_.size() > maxBytes_) fail(Failure::TooLarge, QStringLiteral("more than ") + sizeText(maxBytes_));
}

void NetworkPageLoader::finished() {
    body_ += reply_->readAll();
    if (body_.size() > maxBytes_) {
        fail(Failure::TooLarge, QStringLiteral("more than ") + sizeText(maxBytes_));
        return;
    }
    const QNetworkReply::NetworkError error = reply_->error();
    const bool answered = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (error != QNetworkReply::NoError && !(answered && isHttpStatusError(error))) {
        fail(Failure::Transport, reply_->errorString());
        return;
    }
    const QByteArray contentType = reply_->rawHeader("Content-Type");
    const QByteArray body = std::exchange(body_, {});
    release();
    if (events_.complete) events_.complete(decodeBody(body, contentType));
}

void NetworkPageLoader::fail(Failure failure, const QString& description) {
    if (QNetworkReply* reply = release()) reply->abort();
    body_.clear();
    if (events_.failed) events_.failed(failure, description);
}

QString NetworkPageLoader::decodeBody(const QByteArray& body, const QByteArray& contentType) {
    static const QRegularExpression charset(QStringLiteral(R"(;\s*charset\s*=\s*"?([^";\s]+))"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = charset.match(QString::fromLatin1(contentType));
    if (match.hasMatch()) {
        QStringDecoder decoder(match.captured(1).toLatin1().constData());
        if (decoder.isValid()) return decoder.decode(body);
    }
    return QString::fromUtf8(body);
}

}  // namespace kelmora::platform
