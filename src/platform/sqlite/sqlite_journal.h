#pragma once

#include "platform/journal.h"

#include <QSqlDatabase>
#include <QString>

#include <memory>

namespace kelmora::platform {

// The journal in an SQLite file (WAL, each change committed before the next step). A file that is
// damaged or held locked by someone else is set aside and a fresh one started, with the unfinished
// documents still readable in a damaged one; where no file can be written, the journal lives in
// memory for this run. Beside the file, `trabajos.db.ultimo` names the highest document id given,
// so that a journal that lost its last writes says so and never gives those ids (job names) again.
class SqliteJournal final : public Journal {
public:
    static inline const QString kFileName = QStringLiteral("trabajos.db");
    // Appended to the journal's path for the file with the highest document id given.
    static inline const QString kLastGivenSuffix = QStringLiteral(".ultimo");

    struct Opened {
        std::unique_ptr<SqliteJournal> journal;
        // A line for the console when the file was set aside or could not be used; empty otherwise.
        QString problem;
    };
    // Opens or creates the journal at `path`; always gives one.
    static Opened open(const QString& path);
    // Opens an existing journal as it is, for the commands that read it; null with `error` set
    // when there is none or it cannot be read.
    static std::unique_ptr<SqliteJournal> openExisting(const QString& path, QString* error);

    ~SqliteJournal() override;
    SqliteJournal(const SqliteJournal&) = delete;
    SqliteJournal& operator=(const SqliteJournal&) = delete;

    // False when the journal lives in memory only.
    bool durable() const { return durable_; }

    qint64 addAnswer(const QString& payload, QList<paper::JournalDocument>& documents, const QDateTime& at) override;
    QString answerPayload(qint64 answerId) override;
    std::optional<paper::JournalDocument> document(qint64 id) override;
    QList<paper::JournalDocument> documentsIn(const QList<paper::DocumentState>& states) override;
    QList<paper::JournalDocument> followedDocuments() override;
    QList<paper::JournalDocument> recentDocuments(const QDateTime& since, bool onlyNotPrinted) override;
    int unprintedCount() override;
    bool update(const paper::JournalDocument& document, bool durable = true) override;
    bool restore(qint64 answerId, const QDateTime& received, const QString& payload,
                 const QList<paper::JournalDocument>& documents) override;
    LastIds lastIds() override;
    int prune(const QDateTime& before) override;

private:
    SqliteJournal(QString connection, bool durable);
    // Opens the connection and readies the schema; false with `error` when the file is not a
    // sound journal or cannot be locked for writing, and `damaged` set when it is not sound.
    bool prepare(const QString& path, QString* error, bool* damaged = nullptr);
    // Keeps the highest document id given in the side file at `path`, that holds `given` now.
    void keepLastGiven(const QString& path, qint64 given);
    void noteGiven(qint64 document);
    // New answers and documents get ids above these.
    void continueAbove(qint64 answer, qint64 document);
    QList<paper::JournalDocument> select(const QString& where, const QVariantList& values, const QString& order);

    void setDurable(QSqlDatabase& db, bool durable);

    QString connection_;
    bool durable_;
    bool synchronousFull_ = true;
    QString lastGivenPath_;  // empty in memory
    qint64 lastGiven_ = 0;
};

}  // namespace kelmora::platform
