#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace kelmora::platform {

// Reads one HTTP/1.x response as its bytes come in: the status line, the headers, then a body
// framed by Content-Length, by chunks, or by the end of the connection. It keeps only the body;
// what the body may grow to is the caller's to bound.
class HttpResponseReader {
public:
    enum class State {
        Head,      // the status line and headers are still coming
        Body,      // the head is read; body bytes are coming
        Complete,  // the whole response is read
        Invalid,   // the bytes are not an HTTP response
    };

    // Takes the next bytes of the connection. Returns the body bytes they held (chunk framing
    // removed); the state tells whether the head or the whole response is read by now.
    QByteArray feed(QByteArrayView bytes);
    // The connection ended: a body that runs to the end of the connection is complete; anything
    // else cut short makes the response invalid.
    void connectionClosed();

    State state() const { return state_; }
    int status() const { return status_; }
    const QString& reason() const { return reason_; }
    // The value of the first header of that name (case-insensitive); empty when absent.
    QByteArray header(QByteArrayView name) const;
    // The announced body length, when the response announces one.
    std::optional<qint64> contentLength() const { return length_; }
    // What made the response invalid.
    const QString& fault() const { return fault_; }

private:
    enum class Framing { Length, Chunked, UntilClose, None };
    enum class ChunkPart { Size, Data, DataEnd, Trailer };

    bool readHead();
    QByteArray readBody();
    QByteArray readChunks();
    void invalid(const QString& fault);

    State state_ = State::Head;
    QByteArray pending_;  // bytes not yet taken
    int status_ = 0;
    QString reason_;
    QList<std::pair<QByteArray, QByteArray>> headers_;
    std::optional<qint64> length_;
    Framing framing_ = Framing::None;
    qint64 remaining_ = 0;  // of the body (Length) or of the current chunk (Chunked)
    ChunkPart chunkPart_ = ChunkPart::Size;
    QString fault_;
};

}  // namespace kelmora::platform
