#include "platform/direct/receipt_link.h"
#include "platform/direct/status_replies.h"

#include "support/core_application.h"
#include "support/receipt_printer_standin.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace kelmora::platform::direct {
namespace {

using testing::ReceiptPrinterStandIn;
using Port = ReceiptPrinterStandIn::Port;
using Outcome = ReceiptLink::Result::Kind;
using namespace std::chrono_literals;
// Short bounds, so the faults are told within a test's patience.
constexpr LinkBounds kBounds{.connect = 2000ms, .statusReply = 500ms, .writePerKiB = 100ms, .confirmBase = 2000ms,
                             .confirmPerKiB = 100ms, .idle = 10000ms};

QByteArray receipt(const QStringList& rows) {
    return "\x1b@" + rows.join(QLatin1Char('\n')).toLatin1() + '\n' + QByteArray("\x1dV\x42\x00", 4);
}

ReceiptLink linkTo(const ReceiptPrinterStandIn& printer, bool answersStatus = true, LinkBounds bounds = kBounds) {
    return ReceiptLink(*Address::parse(printer.address()), answersStatus, bounds);
}

// What the printer has put on paper, once it has read `count` documents or a while has passed.
QStringList documentsOnceThere(const ReceiptPrinterStandIn& printer, qsizetype count) {
    QDeadlineTimer deadline(3000);
    while (printer.documents().size() < count && !deadline.hasExpired()) QThread::msleep(10);
    return printer.documents();
}

using Reply = StatusReply;
using Kind = StatusReply::Kind;

TEST(StatusReplies, ToldApartByPatternWhereverTheReadsCut) {
    // DLE EOT replies, an automatic status block whose later bytes look like the other two kinds,
    // a GS r reply, and bytes of no known form (bit 7 set, 0xx1xx01).
    const QByteArray stream("\x16\x12\x10\x12\x0c\x00\x1e\x0c\x91\x11\x03", 11);
    const QList<Reply> expected{{Kind::RealTime, 0x16}, {Kind::RealTime, 0x12}, {Kind::RealTime, 0x1e},
                                {Kind::PaperSensor, 0x0c}, {Kind::PaperSensor, 0x03}};
    for (qsizetype piece : {1, 2, 3, 11}) {
        SCOPED_TRACE(piece);
        StatusReplyReader reader;
        QList<Reply> replies;
        for (qsizetype i = 0; i < stream.size(); i += piece) replies += reader.feed(QByteArrayView(stream).sliced(i, std::min(piece, stream.size() - i)));
        EXPECT_EQ(replies, expected);
    }
}

TEST(StatusReplies, DecodedAndNamedForStaff) {
    struct Case {
        quint8 printer, offlineCause, paperRoll;
        ReceiptStatus status;
        QString problem;
    };
    const QList<Case> cases{
        {0x16, 0x12, 0x12, {}, {}},
        {0x16, 0x12, 0x1e, {.paperNearEnd = true}, {}},
        {0x1e, 0x16, 0x12, {.offline = true, .coverOpen = true}, QStringLiteral("tapa abierta")},
        {0x1e, 0x32, 0x72, {.offline = true, .paperEnd = true}, QStringLiteral("sin papel")},
        {0x16, 0x12, 0x72, {.paperEnd = true}, QStringLiteral("sin papel")},  // roll sensor alone
        {0x1e, 0x32, 0x12, {.offline = true, .paperEnd = true}, QStringLiteral("sin papel")},  // stopped at paper end
        {0x1e, 0x76, 0x7e, {.offline = true, .coverOpen = true, .paperEnd = true, .paperNearEnd = true, .error = true},
         QStringLiteral("tapa abierta")},
        {0x1e, 0x52, 0x12, {.offline = true, .error = true}, QStringLiteral("error de la impresora")},
        {0x1e, 0x12, 0x12, {.offline = true}, QStringLiteral("fuera de línea")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << int(c.printer) << ' ' << int(c.offlineCause) << ' ' << int(c.paperRoll));
        const ReceiptStatus status = decodeStatus(c.printer, c.offlineCause, c.paperRoll);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(status.problem(), c.problem);
        EXPECT_EQ(status.canPrint(), c.problem.isEmpty());
    }
    EXPECT_TRUE(paperSensorSaysPaperEnd(0x0c));
    EXPECT_FALSE(paperSensorSaysPaperEnd(0x03));
    EXPECT_TRUE(paperSensorSaysNearEnd(0x03));
}

TEST(Address, ParsedFromTheSettingsText) {
    const auto tcp = [](const char* host, quint16 port) {
        Address address;
        address.host = QString::fromLatin1(host);
        address.port = port;
        return address;
    };
    const auto same = [](const std::optional<Address>& a, const Address& b) {
        return a && a->kind == b.kind && a->host == b.host && a->port == b.port && a->device == b.device;
    };
    EXPECT_TRUE(same(Address::parse(QStringLiteral("socket://10.0.0.7")), tcp("10.0.0.7", 9100)));
    EXPECT_TRUE(same(Address::parse(QStringLiteral("SOCKET://caja-1:9101")), tcp("caja-1", 9101)));
    EXPECT_TRUE(same(Address::parse(QStringLiteral("socket://[fe80::1]:65535")), tcp("fe80::1", 65535)));
    Address device;
    device.kind = Address::Kind::Device;
    device.device = QStringLiteral("/dev/usb/lp0");
    EXPECT_TRUE(same(Address::parse(QStringLiteral("/dev/usb/lp0")), device));
    EXPECT_EQ(Address::parse(QStringLiteral("socket://caja-1:9101"))->text(), QStringLiteral("socket://caja-1:9101"));
    EXPECT_EQ(Address::parse(QStringLiteral("socket://[::1]"))->text(), QStringLiteral("socket://[::1]:9100"));

    for (const char* bad : {"", "socket://", "socket://:9100", "socket://h:0", "socket://h:65536", "socket://h:",
                            "socket://h:91x", "socket://h:-1", "socket://h/x", "socket://[::1", "tcp://h:9100",
                            "dev/usb/lp0", "usb://lp0", "/dev/usb/"}) {
        EXPECT_FALSE(Address::parse(QString::fromLatin1(bad))) << bad;
    }
}

class ReceiptLinkExchange : public ::testing::TestWithParam<Port> {};

// A day at the till: receipts confirmed on paper, the roll near its end, the cover opened before
// a receipt, the paper running out in the middle of a long one and a new roll put in.
TEST_P(ReceiptLinkExchange, EachReceiptEndsAsThePaperSaw) {
    ReceiptPrinterStandIn printer(GetParam());
    ReceiptLink link = linkTo(printer);

    const ReceiptLink::Result probe = link.status();
    EXPECT_EQ(probe.kind, Outcome::Ready) << probe.detail.toStdString();
    EXPECT_TRUE(probe.problem.isEmpty());

    ReceiptLink::Result printed = link.print(receipt({QStringLiteral("Mesa 4"), QStringLiteral("Total 12.000")}));
    EXPECT_EQ(printed.kind, Outcome::Ready) << printed.detail.toStdString();
    EXPECT_TRUE(printed.bytesSent);

    printer.setPaperNearEnd(true);
    printed = link.print(receipt({QStringLiteral("Mesa 5")}));
    EXPECT_EQ(printed.kind, Outcome::Ready) << printed.detail.toStdString();
    EXPECT_TRUE(printed.status.paperNearEnd);
    printer.setPaperNearEnd(false);

    printer.setCoverOpen(true);
    printed = link.print(receipt({QStringLiteral("Tapa")}));
    EXPECT_EQ(printed.kind, Outcome::CannotPrint);
    EXPECT_EQ(printed.problem, QStringLiteral("tapa abierta"));
    EXPECT_FALSE(printed.bytesSent);
    EXPECT_EQ(printer.bytesWhileUnable(), 0) << "a byte of the receipt went while the cover was open";
    printer.setCoverOpen(false);

    QStringList rows;
    for (int row = 1; row <= 60; ++row) rows.append(QStringLiteral("Fila %1").arg(row, 2, 10, QLatin1Char('0')));
    printer.runOutOfPaperAfter(20);
    printed = link.print(receipt(rows));
    EXPECT_EQ(printed.kind, Outcome::CannotPrint) << printed.detail.toStdString();
    EXPECT_EQ(printed.problem, QStringLiteral("sin papel"));
    EXPECT_TRUE(printed.bytesSent);

    // The new roll: the confirmation the printer never gave is not taken from the next receipt.
    printer.setPaperOut(false);
    printed = link.print(receipt({QStringLiteral("Mesa 6")}));
    EXPECT_EQ(printed.kind, Outcome::Ready) << printed.detail.toStdString();

    EXPECT_EQ(printer.documents(), QStringList({QStringLiteral("Mesa 4\nTotal 12.000"), QStringLiteral("Mesa 5"),
                                                QStringLiteral("Fila 01\nFila 02\nFi"), QStringLiteral("Mesa 6")}));
    // One connection kept from receipt to receipt, opened again only after the one left in doubt.
    if (GetParam() == Port::Tcp) {
        EXPECT_EQ(printer.connections(), 2);
    }
}

// A printer without a return channel is found by its silence once; from then on the link asks
// nothing and sends. One the settings say has none is never asked.
TEST_P(ReceiptLinkExchange, NoReturnChannelIsFoundOnceAndNeverAskedAgain) {
    ReceiptPrinterStandIn printer(GetParam());
    printer.setReturnChannel(false);
    ReceiptLink link = linkTo(printer);

    ReceiptLink::Result printed = link.print(receipt({QStringLiteral("Sin respuesta")}));
    EXPECT_EQ(printed.kind, Outcome::NoStatus) << printed.detail.toStdString();
    EXPECT_TRUE(printed.bytesSent);
    EXPECT_TRUE(printed.problem.isEmpty());
    EXPECT_FALSE(link.answersStatus());
    const int asked = printer.statusRequests();

    EXPECT_EQ(link.status().kind, Outcome::NoStatus);
    EXPECT_EQ(link.print(receipt({QStringLiteral("Otra")})).kind, Outcome::NoStatus);
    EXPECT_EQ(documentsOnceThere(printer, 2), QStringList({QStringLiteral("Sin respuesta"), QStringLiteral("Otra")}));
    EXPECT_EQ(printer.statusRequests(), asked);
    EXPECT_EQ(printer.confirmationRequests(), 0);

    printer.setReturnChannel(true);
    ReceiptLink toldNone = linkTo(printer, false);
    EXPECT_EQ(toldNone.print(receipt({QStringLiteral("Tercera")})).kind, Outcome::NoStatus);
    EXPECT_EQ(documentsOnceThere(printer, 3).size(), 3);
    EXPECT_EQ(printer.statusRequests(), asked);

    // A printer that answered once and then falls silent does not answer: it still has a channel.
    ReceiptLink answered = linkTo(printer);
    EXPECT_EQ(answered.status().kind, Outcome::Ready);
    printer.setSilent(true);
    const ReceiptLink::Result silent = answered.print(receipt({QStringLiteral("Cuarta")}));
    EXPECT_EQ(silent.kind, Outcome::NoAnswer);
    EXPECT_EQ(silent.problem, QStringLiteral("no responde"));
    EXPECT_FALSE(silent.bytesSent);
    EXPECT_TRUE(answered.answersStatus());
}

// A printer that takes nothing in: a long document's write gives up within its bound, and says
// some of it may be on paper.
TEST_P(ReceiptLinkExchange, NeverReadGivesUpWithinTheWriteBound) {
    ReceiptPrinterStandIn printer(GetParam());
    printer.setNeverRead(true);
    LinkBounds bounds = kBounds;
    bounds.connect = 1000ms;
    bounds.writePerKiB = 0ms;
    ReceiptLink link = linkTo(printer, false, bounds);

    QElapsedTimer elapsed;
    elapsed.start();
    const ReceiptLink::Result printed = link.print(QByteArray(16 << 20, 'x'));
    EXPECT_EQ(printed.kind, Outcome::NoAnswer) << printed.detail.toStdString();
    EXPECT_EQ(printed.problem, QStringLiteral("no responde"));
    EXPECT_TRUE(printed.bytesSent);
    EXPECT_LT(elapsed.elapsed(), 1000 + 2000) << "the write bound was not kept";
}

INSTANTIATE_TEST_SUITE_P(Ports, ReceiptLinkExchange, ::testing::Values(Port::Tcp, Port::PseudoTerminal),
                         [](const auto& port) { return port.param == Port::Tcp ? "Tcp" : "PseudoTerminal"; });

// A refused connection is no answer, told at once and never taken for a missing return channel.
TEST(ReceiptLinkConnection, RefusedIsNoAnswerAtOnce) {
    ReceiptPrinterStandIn printer;
    printer.setRefuseConnections(true);
    ReceiptLink link = linkTo(printer);
    QElapsedTimer elapsed;
    elapsed.start();
    const ReceiptLink::Result probe = link.status();
    const ReceiptLink::Result printed = link.print(receipt({QStringLiteral("Rechazada")}));
    EXPECT_LT(elapsed.elapsed(), kBounds.connect.count()) << "a refusal waited out the connect bound";
    EXPECT_EQ(probe.kind, Outcome::NoAnswer);
    EXPECT_EQ(printed.kind, Outcome::NoAnswer);
    EXPECT_EQ(printed.problem, QStringLiteral("no responde"));
    EXPECT_FALSE(printed.bytesSent);
    EXPECT_TRUE(link.answersStatus());

    printer.setRefuseConnections(false);
    EXPECT_EQ(link.status().kind, Outcome::Ready);
}

}  // namespace
}  // namespace kelmora::platform::direct
