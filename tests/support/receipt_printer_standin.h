#pragma once

// A receipt printer stand-in for tests: on a loopback TCP port, or behind a pseudo-terminal that
// takes the place of the USB printer device. It reads the byte stream command by command as an
// ESC/POS printer does, answers the real-time status requests (DLE EOT 1, 2, 4) at once and the
// paper sensor request (GS r 1) in stream order, and keeps what it printed. It runs on a thread of
// its own, so a test may block on it (a blocking client on the test's thread, a QProcess wait).
// That thread's event loop needs a QCoreApplication to exist.
//
// Faults to stage: paper running out after N more bytes (what comes then is discarded until the
// paper is back, a GS r among it: a real printer would answer it once back, this one never does),
// the cover opened, no return channel, no answer at all, connections refused, a connection
// accepted and never read.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace kelmora::testing {

class ReceiptPrinterStandIn {
public:
    enum class Port { Tcp, PseudoTerminal };
    explicit ReceiptPrinterStandIn(Port port = Port::Tcp);
    ~ReceiptPrinterStandIn();
    ReceiptPrinterStandIn(const ReceiptPrinterStandIn&) = delete;
    ReceiptPrinterStandIn& operator=(const ReceiptPrinterStandIn&) = delete;

    // What a service's `conexion=` names it by: socket://127.0.0.1:PORT or the terminal's path.
    QString address() const;

    // The faults, each taking effect for the bytes sent after it returns: what was sent before (over
    // loopback, all a blocking client wrote), the stand-in takes first, in the state before.
    void runOutOfPaperAfter(qint64 bytes);  // counted in printed bytes, status requests aside
    void setPaperOut(bool out);             // false: paper back, a new roll
    void setPaperNearEnd(bool nearEnd);
    void setCoverOpen(bool open);           // printing stops as with no paper, until closed
    void setReturnChannel(bool present);    // false: never a reply, everything else as usual
    void setSilent(bool silent);            // true: reads and prints nothing, answers nothing
    void setRefuseConnections(bool refuse); // TCP: nobody listens on the port
    void setNeverRead(bool neverRead);      // accepts connections and never reads from them (nor the terminal)

    // Each of these first takes what has been sent so far, as the setters do.
    //
    // Everything put on paper, in order, status requests aside; documents are told apart by the
    // cuts, by ESC @ after anything printed (a drawer pulse has no cut), and by the paper running
    // out or the cover opening.
    QByteArray printed() const;
    // The text of each document printed whole or in part (the rows as the ESC/POS reader reads
    // them, one string per document, rows joined by '\n').
    QStringList documents() const;
    // Bytes of documents (real-time requests aside) that arrived while it could not print.
    qint64 bytesWhileUnable() const;
    // Status requests (DLE EOT) and confirmations (GS r) answered or asked.
    int statusRequests() const;
    int confirmationRequests() const;
    // TCP connections accepted so far, and the most open at once; all are served.
    int connections() const;
    int mostOpenAtOnce() const;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kelmora::testing
