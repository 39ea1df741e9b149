#pragma once

#include "printing/document/journal_document.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace kelmora::platform {

// The durable record of every answer that reached the dispatcher and of every document it held,
// so that no document the server handed out is lost: each change is stored before the next step.
class Journal {
public:
    virtual ~Journal() = default;

    // Records an answer's payload (the JSON text) and its documents, all or nothing; the
    // documents' ids and answer ids are filled in.
    virtual qint64 addAnswer(const QString& payload, QList<paper::JournalDocument>& documents, const QDateTime& at) = 0;
    // The payload of a recorded answer; empty when it is gone.
    virtual QString answerPayload(qint64 answerId) = 0;

    virtual std::optional<paper::JournalDocument> document(qint64 id) = 0;
    // The documents in these states, oldest first, without their bytes.
    virtual QList<paper::JournalDocument> documentsIn(const QList<paper::DocumentState>& states) = 0;
    // The documents whose jobs are still followed, oldest first, without their bytes.
    virtual QList<paper::JournalDocument> followedDocuments() = 0;
    // Documents created since `since`, newest first, without their bytes; only the unprinted ones
    // (held, failed, expired, and those not yet on paper) when asked.
    virtual QList<paper::JournalDocument> recentDocuments(const QDateTime& since, bool onlyNotPrinted) = 0;
    // How many are held, failed or expired.
    virtual int unprintedCount() = 0;

    // Stores the document's state, reason, printers, bytes, job and times; false when it could not
    // be written (a full or failing disk). `durable`: on disk before it returns, for a change that
    // guards the next step; the others may reach the disk with the next durable one.
    virtual bool update(const paper::JournalDocument& document, bool durable = true) = 0;

    // Writes an answer and its documents as they are, ids, states and times included: an answer
    // printed while the journal could not be written, or carried over from a damaged file.
    // False when it could not be written.
    virtual bool restore(qint64 answerId, const QDateTime& received, const QString& payload,
                         const QList<paper::JournalDocument>& documents) = 0;
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
