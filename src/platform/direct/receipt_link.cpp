// The exchanges with one receipt printer: the status probe, and a document followed by its
// confirmation. Each exchange starts on a connection with nothing stale waiting to be read, and
// a connection left in doubt (a time-out, a reply still owed) is closed, so a late reply is never
// taken as the answer to a newer request.

#include "platform/direct/receipt_link.h"

#include "platform/direct/device_transport.h"
#include "platform/direct/status_replies.h"
#include "platform/direct/tcp_transport.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <array>
#include <deque>
#include <initializer_list>
#include <utility>
#include <vector>

namespace kelmora::platform::direct {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often the status is asked while a document's confirmation is awaited.
constexpr milliseconds kProbeInterval{500};
// Real-time requests left unanswered before no more are sent: a printer that does not answer
// them now gains nothing from a pile of them.
constexpr std::size_t kMostUnanswered = 2;
// The document goes in pieces of this size, so the write bound is checked as it goes.
constexpr qsizetype kWritePiece = 4096;
// How long replies are still taken as owed once the first reply to a settling request came: the
// owed ones and that request's sit one after another in the printer's buffer, so their replies
// come back together.
constexpr milliseconds kSettleQuiet{200};

QString noAnswerText() { return QStringLiteral("no responde"); }

qint64 kibibytes(qsizetype bytes) { return (bytes + 1023) / 1024; }

QString toText(milliseconds bound) { return QStringLiteral("%1 ms").arg(bound.count()); }

}  // namespace

std::optional<Address> Address::parse(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(QLatin1Char('/'))) {
        if (trimmed.endsWith(QLatin1Char('/'))) return std::nullopt;  // a folder, not a device
        Address address;
        address.kind = Kind::Device;
        address.device = trimmed;
        return address;
    }
    // A host name or IPv4 address, or an IPv6 address in brackets; then perhaps a port.
    static const QRegularExpression socketUri(
        QStringLiteral(R"(^socket://(?:\[([0-9a-f:.]+)\]|([^\s/?#@\[\]:]+))(?::([0-9]{1,5}))?$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = socketUri.match(trimmed);
    if (!match.hasMatch()) return std::nullopt;
    Address address;
    address.kind = Kind::Tcp;
    address.host = match.hasCaptured(1) ? match.captured(1) : match.captured(2);
    if (match.hasCaptured(3)) {
        const uint port = match.captured(3).toUInt();
        if (port < 1 || port > 65535) return std::nullopt;
        address.port = static_cast<quint16>(port);
    }
    return address;
}

QString Address::text() const {
    if (kind == Kind::Device) return device;
    const QString shownHost = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("socket://%1:%2").arg(shownHost).arg(port);
}

class ReceiptLink::Impl {
public:
    using Result = ReceiptLink::Result;
    using Kind = ReceiptLink::Result::Kind;

    Impl(Address where, bool answers, LinkBounds limits)
        : address(std::move(where)), answersStatus(answers), bounds(limits) {
        if (address.kind == Address::Kind::Tcp) {
            transport = std::make_unique<TcpTransport>(address.host, address.port);
        } else {
            transport = std::make_unique<DeviceTransport>(address.device);
        }
    }

    // Opens the connection when it is not open, and drops what came in since the last exchange.
    bool begin(Result& result) {
        if (transport->isOpen()) {
            QByteArray stale;
            if (transport->takeWaiting(stale) == Transport::Outcome::Done) {
                interpret(stale);
            } else {
                lost();  // closed while idle, as many printers do: open it again
            }
        }
        if (!transport->isOpen()) {
            forget();
            if (transport->open(Clock::now() + bounds.connect) != Transport::Outcome::Done) {
                lost();
                noAnswer(result, transport->error());
                return false;
            }
            QByteArray stale;
            if (transport->takeWaiting(stale) != Transport::Outcome::Done) {
                lost();
                noAnswer(result, transport->error());
                return false;
            }
            interpret(stale);
        }
        lastUse = Clock::now();
        return true;
    }

    // DLE EOT 1, 2 and 4 and their replies: Ready, CannotPrint, NoAnswer, or NoStatus when this
    // printer never answered on a connection that works.
    void readStatus(Result& result) {
        const Deadline deadline = Clock::now() + bounds.statusReply;
        if (!send(kStatusRequests, {1, 2, 4}, deadline, result)) return;
        std::array<quint8, 5> replies{};
        while (!unanswered.empty()) {
            QByteArray bytes;
            const Transport::Outcome outcome = transport->read(bytes, deadline);
            if (outcome == Transport::Outcome::Done) {
                for (const auto& [n, byte] : interpret(bytes).realTime) replies.at(static_cast<std::size_t>(n)) = byte;
                continue;
            }
            const QString missing = QStringLiteral("no reply to DLE EOT %1 within %2")
                                        .arg(unansweredText(), toText(bounds.statusReply));
            if (outcome == Transport::Outcome::Failed) {
                lost();
                noAnswer(result, transport->error());
            } else if (!everAnswered) {
                drop();
                answersStatus = false;
                result.kind = Kind::NoStatus;
                result.problem.clear();
                result.detail = missing + QStringLiteral(": taken as a printer without a return channel");
            } else {
                drop();
                noAnswer(result, missing);
            }
            return;
        }
        result.status = decodeStatus(replies[1], replies[2], replies[4]);
        result.kind = result.status.canPrint() ? Kind::Ready : Kind::CannotPrint;
        result.problem = result.status.problem();
        result.detail = QStringLiteral("status %1 %2 %3")
                            .arg(replies[1], 2, 16, QLatin1Char('0'))
                            .arg(replies[2], 2, 16, QLatin1Char('0'))
                            .arg(replies[4], 2, 16, QLatin1Char('0'));
    }

    // The document's bytes, within the write bound. False (and NoAnswer) when they did not all go.
    bool sendDocument(const QByteArray& document, Result& result) {
        const milliseconds bound = bounds.connect + bounds.writePerKiB * kibibytes(document.size());
        const Deadline deadline = Clock::now() + bound;
        qint64 sent = 0;
        while (sent < document.size()) {
            qint64 taken = 0;
            const QByteArrayView piece = QByteArrayView(document).sliced(sent, std::min(kWritePiece, document.size() - sent));
            const Transport::Outcome outcome = transport->write(piece, deadline, taken);
            sent += taken;
            if (outcome != Transport::Outcome::Done) {
                outcome == Transport::Outcome::Failed ? lost() : drop();
                noAnswer(result, QStringLiteral("document: %1 after %2 of %3 bytes (bound %4)")
                                     .arg(transport->error())
                                     .arg(sent)
                                     .arg(document.size())
                                     .arg(toText(bound)));
                result.bytesSent = sent > 0;
                return false;
            }
        }
        result.bytesSent = !document.isEmpty();
        return true;
    }

    // A device left owing a confirmation (the document abandoned while the printer had stopped)
    // may still send it, and must not seem to confirm the next document. One more GS r 1 sent
    // alone comes back right after what is owed: once it has, nothing more is owed.
    bool settle(Result& result) {
        if (!confirmationOwed) return true;
        const Deadline deadline = Clock::now() + bounds.confirmBase;
        if (!send(kConfirmationRequest, {}, deadline, result)) return false;
        Deadline until = deadline;
        bool replied = false;
        for (;;) {
            QByteArray bytes;
            const Transport::Outcome outcome = transport->read(bytes, until);
            if (outcome == Transport::Outcome::Failed) {
                lost();
                noAnswer(result, QStringLiteral("settling owed confirmations: %1").arg(transport->error()));
                return false;
            }
            const bool confirmed = !interpret(bytes).paperSensor.empty();
            if (confirmed && !replied) {
                replied = true;
                until = Clock::now() + kSettleQuiet;
            }
            if (Clock::now() >= until) break;
        }
        if (!replied) {
            drop();
            noAnswer(result, QStringLiteral("no reply to GS r 1 within %1 (settling owed confirmations)")
                                 .arg(toText(bounds.confirmBase)));
            return false;
        }
        confirmationOwed = false;
        return true;
    }

    // GS r 1 after the document and its reply, asking the status meanwhile so a printer that
    // stops (no paper, the cover opened) is told at once. Returns the paper sensor reply.
    std::optional<quint8> awaitConfirmation(qsizetype documentSize, Result& result) {
        const milliseconds bound = bounds.confirmBase + bounds.confirmPerKiB * kibibytes(documentSize);
        const Deadline deadline = Clock::now() + bound;
        if (!send(kConfirmationRequest, {}, deadline, result)) return std::nullopt;
        Deadline nextProbe = Clock::now() + kProbeInterval;
        ReceiptStatus probed;
        for (;;) {
            QByteArray bytes;
            const Transport::Outcome outcome = transport->read(bytes, std::min(deadline, nextProbe));
            if (outcome == Transport::Outcome::Failed) {
                lost();
                noAnswer(result, QStringLiteral("waiting for the confirmation: %1").arg(transport->error()));
                return std::nullopt;
            }
            const Replies replies = interpret(bytes);
            // Once confirmed, whatever the status says is the status after's to tell.
            if (!replies.paperSensor.empty()) return replies.paperSensor.front();
            for (const auto& [n, byte] : replies.realTime) {
                applyRealTimeReply(probed, n, byte);
                if (probed.coverOpen || probed.paperEnd || probed.error) {
                    owe();
                    drop();
                    result.kind = Kind::CannotPrint;
                    result.status = probed;
                    result.problem = probed.problem();
                    result.detail = QStringLiteral("stopped before confirming the document: %1").arg(probed.problem());
                    return std::nullopt;
                }
            }
            const Deadline now = Clock::now();
            if (now >= deadline) {
                owe();
                drop();
                noAnswer(result, QStringLiteral("no confirmation (GS r 1) within %1").arg(toText(bound)));
                return std::nullopt;
            }
            if (now >= nextProbe) {
                // Only now, with the whole document sent, can a request not fall inside a command.
                if (unanswered.size() < kMostUnanswered && !send(kProbeRequests, {2, 4}, deadline, result)) {
                    return std::nullopt;
                }
                nextProbe = now + kProbeInterval;
            }
        }
    }

    void closeIfIdle() {
        if (transport->isOpen() && Clock::now() - lastUse >= bounds.idle) drop();
    }

    const Address address;
    bool answersStatus;
    const LinkBounds bounds;
    Clock::time_point lastUse;

private:
    struct Replies {
        std::vector<std::pair<int, quint8>> realTime;  // each with the request it answers
        std::vector<quint8> paperSensor;               // GS r 1 replies
    };

    // Writes requests, counting the real-time ones as awaiting a reply.
    bool send(const char* request, std::initializer_list<int> asked, Deadline deadline, Result& result) {
        unanswered.insert(unanswered.end(), asked);
        qint64 taken = 0;
        const Transport::Outcome outcome = transport->write(QByteArrayView(request), deadline, taken);
        if (outcome == Transport::Outcome::Done) return true;
        outcome == Transport::Outcome::Failed ? lost() : drop();
        noAnswer(result, QStringLiteral("sending a request: %1").arg(transport->error()));
        return false;
    }

    // Matches real-time replies to the requests they answer, in the order asked.
    Replies interpret(const QByteArray& bytes) {
        Replies replies;
        for (const StatusReply& reply : reader.feed(bytes)) {
            everAnswered = true;
            if (reply.kind == StatusReply::Kind::RealTime) {
                if (unanswered.empty()) continue;  // unasked: nothing to pair it with
                replies.realTime.emplace_back(unanswered.front(), reply.byte);
                unanswered.pop_front();
            } else {
                replies.paperSensor.push_back(reply.byte);
            }
        }
        return replies;
    }

    QString unansweredText() const {
        QStringList asked;
        for (int n : unanswered) asked.append(QString::number(n));
        return asked.join(QStringLiteral(", "));
    }

    void noAnswer(Result& result, const QString& detail) {
        result.kind = Kind::NoAnswer;
        result.problem = noAnswerText();
        result.detail = detail;
    }

    // A confirmation abandoned on the device: its reply may still come on the same device after
    // it is opened again. A new TCP connection gets no replies meant for the old one.
    void owe() {
        if (address.kind == Address::Kind::Device) confirmationOwed = true;
    }

    // Closes a connection left in doubt.
    void drop() {
        transport->close();
        forget();
    }

    // The connection failed: a device that failed went away (unplugged, switched off), and one
    // that comes back owes nothing.
    void lost() {
        drop();
        confirmationOwed = false;
    }

    void forget() {
        unanswered.clear();
        reader = StatusReplyReader{};
    }

    std::unique_ptr<Transport> transport;
    StatusReplyReader reader;
    std::deque<int> unanswered;  // real-time requests (n) not yet answered, oldest first
    bool everAnswered = false;
    bool confirmationOwed = false;
};

ReceiptLink::ReceiptLink(Address address, bool answersStatus, LinkBounds bounds)
    : impl_(std::make_unique<Impl>(std::move(address), answersStatus, bounds)) {}

ReceiptLink::~ReceiptLink() = default;

ReceiptLink::Result ReceiptLink::status() {
    Result result;
    if (!impl_->begin(result)) return result;
    if (!impl_->answersStatus) {
        result.kind = Result::Kind::NoStatus;
        result.detail = QStringLiteral("connected; the printer has no return channel, nothing asked");
    } else {
        impl_->readStatus(result);
    }
    impl_->lastUse = Clock::now();
    return result;
}

ReceiptLink::Result ReceiptLink::print(const QByteArray& document) {
    Result result;
    if (!impl_->begin(result)) return result;
    if (impl_->answersStatus) {
        impl_->readStatus(result);
        if (result.kind == Result::Kind::CannotPrint || result.kind == Result::Kind::NoAnswer) return result;
    }
    if (!impl_->answersStatus) {
        // Found just now or known before: the bytes go, and going is all that can be known.
        const QString found = result.detail;
        result = Result{};
        if (!impl_->begin(result) || !impl_->sendDocument(document, result)) return result;
        result.kind = Result::Kind::NoStatus;
        result.detail = found.isEmpty() ? QStringLiteral("sent; the printer has no return channel") : found;
        impl_->lastUse = Clock::now();
        return result;
    }
    if (!impl_->settle(result) || !impl_->sendDocument(document, result)) return result;
    const std::optional<quint8> confirmation = impl_->awaitConfirmation(document.size(), result);
    if (!confirmation) return result;
    if (paperSensorSaysPaperEnd(*confirmation)) {
        result.kind = Result::Kind::CannotPrint;
        result.status.paperEnd = true;
        result.problem = result.status.problem();
        result.detail = QStringLiteral("the confirmation reported paper end");
        impl_->lastUse = Clock::now();
        return result;
    }
    impl_->readStatus(result);
    if (result.kind == Result::Kind::Ready) {
        result.status.paperNearEnd = result.status.paperNearEnd || paperSensorSaysNearEnd(*confirmation);
        result.detail = QStringLiteral("confirmed; ") + result.detail;
    }
    impl_->lastUse = Clock::now();
    return result;
}

bool ReceiptLink::answersStatus() const { return impl_->answersStatus; }

void ReceiptLink::closeIfIdle() { impl_->closeIfIdle(); }

const Address& ReceiptLink::address() const { return impl_->address; }

}  // namespace kelmora::platform::direct
