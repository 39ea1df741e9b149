#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace kelmora::platform {

// Fetches one page at a time with one GET, never sent twice, and reports back through the event
// loop, never from inside start(). The network backend lives in platform/net; tests use a scripted fake.
class PageLoader {
public:
    enum class Failure {
        Transport,  // no answer at all: refused, closed, name not found, certificate refused
        TooLarge,   // the body passed the size limit and was dropped
        Redirect,   // the server pointed elsewhere (another host, or from https to http)
    };
    struct Events {
        // A progress text of the fetch (such as the HTTP status line), for the console.
        std::function<void(const QString& text)> statusText;
        // The whole body, decoded in the character set the response names (UTF-8 when it names
        // none), whatever the HTTP status.
        std::function<void(const QString& body)> complete;
        // The fetch ended without a page; `description` says why (for a redirect: where it pointed).
        std::function<void(Failure failure, const QString& description)> failed;
    };

    virtual ~PageLoader() = default;

    virtual void setEvents(Events events) = 0;
    // Starts fetching `url`, abandoning a fetch still under way. A body longer than `maxBytes`
    // ends the fetch with Failure::TooLarge.
    virtual void start(const QUrl& url, qint64 maxBytes) = 0;
    // Abandons the fetch under way, if any; no event follows for it.
    virtual void abort() = 0;
};

}  // namespace kelmora::platform
