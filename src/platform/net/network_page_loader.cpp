#include "platform/net/network_page_loader.h"

#include <QRegularExpression>
#include <QSslSocket>
#include <QStringDecoder>
#include <QTcpSocket>

namespace kelmora::platform {

namespace {

QString sizeText(qint64 bytes) { return QString::number(bytes) + QStringLiteral(" bytes"); }

// What the socket keeps before the loader takes it: the rest waits in the kernel, so a body past
// the limit is never held whole.
constexpr qint64 kReadBufferBytes = 256 * 1024;
constexpr int kMaxRedirects = 5;

bool isRedirect(int status) { return status == 301 || status == 302 || status == 303 || status == 307 || status == 308; }

// A redirect is followed only to the same host, and never from an encrypted page to a plain one.
bool redirectAllowed(const QUrl& from, const QUrl& to) {
    if (to.host().compare(from.host(), Qt::CaseInsensitive) != 0) return false;
    const QString fromScheme = from.scheme().toLower();
    const QString toScheme = to.scheme().toLower();
    if (toScheme != u"http" && toScheme != u"https") return false;
    return toScheme == fromScheme || (fromScheme == u"http" && toScheme == u"https");
}

quint16 portOf(const QUrl& url) { return static_cast<quint16>(url.port(url.scheme().toLower() == u"https" ? 443 : 80)); }

}  // namespace

NetworkPageLoader::NetworkPageLoader() = default;

NetworkPageLoader::~NetworkPageLoader() { closeConnection(); }

void NetworkPageLoader::start(const QUrl& url, qint64 maxBytes) {
    abort();
    maxBytes_ = maxBytes;
    redirects_ = 0;
    connectTo(url);
}

void NetworkPageLoader::abort() {
    closeConnection();
    body_ = QByteArray();
}

void NetworkPageLoader::connectTo(const QUrl& url) {
    closeConnection();
    url_ = url;
    response_ = HttpResponseReader();
    body_ = QByteArray();
    const bool secure = url.scheme().toLower() == u"https";
    if (secure) {
        auto tls = std::make_unique<QSslSocket>();
        QSslSocket* raw = tls.get();
        QObject::connect(raw, &QSslSocket::encrypted, raw, [this] { connected(); });
        tls->connectToHostEncrypted(url.host(), portOf(url));
        socket_ = std::move(tls);
    } else {
        socket_ = std::make_unique<QTcpSocket>();
        QObject::connect(socket_.get(), &QTcpSocket::connected, socket_.get(), [this] { connected(); });
        socket_->connectToHost(url.host(), portOf(url));
    }
    socket_->setReadBufferSize(kReadBufferBytes);
    QTcpSocket* socket = socket_.get();
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this] { bytesArrived(); });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, [this] { closed(); });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket, [this](QAbstractSocket::SocketError error) {
        // The server closing the connection is how some answers end; closed() judges that.
        if (error == QAbstractSocket::RemoteHostClosedError) return;
        fail(Failure::Transport, socket_->errorString());
    });
}

void NetworkPageLoader::connected() {
    QByteArray host = url_.host(QUrl::FullyEncoded).toLatin1();
    if (url_.port() != -1) host += ':' + QByteArray::number(url_.port());
    QByteArray target = url_.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty()) target = "/";
    if (url_.hasQuery()) target += '?' + url_.query(QUrl::FullyEncoded).toLatin1();
    socket_->write("GET " + target + " HTTP/1.1\r\nHost: " + host +
                   "\r\nUser-Agent: Kelmora/3.0\r\nAccept: */*\r\nConnection: close\r\n\r\n");
}

void NetworkPageLoader::bytesArrived() {
    while (socket_ && socket_->bytesAvailable() > 0) {
        const HttpResponseReader::State before = response_.state();
        body_ += response_.feed(socket_->read(kReadBufferBytes));
        if (before == HttpResponseReader::State::Head && response_.state() != HttpResponseReader::State::Head &&
            response_.state() != HttpResponseReader::State::Invalid) {
            headArrived();
            if (!socket_) return;
        }
        if (body_.size() > maxBytes_) {
            fail(Failure::TooLarge, QStringLiteral("more than ") + sizeText(maxBytes_));
            return;
        }
        if (response_.state() == HttpResponseReader::State::Invalid) {
            fail(Failure::Transport, response_.fault());
            return;
        }
        if (response_.state() == HttpResponseReader::State::Complete) {
            complete();
            return;
        }
    }
}

void NetworkPageLoader::headArrived() {
    if (isRedirect(response_.status()) && !response_.header("Location").isEmpty()) return;
    if (events_.statusText) {
        events_.statusText(QStringLiteral("HTTP ") + QString::number(response_.status()) + u' ' + response_.reason());
    }
    if (const auto length = response_.contentLength(); length && *length > maxBytes_) {
        fail(Failure::TooLarge, QStringLiteral("announced ") + sizeText(*length));
    }
}

void NetworkPageLoader::closed() {
    if (!socket_) return;
    bytesArrived();
    if (!socket_) return;
    response_.connectionClosed();
    if (response_.state() == HttpResponseReader::State::Complete) {
        complete();
    } else {
        fail(Failure::Transport, response_.fault());
    }
}

void NetworkPageLoader::complete() {
    const QByteArray location = response_.header("Location");
    if (isRedirect(response_.status()) && !location.isEmpty()) {
        const QUrl to = url_.resolved(QUrl::fromEncoded(location));
        if (!redirectAllowed(url_, to) || ++redirects_ > kMaxRedirects) {
            fail(Failure::Redirect, to.toString(QUrl::RemoveUserInfo));
            return;
        }
        connectTo(to);
        return;
    }
    const QByteArray contentType = response_.header("Content-Type");
    const QByteArray body = std::exchange(body_, {});
    closeConnection();
    if (events_.complete) events_.complete(decodeBody(body, contentType));
}

void NetworkPageLoader::fail(Failure failure, const QString& description) {
    closeConnection();
    body_ = QByteArray();
    if (events_.failed) events_.failed(failure, description);
}

void NetworkPageLoader::closeConnection() {
    if (!socket_) return;
    QTcpSocket* socket = socket_.release();
    QObject::disconnect(socket, nullptr, socket, nullptr);
    socket->abort();
    // It may be inside one of its own signals right now.
    socket->deleteLater();
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
