#include "platform/direct/status_replies.h"

namespace kelmora::platform::direct {

namespace {

// Bits 0, 1, 4 and 7 tell the kinds apart; the others carry the status.
constexpr quint8 kKindMask = 0x93;
constexpr quint8 kRealTimePattern = 0x12;         // 0xx1xx10
constexpr quint8 kAutomaticStatusPattern = 0x10;  // 0xx1xx00
constexpr quint8 kPaperSensorMask = 0x90;         // 0xx0xxxx
constexpr int kAutomaticStatusLength = 4;

}  // namespace

QList<StatusReply> StatusReplyReader::feed(QByteArrayView bytes) {
    QList<StatusReply> replies;
    for (char c : bytes) {
        const auto byte = static_cast<quint8>(c);
        if (automaticStatusLeft_ > 0) {
            --automaticStatusLeft_;
        } else if ((byte & kKindMask) == kRealTimePattern) {
            replies.append({StatusReply::Kind::RealTime, byte});
        } else if ((byte & kKindMask) == kAutomaticStatusPattern) {
            automaticStatusLeft_ = kAutomaticStatusLength - 1;
        } else if ((byte & kPaperSensorMask) == 0) {
            replies.append({StatusReply::Kind::PaperSensor, byte});
        }
    }
    return replies;
}

void applyRealTimeReply(ReceiptStatus& status, int n, quint8 reply) {
    switch (n) {
    case 1:
        status.offline = (reply & 0x08) != 0;
        break;
    case 2:
        status.coverOpen = (reply & 0x04) != 0;
        status.paperEnd = status.paperEnd || (reply & 0x20) != 0;  // stopped at paper end
        status.error = (reply & 0x40) != 0;
        break;
    case 4:
        status.paperNearEnd = (reply & 0x0c) != 0;
        status.paperEnd = status.paperEnd || (reply & 0x60) != 0;
        break;
    default:
        break;
    }
}

ReceiptStatus decodeStatus(quint8 printer, quint8 offlineCause, quint8 paperRoll) {
    ReceiptStatus status;
    applyRealTimeReply(status, 1, printer);
    applyRealTimeReply(status, 2, offlineCause);
    applyRealTimeReply(status, 4, paperRoll);
    return status;
}

bool paperSensorSaysPaperEnd(quint8 reply) { return (reply & 0x0c) != 0; }
bool paperSensorSaysNearEnd(quint8 reply) { return (reply & 0x03) != 0; }

QString ReceiptStatus::problem() const {
    if (coverOpen) return QStringLiteral("tapa abierta");
    if (paperEnd) return QStringLiteral("sin papel");
    if (error) return QStringLiteral("error de la impresora");
    if (offline) return QStringLiteral("fuera de línea");
    return {};
}

}  // namespace kelmora::platform::direct
