#include "platform/direct/receipt_link.h"
#include "platform/direct/status_replies.h"

#include <gtest/gtest.h>

namespace kelmora::platform::direct {
namespace {

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
        SCOPED_TRACE(testing::Message() << std::hex << int(c.printer) << ' ' << int(c.offlineCause) << ' ' << int(c.paperRoll));
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

}  // namespace
}  // namespace kelmora::platform::direct
