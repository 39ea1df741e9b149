#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace kelmora::platform {

// Where a document stands, from the answer that brought it to paper (or to a person's decision).
enum class DocumentState {
    Pending,    // recorded, not yet tried, or waiting for the printing system to take more
    Sending,    // being handed to the printing system right now
    Sent,       // the printing system took it; followed until it is on paper
    Printed,    // on paper
    Held,       // no printer could take it; tried again until one can
    Failed,     // it will not print by itself: a person reprints or dismisses it
    Expired,    // held too long to be of use by itself (a stale kitchen order)
    Discarded,  // a person dismissed it
};

// The state's name as staff read it, and back; nullopt for a name that is none.
QString stateName(DocumentState state);
std::optional<DocumentState> stateNamed(const QString& name);
// Held, failed and expired documents are on nobody's paper until someone acts or a printer comes back.
inline bool isUnprinted(DocumentState state) {
    return state == DocumentState::Held || state == DocumentState::Failed || state == DocumentState::Expired;
}
// Pending, being sent or sent: the service still owes it to paper by itself.
inline bool isUnderWay(DocumentState state) {
    return state == DocumentState::Pending || state == DocumentState::Sending || state == DocumentState::Sent;
}

// One document of an answer, as the journal keeps it.
struct JournalDocument {
    qint64 id = 0;
    qint64 answerId = 0;
    QString list;        // the answer's list it comes from: comanda, anulaciones, factura, abrirCajon
    int position = 0;    // its place in that list, from 0
    QString kind;        // Comanda, Anulacion, Factura, Cajon
    QString table;       // the table's name, when the document has one
    QString order;       // the order or invoice number, when it has one
    QString requestedPrinter;  // the printer it was meant for
    QString printer;     // the printer it went to
    QString format;      // MIME type of `bytes`
    QByteArray bytes;    // what was sent
    int jobId = 0;       // the printing system's job
    bool followed = false;  // its job is still followed to paper
    DocumentState state = DocumentState::Pending;
    QString reason;      // why it is held, failed or expired
    bool reprint = false;   // printed again, with a REIMPRESION line: at a person's request, or its job was lost
    int lostJobs = 0;       // how often the printing system forgot its job before it was on paper
    QDateTime created;
    QDateTime since;     // when it entered its current wait (pending, held, sent)
    QDateTime updated;
};

// The copy the lists give: everything but what was sent.
inline JournalDocument withoutBytes(JournalDocument document) {
    document.bytes.clear();
    return document;
}

// The durable record of every answer that reached the dispatcher and of every document it held,
// so that no document the server handed out is lost: each change is stored before the next step.
class Journal {
public:
    virtual ~Journal() = default;

    // Records an answer's payload (the JSON text) and its documents, all or nothing; the
    // documents' ids and answer ids are filled in.
    virtual qint64 addAnswer(const QString& payload, QList<JournalDocument>& documents, const QDateTime& at) = 0;
    // The payload of a recorded answer; empty when it is gone.
    virtual QString answerPayload(qint64 answerId) = 0;

    virtual std::optional<JournalDocument> document(qint64 id) = 0;
    // The documents in these states, oldest first, without their bytes.
    virtual QList<JournalDocument> documentsIn(const QList<DocumentState>& states) = 0;
    // The documents whose jobs are still followed, oldest first, without their bytes.
    virtual QList<JournalDocument> followedDocuments() = 0;
    // Documents created since `since`, newest first, without their bytes; only the unprinted ones
    // (held, failed, expired, and those not yet on paper) when asked.
    virtual QList<JournalDocument> recentDocuments(const QDateTime& since, bool onlyNotPrinted) = 0;
    // How many are held, failed or expired.
    virtual int unprintedCount() = 0;

    // Stores the document's state, reason, printers, bytes, job and times; false when it could not
    // be written (a full or failing disk). `durable`: on disk before it returns, for a change that
    // guards the next step; the others may reach the disk with the next durable one.
    virtual bool update(const JournalDocument& document, bool durable = true) = 0;

    // Writes an answer and its documents as they are, ids, states and times included: an answer
    // printed while the journal could not be written, or carried over from a damaged file.
    // False when it could not be written.
    virtual bool restore(qint64 answerId, const QDateTime& received, const QString& payload,
                         const QList<JournalDocument>& documents) = 0;
    // The highest answer and document ids ever given, so that new ones follow them.
    struct LastIds {
        qint64 answer = 0;
        qint64 document = 0;
    };
    virtual LastIds lastIds() = 0;

    // Writes what an earlier failure of the disk left waiting; a journal that never leaves
    // anything waiting has nothing to do.
    virtual void writeWaiting() {}

    // Forgets documents last changed before `before` that need nothing more (printed, discarded,
    // expired, failed), and the answers left without documents. Returns how many documents went.
    virtual int prune(const QDateTime& before) = 0;
};

}  // namespace kelmora::platform
