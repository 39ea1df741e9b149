#include "support/receipt_printer_standin.h"

#include "support/core_application.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <memory>

namespace kelmora::testing {
namespace {

using Port = ReceiptPrinterStandIn::Port;
// A picture of two rows of 4 bytes whose data holds a status request (10 04 01) and bytes a
// terminal would act on if not raw (CR, ^C, XON, XOFF, DEL).
const QByteArray kPicture = QByteArray("\x1dv0\x00\x04\x00\x02\x00", 8) + QByteArray("\x10\x04\x01\x0d\x03\x11\x13\x7f", 8);
const QByteArray kCut("\x1dV\x42\x00", 4);
const QByteArray kStatusRequests("\x10\x04\x01\x10\x04\x02\x10\x04\x04", 9);
const QByteArray kPaperSensor("\x1dr\x01", 3);

QByteArray receipt(const QByteArray& first, const QByteArray& last) {
    return "\x1b@" + first + "\n" + kPicture + last + "\n" + kCut;
}

// A client as plain as a program's: a blocking socket, or the device opened and written.
class Client {
public:
    explicit Client(const QString& address) {
        const QUrl url(address);
        if (url.scheme() == QLatin1String("socket")) {
            socket_.connectToHost(url.host(), static_cast<quint16>(url.port()));
            socket_.waitForConnected(3000);
        } else {
            fd_ = ::open(address.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        }
    }
    ~Client() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool open() const { return fd_ >= 0 || socket_.state() == QAbstractSocket::ConnectedState; }

    void write(const QByteArray& bytes) {
        if (fd_ < 0) {
            socket_.write(bytes);
            socket_.waitForBytesWritten(3000);
            return;
        }
        for (qsizetype at = 0; at < bytes.size();) {
            const ssize_t n = ::write(fd_, bytes.constData() + at, static_cast<size_t>(bytes.size() - at));
            if (n <= 0) return;
            at += n;
        }
    }

    // What came within a few seconds, up to `count` bytes.
    QByteArray read(qsizetype count) {
        QDeadlineTimer deadline(3000);
        QByteArray in;
        while (in.size() < count && !deadline.hasExpired()) {
            const int wait = static_cast<int>(deadline.remainingTime());
            if (fd_ < 0) {
                if (socket_.bytesAvailable() == 0 && !socket_.waitForReadyRead(wait)) break;
                in += socket_.read(count - in.size());
                continue;
            }
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, wait) <= 0) break;
            char byte = 0;
            if (::read(fd_, &byte, 1) == 1) in += byte;
        }
        return in;
    }

private:
    QTcpSocket socket_;
    int fd_ = -1;
};

class ReceiptPrinterStandInTest : public ::testing::TestWithParam<Port> {};

// One receipt printed in two writes split inside its picture; then the printer staged in each
// state, asked with the three real-time requests and a paper sensor request, and sent a document
// the state lets through or not.
TEST_P(ReceiptPrinterStandInTest, AnswersAsTheStateIsAndPrintsOnlyWhatPaperTakes) {
    ReceiptPrinterStandIn printer(GetParam());
    Client client(printer.address());
    ASSERT_TRUE(client.open()) << printer.address().toStdString();

    const QByteArray first = receipt("Hola", "Fin");
    const qsizetype split = first.indexOf('\x10') + 1;
    client.write(first.left(split));
    QDeadlineTimer deadline(3000);
    while (!printer.printed().endsWith('\x10') && !deadline.hasExpired()) QThread::msleep(5);
    client.write(first.mid(split) + kPaperSensor);
    // The status request inside the picture would have answered 0x12 first.
    EXPECT_EQ(client.read(1), QByteArray(1, '\x00'));

    client.write(kStatusRequests);
    EXPECT_EQ(client.read(3), QByteArray("\x12\x12\x12"));

    printer.setPaperNearEnd(true);
    client.write(kPaperSensor + kStatusRequests);
    EXPECT_EQ(client.read(4), QByteArray("\x03\x12\x12\x1e"));
    printer.setPaperNearEnd(false);

    printer.setCoverOpen(true);
    const QByteArray lost = receipt("Tapa", "abierta");
    client.write(lost + kPaperSensor + kStatusRequests);
    EXPECT_EQ(client.read(3), QByteArray("\x1a\x16\x12"));
    EXPECT_EQ(printer.bytesWhileUnable(), lost.size() + kPaperSensor.size());
    printer.setCoverOpen(false);

    // ESC @ and four letters fit on what is left of the roll.
    printer.runOutOfPaperAfter(6);
    const QByteArray cutShort = receipt("Segundo", "documento");
    client.write(cutShort + kPaperSensor + kStatusRequests);
    EXPECT_EQ(client.read(3), QByteArray("\x1a\x32\x72"));
    printer.setPaperOut(false);
    // The paper sensor request went with the rest of the document: nothing comes before this.
    client.write(kStatusRequests.left(3));
    EXPECT_EQ(client.read(1), QByteArray("\x12"));

    EXPECT_EQ(printer.printed(), first + "\x1b@Segu");
    EXPECT_EQ(printer.documents(), QStringList({QStringLiteral("Hola\nFin"), QStringLiteral("Segu")}));
    EXPECT_EQ(printer.bytesWhileUnable(), lost.size() + cutShort.size() - 6 + 2 * kPaperSensor.size());
    EXPECT_EQ(printer.statusRequests(), 13);
    EXPECT_EQ(printer.confirmationRequests(), 4);
}

INSTANTIATE_TEST_SUITE_P(Ports, ReceiptPrinterStandInTest, ::testing::Values(Port::Tcp, Port::PseudoTerminal),
                         [](const auto& port) { return port.param == Port::Tcp ? "Tcp" : "PseudoTerminal"; });

// Without a return channel it prints and never answers; silent it neither prints nor answers;
// never reading it leaves the bytes in the kernel until told to read. Each setter takes what was
// sent before it in the state before, so nothing here waits for a reply that must not come.
TEST(ReceiptPrinterStandInQuiet, PrintsOrAnswersOnlyAsStaged) {
    ReceiptPrinterStandIn printer;
    Client client(printer.address());
    printer.setReturnChannel(false);
    client.write(receipt("Sin", "respuesta") + kPaperSensor + kStatusRequests);
    printer.setReturnChannel(true);

    printer.setSilent(true);
    client.write(receipt("Muda", "impresora") + kPaperSensor + kStatusRequests);
    EXPECT_EQ(printer.statusRequests(), 6);
    printer.setSilent(false);

    // An answer no request before could have had: the first to come is this one.
    printer.setPaperNearEnd(true);
    printer.setNeverRead(true);
    client.write(kStatusRequests.right(3));
    EXPECT_EQ(printer.statusRequests(), 6);
    printer.setNeverRead(false);
    EXPECT_EQ(printer.statusRequests(), 7);
    EXPECT_EQ(client.read(1), QByteArray("\x1e"));
    EXPECT_EQ(printer.documents(), QStringList({QStringLiteral("Sin\nrespuesta")}));
    EXPECT_EQ(printer.bytesWhileUnable(), 0);
}

TEST(ReceiptPrinterStandInConnections, RefusesWhileToldAndListensAgainOnTheSamePort) {
    ReceiptPrinterStandIn printer;
    Client first(printer.address());
    printer.setRefuseConnections(true);
    QTcpSocket refused;
    const QUrl url(printer.address());
    refused.connectToHost(url.host(), static_cast<quint16>(url.port()));
    EXPECT_FALSE(refused.waitForConnected(3000));
    EXPECT_EQ(refused.error(), QAbstractSocket::ConnectionRefusedError);

    printer.setRefuseConnections(false);
    Client second(printer.address());
    second.write(kStatusRequests.left(3));
    EXPECT_EQ(second.read(1), QByteArray("\x12"));
    EXPECT_EQ(printer.connections(), 2);
    EXPECT_EQ(printer.mostOpenAtOnce(), 2);
}

}  // namespace
}  // namespace kelmora::testing
