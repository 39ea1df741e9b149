#pragma once

#include "platform/page_loader.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QPointer>

class QNetworkReply;

namespace kelmora::platform {

// Fetches pages with QNetworkAccessManager. Whatever HTTP status the server answers with, its body
// is the page; only an exchange that brings no answer (refused, closed, a certificate that does
// not check out) is a failure. Certificates are always checked.
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
    void headersArrived();
    void bodyArrived();
    void finished();
    // Lets go of the reply under way, so that the events it still has are never heard.
    QNetworkReply* release();
    void fail(Failure failure, const QString& description);

    QNetworkAccessManager network_;
    QPointer<QNetworkReply> reply_;
    QByteArray body_;
    qint64 maxBytes_ = 0;
    Events events_;
};

}  // namespace kelmora::platform
