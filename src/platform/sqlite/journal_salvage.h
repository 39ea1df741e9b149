#pragma once

#include "platform/journal.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace kelmora::platform {

// Reads what it can of a damaged journal file, writing nothing to it, and carries the unfinished
// documents it still holds into a fresh journal with their ids.
namespace journal_salvage {

// The highest document id the side file names; 0 when there is none or it cannot be read.
qint64 readLastGiven(const QString& path);

// A main file gone or without its header while the log beside it holds data: SQLite, even reading
// only, would take the file for an empty database and delete the log, and with it the last writes.
bool writtenOnlyInLog(const QString& path);

// What a damaged journal still gives: its unfinished documents by answer, with the answer when
// its row can be read, and the highest ids it gave.
struct Salvage {
    struct Answer {
        bool read = false;
        QDateTime received;
        QString payload;
        QList<paper::JournalDocument> documents;
    };
    bool readable = false;  // its tables could be read at all
    QMap<qint64, Answer> answers;
    qint64 lastAnswer = 0;
    qint64 lastDocument = 0;
    // The unfinished documents the indexes name that could not be read; unknown when the indexes
    // cannot be read either, and then only `unreadable` tells: rows of any state that failed.
    std::optional<int> unfinishedUnread;
    int unreadable = 0;
    bool leapt = false;       // some ids were passed over unread, not counted
    bool incomplete = false;  // some read failed
};

// Reads what it can of the journal at `path` without writing to it; `knownLast`: the highest
// document id known to have been given, to look for rows up to it past any damage.
Salvage salvage(const QString& path, qint64 knownLast);

// The same from a journal whose data is only in its log (set aside as `aside`): a copy of the
// two, the main file padded to a page, lets SQLite read the log instead of dropping it.
Salvage salvageLog(const QString& aside, qint64 knownLast);

// "el 7" or "del 5 al 7": the ids of the documents a line to staff names.
QString idRange(qint64 from, qint64 to);

// Writes what was read into the fresh journal, ids kept; what it tells staff.
QString carryOver(Journal& journal, const Salvage& s, qint64 lastGiven);

}  // namespace journal_salvage
}  // namespace kelmora::platform
