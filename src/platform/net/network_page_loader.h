#pragma once

#include "platform/net/http_response_reader.h"
#include "platform/page_loader.h"

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <memory>

class QTcpSocket;

namespace kelmora::platform {

// Fetches pages over HTTP/1.1, plain or with TLS. Whatever HTTP status the server answers with,
// its body is the page; only an exchange that brings no answer (refused, closed, a certificate
// that does not check out) is a failure. Certificates are always checked.
//
// Each fetch is exactly one request on a connection of its own, closed when the fetch ends. A
// general-purpose HTTP stack sends a request again by itself when its connection drops before
// the answer; a poll must never be, since the server hands a round of jobs out only once.
// Abandoning a fetch closes its connection at once, and nothing it brings is ever heard.
// Redirects are followed only on the same host and never from https to http.
class NetworkPageLoader final : public PageLoader {
public:
    NetworkPageLoader();
    ~NetworkPageLoader() override;

    void setEvents(Events events) override { events_ = std::move(events); }
    void start(const QUrl& url, qint64 maxBytes) override;
    void abort() override;

    // The body's text in the character set that a Content-Type value names; UTF-8 when it names
    // none or one that is not known.
    static QString decodeBody(const QByteArray& body, const QByteArray& contentType);

private:
    void connectTo(const QUrl& url);
    void connected();
    void bytesArrived();
    void closed();
    void headArrived();
    void complete();
    void fail(Failure failure, const QString& description);
    // Closes the connection under way, so that nothing it still has is ever heard.
    void closeConnection();

    std::unique_ptr<QTcpSocket> socket_;
    HttpResponseReader response_;
    QUrl url_;  // where the fetch under way stands, after the redirects it followed
    int redirects_ = 0;
    QByteArray body_;
    qint64 maxBytes_ = 0;
    Events events_;
};

}  // namespace kelmora::platform
