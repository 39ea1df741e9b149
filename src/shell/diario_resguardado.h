#pragma once

#include "platform/journal.h"
#include "platform/notifier.h"
#include "shell/bitacora.h"

#include <QList>
#include <QMap>

#include <functional>

namespace kelmora::shell {

// The journal as the print queue uses it: what the disk does not take (full, failing) is kept in
// memory and written as soon as the disk takes it again, in order. The queue reads its own latest
// word either way, so a state that could not be written never makes it send a ticket twice, and
// an answer that could not be recorded is still printed. The outage is told once, and its end.
//
// What lives only here is lost if the service stops before the disk takes it: the answers that
// came during the outage and were not printed yet, and the states reached meanwhile (a document
// printed meanwhile is then looked up by its job's name, or printed again).
class DiarioResguardado final : public platform::Journal {
public:
    // New ids follow every id the disk gave, even when it cannot be read later.
    explicit DiarioResguardado(platform::Journal& disco) : disco_(disco), ultimos_(disco.lastIds()) {}

    // Where the outage and its end are told; until then, nowhere.
    void avisarCon(Bitacora& bitacora, platform::Notifier& avisos) {
        bitacora_ = &bitacora;
        avisos_ = &avisos;
    }
    // Changes the disk has not taken yet.
    int sinEscribir() const { return static_cast<int>(cambios_.size()); }

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
    // Not while changes wait: a row pruned now would take their later word with it.
    int prune(const QDateTime& before) override { return caido_ ? 0 : disco_.prune(before); }
    void writeWaiting() override;

private:
    struct Respuesta {
        qint64 id = 0;
        QDateTime recibida;
        QString carga;
        QList<qint64> documentos;
    };
    // The disk's documents that `cambios_` does not replace, and those of `cambios_` that `admite`
    // takes, in id order.
    QList<paper::JournalDocument> mezclar(QList<paper::JournalDocument> delDisco,
                                             const std::function<bool(const paper::JournalDocument&)>& admite,
                                             bool masNuevosPrimero) const;
    void caer(const QString& que);

    platform::Journal& disco_;
    Bitacora* bitacora_ = nullptr;
    platform::Notifier* avisos_ = nullptr;
    // The latest word on each document the disk has not taken, by id.
    QMap<qint64, paper::JournalDocument> cambios_;
    // Answers the disk has not taken, oldest first; their documents are in `cambios_`.
    QList<Respuesta> respuestas_;
    LastIds ultimos_;
    // The disk failed and has not taken everything since.
    bool caido_ = false;
};

}  // namespace kelmora::shell
