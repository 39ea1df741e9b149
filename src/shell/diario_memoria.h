#pragma once

#include "platform/journal.h"

#include <QHash>
#include <QMap>

namespace kelmora::shell {

// A journal that lives as long as the process: for the runs that keep nothing (a rendered answer,
// a fuzzing input) and for the tests.
class DiarioMemoria final : public platform::Journal {
public:
    qint64 addAnswer(const QString& payload, QList<platform::JournalDocument>& documents, const QDateTime& at) override;
    QString answerPayload(qint64 answerId) override { return respuestas_.value(answerId); }
    std::optional<platform::JournalDocument> document(qint64 id) override;
    QList<platform::JournalDocument> documentsIn(const QList<platform::DocumentState>& states) override;
    QList<platform::JournalDocument> followedDocuments() override;
    QList<platform::JournalDocument> recentDocuments(const QDateTime& since, bool onlyNotPrinted) override;
    int unprintedCount() override;
    bool update(const platform::JournalDocument& document, bool durable = true) override;
    bool restore(qint64 answerId, const QDateTime& received, const QString& payload,
                 const QList<platform::JournalDocument>& documents) override;
    LastIds lastIds() override { return {ultimaRespuesta_, ultimoDocumento_}; }
    int prune(const QDateTime& before) override;

private:
    QHash<qint64, QString> respuestas_;
    QMap<qint64, platform::JournalDocument> documentos_;  // by id, so in order
    qint64 ultimaRespuesta_ = 0;
    qint64 ultimoDocumento_ = 0;
};

}  // namespace kelmora::shell
