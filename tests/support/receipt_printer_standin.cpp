#include "support/receipt_printer_standin.h"

#include "printing/escpos/escpos_interpreter.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QThread>

#include <fcntl.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <list>
#include <optional>
#include <utility>
#include <vector>

namespace kelmora::testing {

namespace {

constexpr unsigned char kEot = 0x04;
constexpr unsigned char kEnq = 0x05;
constexpr unsigned char kDle = 0x10;
constexpr unsigned char kDc4 = 0x14;
constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kFs = 0x1C;
constexpr unsigned char kGs = 0x1D;

// Room for what the printer's dip switches call the receive buffer: one read at a time, so that a
// setter waiting for the thread gets its turn between reads.
constexpr qsizetype kReadChunk = 4096;
// What an accessor or a setter reads at most of a stream before it goes on.
constexpr int kCatchUpChunks = 256;
// A command ended by NUL (tab stops, a barcode's data) longer than this is taken as ended.
constexpr qsizetype kLongestTerminated = 512;

// What the first bytes of a command tell of it.
struct CommandShape {
    enum class Kind {
        Incomplete,          // more bytes are needed to know
        Document,            // goes to paper (or is discarded while the printer cannot print)
        StatusRequest,       // DLE EOT n: answered at once, whatever the state
        RealTime,            // DLE ENQ, DLE DC4: taken at once, nothing to answer here
        PaperSensorRequest,  // GS r n: answered in stream order
    };
    Kind kind = Kind::Incomplete;
    qsizetype length = 0;  // of the command's own bytes; any after them start the next command
    qint64 data = 0;       // bulk bytes that follow (pictures, graphics), not kept in the command
};

CommandShape incomplete() { return {}; }
CommandShape document(qsizetype length, qint64 data = 0) { return {CommandShape::Kind::Document, length, data}; }

// The command's bytes up to the first NUL after `from`.
CommandShape terminatedByNul(const QByteArray& command, qsizetype from) {
    const qsizetype nul = command.indexOf('\0', from);
    if (nul >= 0) return document(nul + 1);
    return command.size() >= kLongestTerminated ? document(command.size()) : incomplete();
}

// ESC & y c1 c2, then for each character c1..c2 its width x and y * x bytes.
CommandShape userCharacters(const QByteArray& command) {
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(command.at(i)); };
    if (command.size() < 5) return incomplete();
    const int height = at(2);
    const int count = at(4) - at(3) + 1;
    qsizetype end = 5;
    for (int c = 0; c < count; ++c) {
        if (command.size() <= end) return incomplete();
        end += 1 + qsizetype{height} * at(end);
    }
    return command.size() >= end ? document(end) : incomplete();
}

// ESC ( x, GS ( x, FS ( x: pL pH and that many bytes.
CommandShape withLength16(const QByteArray& command) {
    if (command.size() < 5) return incomplete();
    return document(5, static_cast<unsigned char>(command.at(3)) | (static_cast<unsigned char>(command.at(4)) << 8));
}

CommandShape escapeShape(const QByteArray& command) {
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(command.at(i)); };
    switch (at(1)) {
        case '@': case '2': case '<': case 'L': case 'S': case 'i': case 'm': case 'v': case 0x0C:
            return document(2);
        case '$': case '\\': case 'c':
            return document(4);
        case 'p':
            return document(5);
        case 'W':
            return document(10);
        case 'D':
            return terminatedByNul(command, 2);
        case '&':
            return userCharacters(command);
        case '(':
            return withLength16(command);
        case '*': {
            // ESC * m nL nH: k columns of 1 byte (8-dot modes) or 3 bytes (24-dot modes).
            if (command.size() < 5) return incomplete();
            const qint64 columns = at(3) | (at(4) << 8);
            return document(5, at(2) >= 32 ? 3 * columns : columns);
        }
        default:
            // ESC t, !, E, -, a, d, J, R, 3, SP, M ... take one byte; so does, at a guess, any other.
            return command.size() < 3 ? incomplete() : document(3);
    }
}

CommandShape groupShape(const QByteArray& command) {
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(command.at(i)); };
    const auto need = [&](qsizetype length) { return command.size() < length ? incomplete() : document(length); };
    switch (at(1)) {
        case ':': case 'c':
            return document(2);
        case '$': case 'L': case 'W': case 'P': case '\\':
            return need(4);
        case '^':
            return need(5);
        case 'g':
            return need(6);
        case '(':
            return withLength16(command);
        case 'r':
            if (command.size() < 3) return incomplete();
            return {CommandShape::Kind::PaperSensorRequest, 3, 0};
        case 'V': {
            // Modes 65, 66, 97, 98, 103 and 104 feed n dots before the cut.
            if (command.size() < 3) return incomplete();
            const int mode = at(2);
            const bool withFeed = mode == 65 || mode == 66 || mode == 97 || mode == 98 || mode == 103 || mode == 104;
            return need(withFeed ? 4 : 3);
        }
        case 'v': {
            // GS v 0 m xL xH yL yH: xL + xH * 256 bytes a row, yL + yH * 256 rows.
            if (command.size() < 8) return incomplete();
            return document(8, qint64{at(4) | (at(5) << 8)} * (at(6) | (at(7) << 8)));
        }
        case '8': {
            // GS 8 L p1 p2 p3 p4: a 32-bit length.
            if (command.size() < 7) return incomplete();
            return document(7, qint64{at(3)} | qint64{at(4)} << 8 | qint64{at(5)} << 16 | qint64{at(6)} << 24);
        }
        case '*': {
            // GS * x y: x * 8 columns of y bytes.
            if (command.size() < 4) return incomplete();
            return document(4, qint64{at(2)} * at(3) * 8);
        }
        case 'k': {
            // GS k m: data up to NUL (m 0..6), or a count n and n bytes (m 65..).
            if (command.size() < 3) return incomplete();
            if (at(2) <= 6) return terminatedByNul(command, 3);
            if (command.size() < 4) return incomplete();
            return document(4, at(3));
        }
        default:
            // GS !, B, H, I, a, b, f, h, w ... take one byte; so does, at a guess, any other.
            return need(3);
    }
}

CommandShape fileSeparatorShape(const QByteArray& command) {
    const auto need = [&](qsizetype length) { return command.size() < length ? incomplete() : document(length); };
    switch (static_cast<unsigned char>(command.at(1))) {
        case '.': case '&':
            return document(2);
        case 'S': case 'p': case '?':
            return need(4);
        case '2':
            return command.size() < 4 ? incomplete() : document(4, 72);
        case '(':
            return withLength16(command);
        default:
            return need(3);  // FS !, -, W, C ...
    }
}

CommandShape dataLinkShape(const QByteArray& command) {
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(command.at(i)); };
    const auto realTime = [&](CommandShape::Kind kind, qsizetype length) {
        return command.size() < length ? incomplete() : CommandShape{kind, length, 0};
    };
    switch (at(1)) {
        case kEot:
            if (command.size() < 3) return incomplete();
            // DLE EOT 7 and 8 name a further status in one more byte.
            return realTime(CommandShape::Kind::StatusRequest, at(2) == 7 || at(2) == 8 ? 4 : 3);
        case kEnq:
            return realTime(CommandShape::Kind::RealTime, 3);
        case kDc4: {
            if (command.size() < 3) return incomplete();
            const int function = at(2);
            const qsizetype length = function == 1 || function == 2 ? 5 : function == 7 ? 4 : function == 8 ? 10 : 3;
            return realTime(CommandShape::Kind::RealTime, length);
        }
        default:
            return document(1);  // a DLE of its own, printing nothing
    }
}

// The length and kind of the command `command` starts with, once its bytes say.
CommandShape shapeOf(const QByteArray& command) {
    const unsigned char first = static_cast<unsigned char>(command.at(0));
    if (first != kDle && first != kEsc && first != kFs && first != kGs) return document(1);
    if (command.size() < 2) return incomplete();
    if (first == kDle) return dataLinkShape(command);
    if (first == kEsc) return escapeShape(command);
    if (first == kGs) return groupShape(command);
    return fileSeparatorShape(command);
}

bool isInitialize(const QByteArray& command) {
    return command.size() == 2 && static_cast<unsigned char>(command.at(0)) == kEsc && command.at(1) == '@';
}

bool isCut(const QByteArray& command) {
    return command.size() >= 3 && static_cast<unsigned char>(command.at(0)) == kGs && command.at(1) == 'V';
}

void makeRaw(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) return;
    ::cfmakeraw(&settings);
    ::tcsetattr(fd, TCSANOW, &settings);
}

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Hands over the descriptor of each accepted connection instead of a QTcpSocket: the stand-in
// reads it itself, or leaves it unread.
class Listener : public QTcpServer {
public:
    std::function<void(int)> onConnection;

protected:
    void incomingConnection(qintptr descriptor) override { onConnection(static_cast<int>(descriptor)); }
};

}  // namespace

class ReceiptPrinterStandIn::Impl {
public:
    // A client's byte stream (a TCP connection, or the terminal's master side) and where its
    // parsing stands.
    struct Stream {
        int fd = -1;
        bool isTcp = true;
        std::unique_ptr<QSocketNotifier> reader;
        std::unique_ptr<QSocketNotifier> writer;
        QByteArray unsent;
        QByteArray command;        // the bytes of a command not yet whole
        qint64 dataLeft = 0;       // bulk data of the last command still to come
        bool discarding = false;   // part of this command could not be printed: the rest goes too
    };

    explicit Impl(Port port) : port_(port) {
        context_.moveToThread(&thread_);
        thread_.setObjectName(QStringLiteral("receipt printer stand-in"));
        thread_.start();
        onThread([this] { open(); });
    }

    ~Impl() {
        onThread([this] { close(); });
        thread_.quit();
        thread_.wait();
    }

    // Runs `work` on the printer's thread and returns once it is done, so what the caller changes
    // holds for every read that comes after.
    void onThread(const std::function<void()>& work) {
        if (QThread::currentThread() == &thread_) {
            work();
            return;
        }
        QMetaObject::invokeMethod(&context_, work, Qt::BlockingQueuedConnection);
    }

    QString address() const { return address_; }

    // The state the tests set and read, under the mutex: the printer's thread reads it per chunk.
    mutable QMutex mutex;
    bool paperOut = false;
    std::optional<qint64> paperLeft;
    bool paperNearEnd = false;
    bool coverOpen = false;
    bool returnChannel = true;
    bool silent = false;
    bool neverRead = false;  // written on the printer's thread only
    QByteArray printed;
    QList<qsizetype> documentEnds;
    bool documentHasContent = false;
    qint64 bytesWhileUnable = 0;
    int statusRequests = 0;
    int confirmationRequests = 0;
    int connections = 0;
    int openNow = 0;
    int mostOpenAtOnce = 0;

    bool canPrint() const { return !paperOut && !coverOpen; }

    // What was printed so far is a document of its own: the paper ran out or the cover opened.
    void endDocument() {
        if (!documentHasContent) return;
        documentEnds.append(printed.size());
        documentHasContent = false;
    }

    // Runs `work` on the printer's thread once it has taken what the kernel already holds: the
    // connections made and the bytes sent before the call (over loopback, all a blocking client
    // wrote) are handled in the state before it.
    void change(const std::function<void()>& work) {
        onThread([this, &work] {
            catchUp();
            QMutexLocker lock(&mutex);
            work();
        });
    }

    // Reads a result under the mutex once the printer's thread has taken what was sent before.
    template <typename Value>
    auto settled(Value value) {
        onThread([this] { catchUp(); });
        QMutexLocker lock(&mutex);
        return value();
    }

    void setRefuseConnections(bool refuse) {
        onThread([this, refuse] {
            catchUp();
            if (!listener_) return;
            if (refuse) {
                listener_->close();
            } else if (!listener_->isListening()) {
                listener_->listen(QHostAddress::LocalHost, tcpPort_);
            }
        });
    }

    void setNeverRead(bool never) {
        onThread([this, never] {
            catchUp();
            neverRead = never;
            for (const auto& stream : streams_) stream->reader->setEnabled(!never);
        });
    }

private:
    void open() {
        if (port_ == Port::Tcp) {
            listener_ = std::make_unique<Listener>();
            listener_->onConnection = [this](int fd) { accept(fd); };
            listener_->listen(QHostAddress::LocalHost, 0);
            tcpPort_ = listener_->serverPort();
            address_ = QStringLiteral("socket://127.0.0.1:%1").arg(tcpPort_);
            return;
        }
        int master = -1;
        if (::openpty(&master, &slave_, nullptr, nullptr, nullptr) != 0) return;
        // Bytes pass as they are: no echo, no line editing, no CR/LF translation.
        makeRaw(master);
        makeRaw(slave_);
        setNonBlocking(master);
        std::array<char, 128> name{};
        if (::ttyname_r(slave_, name.data(), name.size()) == 0) address_ = QString::fromLocal8Bit(name.data());
        // The slave stays open here too, so that a client closing it leaves the master readable.
        watch(master, false);
    }

    void close() {
        for (const auto& stream : streams_) ::close(stream->fd);
        streams_.clear();
        listener_.reset();
        if (slave_ >= 0) ::close(slave_);
        slave_ = -1;
    }

    // A stream's notifier may not have fired yet for what is there: taken now, a bounded number of
    // chunks a stream, so that a client that never stops cannot hold the caller.
    void catchUp() {
        // A connection the kernel completed is accepted, not reset by a listener closed after it.
        if (listener_ && listener_->isListening()) listener_->waitForNewConnection(0);
        if (neverRead) return;
        std::vector<Stream*> streams;
        for (const auto& stream : streams_) streams.push_back(stream.get());
        for (Stream* stream : streams) {
            for (int chunk = 0; chunk < kCatchUpChunks && read(stream); ++chunk) {
            }
        }
    }

    void accept(int fd) {
        setNonBlocking(fd);
        {
            QMutexLocker lock(&mutex);
            ++connections;
            mostOpenAtOnce = std::max(mostOpenAtOnce, ++openNow);
        }
        watch(fd, true);
    }

    void watch(int fd, bool isTcp) {
        auto stream = std::make_unique<Stream>();
        stream->fd = fd;
        stream->isTcp = isTcp;
        stream->reader = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        stream->writer = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        stream->writer->setEnabled(false);
        stream->reader->setEnabled(!neverRead);
        Stream* raw = stream.get();
        QObject::connect(stream->reader.get(), &QSocketNotifier::activated, stream->reader.get(), [this, raw] { read(raw); });
        QObject::connect(stream->writer.get(), &QSocketNotifier::activated, stream->writer.get(), [this, raw] { flush(raw); });
        streams_.push_back(std::move(stream));
    }

    void drop(Stream* stream) {
        ::close(stream->fd);
        if (stream->isTcp) {
            QMutexLocker lock(&mutex);
            --openNow;
        }
        // The notifier whose signal got here is among what goes: let the loop delete it.
        for (QSocketNotifier* notifier : {stream->reader.release(), stream->writer.release()}) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
        streams_.remove_if([stream](const auto& s) { return s.get() == stream; });
    }

    // One chunk; true when bytes came and the stream is still there.
    bool read(Stream* stream) {
        std::array<char, kReadChunk> bytes{};
        const ssize_t count = ::read(stream->fd, bytes.data(), bytes.size());
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) return false;
        if (count <= 0) {
            if (stream->isTcp) drop(stream);
            return false;
        }
        QByteArray replies;
        {
            QMutexLocker lock(&mutex);
            take(*stream, bytes.data(), count, replies);
        }
        stream->unsent.append(replies);
        flush(stream);
        return true;
    }

    void flush(Stream* stream) {
        bool full = false;
        while (!stream->unsent.isEmpty()) {
            const ssize_t sent = stream->isTcp
                                     ? ::send(stream->fd, stream->unsent.constData(), stream->unsent.size(), MSG_NOSIGNAL)
                                     : ::write(stream->fd, stream->unsent.constData(), stream->unsent.size());
            if (sent < 0 && errno == EINTR) continue;
            if (sent < 0) {
                // Full: the notifier calls again. Gone: the next read tells.
                full = errno == EAGAIN || errno == EWOULDBLOCK;
                if (!full) stream->unsent.clear();
                break;
            }
            stream->unsent.remove(0, sent);
        }
        stream->writer->setEnabled(full);
    }

    // The stream's next bytes, command by command; a command may span reads.
    void take(Stream& stream, const char* bytes, qsizetype count, QByteArray& replies) {
        qsizetype at = 0;
        while (at < count) {
            if (stream.dataLeft > 0) {
                const qsizetype chunk = static_cast<qsizetype>(std::min<qint64>(stream.dataLeft, count - at));
                toPaper(stream, QByteArrayView(bytes + at, chunk), true);
                stream.dataLeft -= chunk;
                at += chunk;
                continue;
            }
            stream.command.append(bytes[at++]);
            // A command is known whole at its last byte, except a lone DLE, known at the byte
            // after it, which then starts the next command.
            while (!stream.command.isEmpty()) {
                const CommandShape shape = shapeOf(stream.command);
                if (shape.kind == CommandShape::Kind::Incomplete) break;
                const QByteArray next = stream.command.mid(shape.length);
                stream.command.truncate(shape.length);
                handle(stream, shape, replies);
                stream.command = next;
            }
        }
    }

    void handle(Stream& stream, const CommandShape& shape, QByteArray& replies) {
        const QByteArray& command = stream.command;
        switch (shape.kind) {
            case CommandShape::Kind::Incomplete:
            case CommandShape::Kind::RealTime:
                return;
            case CommandShape::Kind::StatusRequest: {
                ++statusRequests;
                const std::optional<char> status = realTimeStatus(static_cast<unsigned char>(command.at(2)));
                if (status && returnChannel && !silent) replies.append(*status);
                return;
            }
            case CommandShape::Kind::PaperSensorRequest: {
                ++confirmationRequests;
                if (silent) return;
                // Offline, the request waits behind the data; here it is lost with the rest.
                if (!canPrint()) {
                    bytesWhileUnable += command.size();
                    return;
                }
                const int n = static_cast<unsigned char>(command.at(2));
                if (!returnChannel) return;
                if (n == 1 || n == '1') replies.append(static_cast<char>(paperNearEnd ? 0x03 : 0x00));
                if (n == 2 || n == '2') replies.append('\0');  // the drawer: pin low
                return;
            }
            case CommandShape::Kind::Document: {
                stream.discarding = false;
                stream.dataLeft = shape.data;
                if (silent) return;
                // ESC @ after something printed starts the next document (after a drawer pulse,
                // which has no cut).
                const bool initialize = isInitialize(command);
                if (initialize) endDocument();
                if (toPaper(stream, command, !initialize) && isCut(command)) endDocument();
                return;
            }
        }
    }

    // Puts the bytes on paper while there is paper, and counts those that find none. True when
    // all of them printed. `content`: they make a document (an ESC @ alone does not).
    bool toPaper(Stream& stream, QByteArrayView bytes, bool content) {
        if (silent) return false;
        qsizetype printable = stream.discarding || !canPrint() ? 0 : bytes.size();
        if (paperLeft) printable = static_cast<qsizetype>(std::min<qint64>(printable, *paperLeft));
        printed.append(bytes.first(printable));
        if (printable > 0 && content) documentHasContent = true;
        if (paperLeft) {
            *paperLeft -= printable;
            if (*paperLeft == 0) {
                paperLeft.reset();
                paperOut = true;
                endDocument();
            }
        }
        if (printable == bytes.size()) return true;
        stream.discarding = true;
        bytesWhileUnable += bytes.size() - printable;
        return false;
    }

    std::optional<char> realTimeStatus(int n) const {
        // 0xx1xx10: bits 1 and 4 always set.
        int status = 0x12;
        switch (n) {
            case 1:
                if (!canPrint()) status |= 0x08;
                break;
            case 2:
                if (coverOpen) status |= 0x04;
                if (paperOut) status |= 0x20;
                break;
            case 3:
                break;
            case 4:
                if (paperNearEnd) status |= 0x0C;
                if (paperOut) status |= 0x60;
                break;
            default:
                return std::nullopt;
        }
        return static_cast<char>(status);
    }

    const Port port_;
    QThread thread_;
    QObject context_;
    // The printer thread's own.
    std::unique_ptr<Listener> listener_;
    quint16 tcpPort_ = 0;
    int slave_ = -1;
    std::list<std::unique_ptr<Stream>> streams_;
    QString address_;  // set before the constructor returns, read-only after
};

ReceiptPrinterStandIn::ReceiptPrinterStandIn(Port port) : impl_(std::make_unique<Impl>(port)) {}

ReceiptPrinterStandIn::~ReceiptPrinterStandIn() = default;

QString ReceiptPrinterStandIn::address() const { return impl_->address(); }

void ReceiptPrinterStandIn::runOutOfPaperAfter(qint64 bytes) {
    impl_->change([this, bytes] {
        if (bytes > 0) {
            impl_->paperLeft = bytes;
            return;
        }
        impl_->paperOut = true;
        impl_->endDocument();
    });
}

void ReceiptPrinterStandIn::setPaperOut(bool out) {
    impl_->change([this, out] {
        impl_->paperOut = out;
        impl_->paperLeft.reset();  // out now, or a new roll
        if (out) impl_->endDocument();
    });
}

void ReceiptPrinterStandIn::setPaperNearEnd(bool nearEnd) {
    impl_->change([this, nearEnd] { impl_->paperNearEnd = nearEnd; });
}

void ReceiptPrinterStandIn::setCoverOpen(bool open) {
    impl_->change([this, open] {
        impl_->coverOpen = open;
        if (open) impl_->endDocument();
    });
}

void ReceiptPrinterStandIn::setReturnChannel(bool present) {
    impl_->change([this, present] { impl_->returnChannel = present; });
}

void ReceiptPrinterStandIn::setSilent(bool silent) {
    impl_->change([this, silent] { impl_->silent = silent; });
}

void ReceiptPrinterStandIn::setRefuseConnections(bool refuse) { impl_->setRefuseConnections(refuse); }

void ReceiptPrinterStandIn::setNeverRead(bool neverRead) { impl_->setNeverRead(neverRead); }

QByteArray ReceiptPrinterStandIn::printed() const {
    return impl_->settled([this] { return impl_->printed; });
}

QStringList ReceiptPrinterStandIn::documents() const {
    // Where each document ends, the one still open included.
    const auto [bytes, ends] = impl_->settled([this] {
        QList<qsizetype> documentEnds = impl_->documentEnds;
        if (impl_->documentHasContent) documentEnds.append(impl_->printed.size());
        return std::pair(impl_->printed, documentEnds);
    });
    QStringList texts;
    qsizetype start = 0;
    for (const qsizetype end : ends) {
        QStringList rows;
        for (const auto& row : paper::escpos::interpretEscPos(bytes.mid(start, end - start)).rows) rows.append(row.text());
        texts.append(rows.join(u'\n'));
        start = end;
    }
    return texts;
}

qint64 ReceiptPrinterStandIn::bytesWhileUnable() const {
    return impl_->settled([this] { return impl_->bytesWhileUnable; });
}

int ReceiptPrinterStandIn::statusRequests() const {
    return impl_->settled([this] { return impl_->statusRequests; });
}

int ReceiptPrinterStandIn::confirmationRequests() const {
    return impl_->settled([this] { return impl_->confirmationRequests; });
}

int ReceiptPrinterStandIn::connections() const {
    return impl_->settled([this] { return impl_->connections; });
}

int ReceiptPrinterStandIn::mostOpenAtOnce() const {
    return impl_->settled([this] { return impl_->mostOpenAtOnce; });
}

}  // namespace kelmora::testing
