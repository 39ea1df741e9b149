// Requests to the scheduler, each on a bounded connection, and the reading of their answers.

#include "platform/cups/ipp_connection.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kelmora::platform::cups {

namespace {

// How often a request that waits on the scheduler looks at its clock.
constexpr std::chrono::milliseconds kWaitSlice{200};
// A connection left unused longer than this is opened afresh: the scheduler may have closed it
// meanwhile, and a request on a closed connection would fail as if the scheduler were gone.
constexpr std::chrono::seconds kIdleLimit{10};

}  // namespace

QByteArray queueUri(const QString& queue) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     queue.toUtf8().constData());
    return QByteArray(uri);
}

QByteArray serverUri() {
    char uri[HTTP_MAX_URI];
    httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/");
    return QByteArray(uri);
}

QString IppObject::text(const char* name) const {
    ipp_attribute_t* attribute = attributes_.value(QByteArray(name));
    return attribute ? QString::fromUtf8(ippGetString(attribute, 0, nullptr)) : QString();
}

QStringList IppObject::texts(const char* name) const {
    ipp_attribute_t* attribute = attributes_.value(QByteArray(name));
    QStringList all;
    for (int i = 0; i < ippGetCount(attribute); ++i) {
        all.append(QString::fromUtf8(ippGetString(attribute, i, nullptr)));
    }
    return all;
}

int IppObject::integer(const char* name, int absent) const {
    ipp_attribute_t* attribute = attributes_.value(QByteArray(name));
    return attribute ? ippGetInteger(attribute, 0) : absent;
}

bool IppObject::boolean(const char* name, bool absent) const {
    ipp_attribute_t* attribute = attributes_.value(QByteArray(name));
    return attribute ? ippGetBoolean(attribute, 0) != 0 : absent;
}

QStringList IppObject::reasons(const char* name) const {
    QStringList all = texts(name);
    all.removeAll(QStringLiteral("none"));
    return all;
}

QList<IppObject> objectsOf(ipp_t* response, ipp_tag_t group) {
    QList<IppObject> objects;
    IppObject object;
    const auto endOfObject = [&] {
        if (!object.isEmpty()) objects.append(object);
        object = IppObject();
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute != nullptr;
         attribute = ippNextAttribute(response)) {
        const char* name = ippGetName(attribute);
        if (name == nullptr || ippGetGroupTag(attribute) != group) {
            endOfObject();
            continue;
        }
        object.add(name, attribute);
    }
    endOfObject();
    return objects;
}

PrinterError unreachableError(const QString& why, bool mayHaveArrived) {
    return PrinterError(PrinterError::Scope::System,
                        QStringLiteral("No se puede contactar con el sistema de impresión: %1").arg(why), mayHaveArrived);
}

bool refusedBySystem(ipp_status_t status) {
    return status == IPP_STATUS_ERROR_BUSY || status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE ||
           status == IPP_STATUS_ERROR_TEMPORARY || status == IPP_STATUS_ERROR_TOO_MANY_JOBS;
}

Answer IppConnection::exchange(ipp_t* request, const char* resource, const QByteArray* document) {
    const Ipp owned(request);
    Answer answer;
    http_t* http = begin(&answer.unreachable);
    if (http == nullptr) return failed(std::move(answer));
    // The length is the whole body's: the request's attributes, then the document.
    const auto length = static_cast<size_t>(document ? document->size() : 0);
    http_status_t sent = cupsSendRequest(http, request, resource, ippLength(request) + length);
    if (sent == HTTP_STATUS_CONTINUE && length > 0) {
        sent = cupsWriteRequestData(http, document->constData(), length);
    }
    if (sent == HTTP_STATUS_CONTINUE || sent == HTTP_STATUS_OK) {
        answer.response.reset(cupsGetResponse(http, resource));
    }
    answer.status = cupsLastError();
    answer.message = QString::fromUtf8(cupsLastErrorString());
    if (timedOut_) {
        answer.unreachable = tooLate();
    } else if (!answer.response &&
               (answer.status < IPP_STATUS_ERROR_BAD_REQUEST || answer.status >= IPP_STATUS_ERROR_INTERNAL)) {
        // No answer and no refusal of HTTP's: the connection failed.
        answer.unreachable = answer.message;
    }
    if (!answer.response) disconnect();  // nothing left half read on it
    return answer.unreachable.isEmpty() ? std::move(answer) : failed(std::move(answer));
}

QString IppConnection::defaultDestination(QString* unreachable) {
    http_t* http = begin(unreachable);
    if (http == nullptr) return {};
    QString name;
    if (cups_dest_t* dest = cupsGetNamedDest(http, nullptr, nullptr)) {
        name = QString::fromUtf8(dest->name);
        cupsFreeDests(1, dest);
    }
    if (timedOut_) {
        *unreachable = tooLate();
        disconnect();
        onUnreachable_();
    }
    return name;
}

http_t* IppConnection::begin(QString* failure) {
    const auto now = Clock::now();
    deadline_ = now + bound_;
    timedOut_ = false;
    if (http_ != nullptr && now - lastUse_ > kIdleLimit) disconnect();
    lastUse_ = now;
    if (http_ != nullptr) return http_;
    // A domain socket's path stands for the host.
    errno = 0;
    http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                         static_cast<int>(bound_.count()), nullptr);
    if (http_ == nullptr) {
        *failure = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("sin conexión");
        return nullptr;
    }
    const double slice =
        std::chrono::duration<double>(std::min<std::chrono::milliseconds>(kWaitSlice, bound_)).count();
    httpSetTimeout(http_, slice, &IppConnection::keepWaiting, this);
    return http_;
}

int IppConnection::keepWaiting(http_t*, void* data) {
    auto* connection = static_cast<IppConnection*>(data);
    if (Clock::now() < connection->deadline_) return 1;
    connection->timedOut_ = true;
    return 0;
}

Answer IppConnection::failed(Answer answer) {
    disconnect();
    onUnreachable_();
    return answer;
}

QString IppConnection::tooLate() const {
    return QStringLiteral("no responde en %1 s").arg(std::chrono::duration<double>(bound_).count());
}

void IppConnection::disconnect() {
    if (http_ != nullptr) httpClose(http_);
    http_ = nullptr;
}

}  // namespace kelmora::platform::cups
