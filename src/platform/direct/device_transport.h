#pragma once

#include "platform/direct/transport.h"

namespace kelmora::platform::direct {

// The printer's device (the Linux USB printer class, /dev/usb/lpN), opened non-blocking with
// every wait done by poll(). A terminal in its place (a serial adapter, or the pseudo-terminal
// of the tests) is put in raw mode so the bytes pass unchanged.
class DeviceTransport final : public Transport {
public:
    explicit DeviceTransport(QString path);
    ~DeviceTransport() override;

    Outcome open(Deadline deadline) override;
    bool isOpen() const override { return fd_ >= 0; }
    void close() override;
    Outcome write(QByteArrayView bytes, Deadline deadline, qint64& taken) override;
    Outcome read(QByteArray& into, Deadline deadline) override;
    Outcome takeWaiting(QByteArray& into) override;
    QString error() const override { return error_; }

private:
    enum class Readable { Bytes, Nothing, Gone };
    // One non-blocking read into `into`.
    Readable readSome(QByteArray& into);
    // Waits for `events` on the device up to the deadline.
    Outcome waitFor(short events, Deadline deadline, const char* what);
    Outcome failed(const QString& what);

    QString path_;
    int fd_ = -1;
    QString error_;
};

}  // namespace kelmora::platform::direct
