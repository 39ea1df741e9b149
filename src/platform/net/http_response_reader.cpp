#include "platform/net/http_response_reader.h"

namespace kelmora::platform {

namespace {

// A head or a chunk-size line longer than this is not a server's answer.
constexpr qsizetype kMaxHeadBytes = 64 * 1024;
constexpr qsizetype kMaxLineBytes = 4 * 1024;

}  // namespace

QByteArray HttpResponseReader::feed(QByteArrayView bytes) {
    if (state_ == State::Complete || state_ == State::Invalid) return {};
    pending_.append(bytes);
    if (state_ == State::Head && !readHead()) return {};
    return readBody();
}

void HttpResponseReader::connectionClosed() {
    if (state_ == State::Body && framing_ == Framing::UntilClose) {
        state_ = State::Complete;
    } else if (state_ == State::Head || state_ == State::Body) {
        invalid(QStringLiteral("the connection closed before the whole answer came"));
    }
}

QByteArray HttpResponseReader::header(QByteArrayView name) const {
    for (const auto& [key, value] : headers_) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    }
    return {};
}

bool HttpResponseReader::readHead() {
    const qsizetype end = pending_.indexOf("\r\n\r\n");
    if (end < 0) {
        if (pending_.size() > kMaxHeadBytes) invalid(QStringLiteral("headers too long"));
        return false;
    }
    const QList<QByteArray> lines = pending_.left(end).split('\n');
    pending_.remove(0, end + 4);

    // "HTTP/1.1 200 OK"
    const QByteArray statusLine = lines.first().trimmed();
    const qsizetype firstBlank = statusLine.indexOf(' ');
    bool numeric = false;
    status_ = statusLine.mid(firstBlank + 1, 3).toInt(&numeric);
    if (!statusLine.startsWith("HTTP/1.") || firstBlank < 0 || !numeric || status_ < 100) {
        invalid(QStringLiteral("not an HTTP answer"));
        return false;
    }
    reason_ = QString::fromLatin1(statusLine.mid(firstBlank + 5).trimmed());
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0) continue;
        headers_.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }

    if (status_ < 200) {
        // An interim answer (100 Continue): the real one follows.
        headers_.clear();
        return readHead();
    }
    state_ = State::Body;
    const QByteArray transfer = header("Transfer-Encoding").toLower();
    const QByteArray length = header("Content-Length");
    if (status_ == 204 || status_ == 304) {
        framing_ = Framing::None;
    } else if (transfer.contains("chunked")) {
        framing_ = Framing::Chunked;
    } else if (!length.isEmpty()) {
        bool ok = false;
        remaining_ = length.toLongLong(&ok);
        if (!ok || remaining_ < 0) {
            invalid(QStringLiteral("bad Content-Length"));
            return false;
        }
        length_ = remaining_;
        framing_ = Framing::Length;
    } else {
        framing_ = Framing::UntilClose;
    }
    if (framing_ == Framing::None || (framing_ == Framing::Length && remaining_ == 0)) state_ = State::Complete;
    return true;
}

QByteArray HttpResponseReader::readBody() {
    if (state_ != State::Body) return {};
    switch (framing_) {
    case Framing::UntilClose:
        return std::exchange(pending_, {});
    case Framing::Length: {
        const qsizetype take = static_cast<qsizetype>(std::min<qint64>(remaining_, pending_.size()));
        QByteArray body = pending_.left(take);
        pending_.remove(0, take);
        remaining_ -= take;
        if (remaining_ == 0) state_ = State::Complete;
        return body;
    }
    case Framing::Chunked:
        return readChunks();
    case Framing::None:
        break;
    }
    return {};
}

QByteArray HttpResponseReader::readChunks() {
    QByteArray body;
    for (;;) {
        switch (chunkPart_) {
        case ChunkPart::Size: {
            const qsizetype end = pending_.indexOf("\r\n");
            if (end < 0) {
                if (pending_.size() > kMaxLineBytes) invalid(QStringLiteral("bad chunk"));
                return body;
            }
            QByteArray line = pending_.left(end);
            pending_.remove(0, end + 2);
            if (const qsizetype extension = line.indexOf(';'); extension >= 0) line.truncate(extension);
            bool ok = false;
            remaining_ = line.trimmed().toLongLong(&ok, 16);
            if (!ok || remaining_ < 0) {
                invalid(QStringLiteral("bad chunk"));
                return body;
            }
            chunkPart_ = remaining_ == 0 ? ChunkPart::Trailer : ChunkPart::Data;
            break;
        }
        case ChunkPart::Data: {
            const qsizetype take = static_cast<qsizetype>(std::min<qint64>(remaining_, pending_.size()));
            body.append(pending_.left(take));
            pending_.remove(0, take);
            remaining_ -= take;
            if (remaining_ > 0) return body;
            chunkPart_ = ChunkPart::DataEnd;
            break;
        }
        case ChunkPart::DataEnd:
            if (pending_.size() < 2) return body;
            if (!pending_.startsWith("\r\n")) {
                invalid(QStringLiteral("bad chunk"));
                return body;
            }
            pending_.remove(0, 2);
            chunkPart_ = ChunkPart::Size;
            break;
        case ChunkPart::Trailer: {
            // Trailer lines, if any, up to an empty one.
            const qsizetype end = pending_.indexOf("\r\n");
            if (end < 0) {
                if (pending_.size() > kMaxLineBytes) invalid(QStringLiteral("bad chunk"));
                return body;
            }
            pending_.remove(0, end + 2);
            if (end == 0) {
                state_ = State::Complete;
                return body;
            }
            break;
        }
        }
    }
}

void HttpResponseReader::invalid(const QString& fault) {
    state_ = State::Invalid;
    fault_ = fault;
    pending_.clear();
}

}  // namespace kelmora::platform
