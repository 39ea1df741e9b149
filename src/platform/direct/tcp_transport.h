#pragma once

#include "platform/direct/transport.h"

#include <QTcpSocket>

#include <memory>

namespace kelmora::platform::direct {

// A printer's raw TCP port, through a QTcpSocket in blocking mode: the printing thread runs no
// event loop while it talks to the printer, so the socket's own waits do the work.
class TcpTransport final : public Transport {
public:
    TcpTransport(QString host, quint16 port);
    ~TcpTransport() override;

    Outcome open(Deadline deadline) override;
    bool isOpen() const override;
    void close() override;
    Outcome write(QByteArrayView bytes, Deadline deadline, qint64& taken) override;
    Outcome read(QByteArray& into, Deadline deadline) override;
    Outcome takeWaiting(QByteArray& into) override;
    QString error() const override { return error_; }

private:
    // A wait that returned false: a time-out on a live connection, or the connection is gone.
    Outcome waitFailed(const char* what);

    QString host_;
    quint16 port_;
    // Made when opened, on the thread that uses it.
    std::unique_ptr<QTcpSocket> socket_;
    QString error_;
};

}  // namespace kelmora::platform::direct
