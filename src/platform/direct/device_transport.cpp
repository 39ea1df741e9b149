#include "platform/direct/device_transport.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

namespace kelmora::platform::direct {

namespace {

constexpr qsizetype kReadPiece = 512;

QString systemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

}  // namespace

DeviceTransport::DeviceTransport(QString path) : path_(std::move(path)) {}

DeviceTransport::~DeviceTransport() { close(); }

Transport::Outcome DeviceTransport::open(Deadline) {
    close();
    const QByteArray path = path_.toLocal8Bit();
    fd_ = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return failed(QStringLiteral("opening %1: %2").arg(path_, systemError(errno)));
    if (::isatty(fd_) == 1) {
        termios mode{};
        if (::tcgetattr(fd_, &mode) != 0) return failed(QStringLiteral("reading the terminal mode: %1").arg(systemError(errno)));
        ::cfmakeraw(&mode);
        if (::tcsetattr(fd_, TCSANOW, &mode) != 0) return failed(QStringLiteral("setting raw mode: %1").arg(systemError(errno)));
    }
    return Outcome::Done;
}

void DeviceTransport::close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

Transport::Outcome DeviceTransport::write(QByteArrayView bytes, Deadline deadline, qint64& taken) {
    taken = 0;
    if (fd_ < 0) return failed(QStringLiteral("writing: not open"));
    while (taken < bytes.size()) {
        const ssize_t written = ::write(fd_, bytes.data() + taken, static_cast<size_t>(bytes.size() - taken));
        if (written > 0) {
            taken += written;
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (const Outcome ready = waitFor(POLLOUT, deadline, "writing"); ready != Outcome::Done) return ready;
        } else {
            return failed(QStringLiteral("writing: %1").arg(systemError(written < 0 ? errno : EIO)));
        }
    }
    return Outcome::Done;
}

Transport::Outcome DeviceTransport::read(QByteArray& into, Deadline deadline) {
    if (fd_ < 0) return failed(QStringLiteral("reading: not open"));
    for (;;) {
        switch (readSome(into)) {
        case Readable::Bytes:
            return Outcome::Done;
        case Readable::Gone:
            return Outcome::Failed;
        case Readable::Nothing:
            break;
        }
        if (const Outcome ready = waitFor(POLLIN, deadline, "reading"); ready != Outcome::Done) return ready;
    }
}

Transport::Outcome DeviceTransport::takeWaiting(QByteArray& into) {
    if (fd_ < 0) return Outcome::Failed;
    for (;;) {
        switch (readSome(into)) {
        case Readable::Bytes:
            break;
        case Readable::Nothing:
            return Outcome::Done;
        case Readable::Gone:
            return Outcome::Failed;
        }
    }
}

DeviceTransport::Readable DeviceTransport::readSome(QByteArray& into) {
    char piece[kReadPiece];
    for (;;) {
        const ssize_t got = ::read(fd_, piece, sizeof piece);
        if (got > 0) {
            into.append(piece, got);
            return Readable::Bytes;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Readable::Nothing;
        // End of file or an error such as EIO: the device went away (unplugged, or the other end
        // of a terminal closed).
        failed(QStringLiteral("reading: %1").arg(got == 0 ? QStringLiteral("end of file") : systemError(errno)));
        return Readable::Gone;
    }
}

Transport::Outcome DeviceTransport::waitFor(short events, Deadline deadline, const char* what) {
    for (;;) {
        pollfd watched{fd_, events, 0};
        const int ready = ::poll(&watched, 1, millisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return failed(QStringLiteral("%1: %2").arg(QLatin1String(what), systemError(errno)));
        if (ready == 0) {
            error_ = QStringLiteral("%1: timed out").arg(QLatin1String(what));
            return Outcome::TimedOut;
        }
        if ((watched.revents & events) != 0) return Outcome::Done;
        return failed(QStringLiteral("%1: the device hung up or failed").arg(QLatin1String(what)));
    }
}

Transport::Outcome DeviceTransport::failed(const QString& what) {
    error_ = what;
    close();
    return Outcome::Failed;
}

}  // namespace kelmora::platform::direct
