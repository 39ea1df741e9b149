#pragma once

#include "platform/journal.h"

#include <QSqlDatabase>
#include <QString>

#include <memory>

namespace kelmora::platform {

// The journal in an SQLite file (WAL, each change committed before the next step). A file that is
// damaged or held locked by someone else is set aside and a fresh one started; where no file can
// be written, the journal lives in memory for this run.
class SqliteJournal final : public Journal {
public:
    static inline const QString kFileName = QStringLiteral("trabajos.db");

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

    qint64 addAnswer(const QString& payload, QList<JournalDocument>& documents, const QDateTime& at) override;
    QString answerPayload(qint64 answerId) override;
    std::optional<JournalDocument> document(qint64 id) override;
    QList<JournalDocument> documentsIn(const QList<DocumentState>& states) override;
    QList<JournalDocument> followedDocuments() override;
    QList<JournalDocument> recentDocuments(const QDateTime& since, bool onlyNotPrinted) override;
    int unprintedCount() override;
    void update(const JournalDocument& document) override;
    int prune(const QDateTime& before) override;

private:
    SqliteJournal(QString connection, bool durable);
    // Opens the connection and readies the schema; false with `error` when the file is not a
    // sound journal or cannot be locked for writing.
    bool prepare(const QString& path, QString* error);
    QList<JournalDocument> select(const QString& where, const QVariantList& values, const QString& order);

    QString connection_;
    bool durable_;
};

}  // namespace kelmora::platform
