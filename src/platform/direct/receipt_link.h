#pragma once

// A receipt printer spoken to directly, over TCP (port 9100) or the Linux USB printer device,
// with its real-time status read before a document and a confirmation asked for after it.
//
// Everything here blocks, within bounds: it runs on the printing thread, never on the thread of
// the windows and the polls.

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace kelmora::platform::direct {

// Where a printer is reached: `socket://HOST[:PORT]` (port 9100 by default) or a device path
// such as `/dev/usb/lp0`.
struct Address {
    enum class Kind { Tcp, Device };
    Kind kind = Kind::Tcp;
    QString host;
    quint16 port = 9100;
    QString device;

    // nullopt when the text is neither form (an empty host, a bad port, a relative path).
    static std::optional<Address> parse(const QString& text);
    // socket://HOST:PORT or the device path, as a technician reads it.
    QString text() const;
};

// What a receipt printer says of itself, from the real-time status replies.
struct ReceiptStatus {
    bool offline = false;
    bool coverOpen = false;
    bool paperEnd = false;
    bool paperNearEnd = false;
    bool error = false;  // mechanical, cutter, unrecoverable or recoverable error

    bool canPrint() const { return !offline && !coverOpen && !paperEnd && !error; }
    // Why it cannot print, as staff read it: "sin papel", "tapa abierta", "error de la impresora",
    // "fuera de línea"; empty when it can print. Paper near end is not a problem.
    QString problem() const;
    bool operator==(const ReceiptStatus&) const = default;
};

// Time bounds. The confirmation's bound grows with the document: a long logo takes a while to print.
struct LinkBounds {
    std::chrono::milliseconds connect{3000};
    std::chrono::milliseconds statusReply{1500};
    std::chrono::milliseconds writePerKiB{1000};  // plus `connect` for the whole write
    std::chrono::milliseconds confirmBase{5000};
    std::chrono::milliseconds confirmPerKiB{500};
    // An open connection unused this long is closed: most receipt printers serve one client at a
    // time, and many drop idle ones themselves.
    std::chrono::milliseconds idle{10000};
};

// One printer's connection: at most one open at a time, opened when needed.
class ReceiptLink {
public:
    // `answersStatus` false: the printer has no return channel (the settings say so): nothing is
    // asked, and what was sent counts as printed.
    explicit ReceiptLink(Address address, bool answersStatus = true, LinkBounds bounds = {});
    ~ReceiptLink();
    ReceiptLink(const ReceiptLink&) = delete;
    ReceiptLink& operator=(const ReceiptLink&) = delete;

    struct Result {
        enum class Kind {
            Ready,          // it answered and can print; after print(): confirmed on paper
            CannotPrint,    // it answered that it cannot print (status.problem() says why)
            NoAnswer,       // no connection, a write that did not go, or no reply within the bound
            NoStatus,       // it has no return channel; after print(): sent, taken as printed
        };
        Kind kind = Kind::NoAnswer;
        ReceiptStatus status;  // as last read (paper near end may be set on Ready)
        // Staff's words for a problem: the status's problem(), or "no responde"; empty when Ready
        // or NoStatus.
        QString problem;
        // Some of the document's bytes were taken by the connection before the failure: part of
        // it may be on paper.
        bool bytesSent = false;
        // Technician's detail for the log (the socket's error, which reply was missing).
        QString detail;
    };

    // The probe: the real-time status requests (DLE EOT 1, 2 and 4).
    Result status();
    // Status before; the document's bytes; a request the printer answers only once it has
    // processed everything before it (GS r 1); status after. Ready only when the confirmation
    // came back with paper present and no error. While waiting for the confirmation the status
    // is asked again, so paper running out or a cover opened shows at once.
    Result print(const QByteArray& document);

    // A printer that never answered a status request, on a connection that otherwise worked,
    // since this link was made: it is taken as having no return channel (NoStatus from then on).
    bool answersStatus() const;
    // Closes the connection when it has been unused for the idle bound.
    void closeIfIdle();
    const Address& address() const;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kelmora::platform::direct
