#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace kelmora::paper {

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
    bool reprint = false;   // printed again, with a REIMPRESIÓN line: at a person's request, or its job was lost
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

}  // namespace kelmora::paper
