#include "platform/direct/tcp_transport.h"

#include <utility>

namespace kelmora::platform::direct {

TcpTransport::TcpTransport(QString host, quint16 port) : host_(std::move(host)), port_(port) {}

TcpTransport::~TcpTransport() { close(); }

Transport::Outcome TcpTransport::open(Deadline deadline) {
    close();
    socket_ = std::make_unique<QTcpSocket>();
    socket_->connectToHost(host_, port_);
    if (!socket_->waitForConnected(millisecondsLeft(deadline))) {
        error_ = QStringLiteral("connecting to %1:%2: %3").arg(host_).arg(port_).arg(socket_->errorString());
        close();
        return Outcome::Failed;
    }
    // Status requests are a few bytes each and must not wait for more to fill a segment.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return Outcome::Done;
}

bool TcpTransport::isOpen() const { return socket_ && socket_->state() == QAbstractSocket::ConnectedState; }

void TcpTransport::close() {
    if (!socket_) return;
    // abort, not close: close would wait for unsent bytes, and nothing here spins the event loop.
    socket_->abort();
    socket_.reset();
}

Transport::Outcome TcpTransport::write(QByteArrayView bytes, Deadline deadline, qint64& taken) {
    taken = 0;
    if (!isOpen()) {
        error_ = QStringLiteral("writing: not connected");
        return Outcome::Failed;
    }
    // The socket's own buffer is empty here: every write below is flushed whole or the link closed.
    const qint64 queued = socket_->write(bytes.data(), bytes.size());
    if (queued != bytes.size()) {
        error_ = QStringLiteral("writing: %1").arg(socket_->errorString());
        close();
        return Outcome::Failed;
    }
    while (socket_->bytesToWrite() > 0) {
        taken = bytes.size() - socket_->bytesToWrite();
        if (!socket_->waitForBytesWritten(millisecondsLeft(deadline))) {
            // A socket that failed has dropped its buffer; one still connected tells what it kept.
            if (isOpen()) taken = bytes.size() - socket_->bytesToWrite();
            return waitFailed("writing");
        }
    }
    taken = bytes.size();
    return Outcome::Done;
}

Transport::Outcome TcpTransport::read(QByteArray& into, Deadline deadline) {
    if (!socket_) {
        error_ = QStringLiteral("reading: not connected");
        return Outcome::Failed;
    }
    // Bytes may have come in already while the socket waited to write.
    if (socket_->bytesAvailable() == 0 && !socket_->waitForReadyRead(millisecondsLeft(deadline))
        && socket_->bytesAvailable() == 0) {
        return waitFailed("reading");
    }
    into += socket_->readAll();
    return Outcome::Done;
}

Transport::Outcome TcpTransport::takeWaiting(QByteArray& into) {
    if (!socket_) return Outcome::Failed;
    into += socket_->readAll();
    while (socket_->state() == QAbstractSocket::ConnectedState && socket_->waitForReadyRead(0)) {
        into += socket_->readAll();
    }
    into += socket_->readAll();
    if (socket_->state() != QAbstractSocket::ConnectedState) {
        error_ = QStringLiteral("the connection was closed: %1").arg(socket_->errorString());
        close();
        return Outcome::Failed;
    }
    return Outcome::Done;
}

Transport::Outcome TcpTransport::waitFailed(const char* what) {
    if (socket_ && socket_->state() == QAbstractSocket::ConnectedState
        && socket_->error() == QAbstractSocket::SocketTimeoutError) {
        error_ = QStringLiteral("%1: timed out").arg(QLatin1String(what));
        return Outcome::TimedOut;
    }
    error_ = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                          socket_ ? socket_->errorString() : QStringLiteral("not connected"));
    close();
    return Outcome::Failed;
}

}  // namespace kelmora::platform::direct
