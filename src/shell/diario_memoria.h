#pragma once

#include "platform/journal.h"

#include <QHash>
#include <QMap>

namespace kelmora::shell {

// A journal that lives as long as the process: for the runs that keep nothing (a rendered answer,
// a fuzzing input) and for the tests.
class DiarioMemoria final : public platform::Journal {
public:
    qint64 addAnswer(const QString& payload, QList<paper::JournalDocument>& documents, const QDateTime& at) override;
    QString answerPayload(qint64 answerId) override { return respuestas_.value(answerId); }
    std::optional<paper::JournalDocument> document(qint64 id) override;
    QList<paper::JournalDocument> documentsIn(const QList<paper::DocumentState>& states) override;
    QList<paper::JournalDocument> followedDocuments() override;
    QList<paper::JournalDocument> recentDocuments(const QDateTime& since, bool onlyNotPrinted) override;
    int unprintedCount() override;
    bool update(const paper::JournalDocument& document, bool durable = true) override;
    bool restore(qint64 answerId, const QDateTime& received, const QString& payload,
                 const QList<paper::JournalDocument>& documents) override;
    LastIds lastIds() override { return {ultimaRespuesta_, ultimoDocumento_}; }
    int prune(const QDateTime& before) override;

private:
    QHash<qint64, QString> respuestas_;
    QMap<qint64, paper::JournalDocument> documentos_;  // by id, so in order
    qint64 ultimaRespuesta_ = 0;
    qint64 ultimoDocumento_ = 0;
};

}  // namespace kelmora::shell
