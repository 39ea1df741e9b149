#pragma once

// The bytes a receipt printer sends back, told apart by their bit pattern: the real-time status
// replies (DLE EOT), the paper sensor reply (GS r 1) that comes in stream order, and the
// automatic status blocks some printers send unasked. No I/O here.

#include "platform/direct/receipt_link.h"

#include <QByteArrayView>
#include <QList>

namespace kelmora::platform::direct {

// The requests, as sent.
inline constexpr char kStatusRequests[] = "\x10\x04\x01\x10\x04\x02\x10\x04\x04";  // DLE EOT 1, 2, 4
inline constexpr char kProbeRequests[] = "\x10\x04\x02\x10\x04\x04";               // DLE EOT 2, 4
inline constexpr char kConfirmationRequest[] = "\x1d\x72\x01";                     // GS r 1

struct StatusReply {
    enum class Kind {
        RealTime,     // 0xx1xx10: the answer to the oldest DLE EOT not yet answered
        PaperSensor,  // 0xx0xxxx: the answer to a GS r 1
    };
    Kind kind;
    quint8 byte;
    bool operator==(const StatusReply&) const = default;
};

// Splits what the printer sends into replies. It keeps its place across calls, so an automatic
// status block cut between two reads is still skipped whole; bytes of no known form are dropped.
class StatusReplyReader {
public:
    QList<StatusReply> feed(QByteArrayView bytes);

private:
    int automaticStatusLeft_ = 0;  // bytes of an automatic status block still to skip
};

// What one real-time reply says, for the request `n` it answers (1, 2 or 4), folded into `status`.
// Paper end is told by both DLE EOT 2 and DLE EOT 4; either one sets it.
void applyRealTimeReply(ReceiptStatus& status, int n, quint8 reply);
// The three replies of one status request round, in the order asked (DLE EOT 1, 2, 4).
ReceiptStatus decodeStatus(quint8 printer, quint8 offlineCause, quint8 paperRoll);
// The paper sensor reply of GS r 1: paper end (bits 2-3) and paper near end (bits 0-1).
bool paperSensorSaysPaperEnd(quint8 reply);
bool paperSensorSaysNearEnd(quint8 reply);

}  // namespace kelmora::platform::direct
