#include "shell/diario_memoria.h"

#include <QSet>

#include <algorithm>

namespace kelmora::shell {

using paper::DocumentState;
using paper::JournalDocument;

qint64 DiarioMemoria::addAnswer(const QString& payload, QList<JournalDocument>& documents, const QDateTime& at) {
    const qint64 respuesta = ++ultimaRespuesta_;
    respuestas_.insert(respuesta, payload);
    for (JournalDocument& d : documents) {
        d.id = ++ultimoDocumento_;
        d.answerId = respuesta;
        d.created = d.since = d.updated = at;
        documentos_.insert(d.id, d);
    }
    return respuesta;
}

std::optional<JournalDocument> DiarioMemoria::document(qint64 id) {
    const auto it = documentos_.constFind(id);
    if (it == documentos_.cend()) return std::nullopt;
    return *it;
}

QList<JournalDocument> DiarioMemoria::documentsIn(const QList<DocumentState>& states) {
    QList<JournalDocument> encontrados;
    for (const JournalDocument& d : std::as_const(documentos_)) {
        if (states.contains(d.state)) encontrados.append(paper::withoutBytes(d));
    }
    return encontrados;
}

QList<JournalDocument> DiarioMemoria::followedDocuments() {
    QList<JournalDocument> encontrados;
    for (const JournalDocument& d : std::as_const(documentos_)) {
        if (d.followed) encontrados.append(paper::withoutBytes(d));
    }
    return encontrados;
}

QList<JournalDocument> DiarioMemoria::recentDocuments(const QDateTime& since, bool onlyNotPrinted) {
    QList<JournalDocument> encontrados;
    for (const JournalDocument& d : std::as_const(documentos_)) {
        if (d.created < since) continue;
        if (onlyNotPrinted && (d.state == DocumentState::Printed || d.state == DocumentState::Discarded)) continue;
        encontrados.prepend(paper::withoutBytes(d));
    }
    return encontrados;
}

int DiarioMemoria::unprintedCount() {
    int cuenta = 0;
    for (const JournalDocument& d : std::as_const(documentos_)) cuenta += paper::isUnprinted(d.state) ? 1 : 0;
    return cuenta;
}

bool DiarioMemoria::update(const JournalDocument& document, bool) {
    const auto it = documentos_.find(document.id);
    if (it == documentos_.end()) return true;
    // Only what the journal lets change: where it comes from and when it was made stay.
    JournalDocument& d = *it;
    d.requestedPrinter = document.requestedPrinter;
    d.printer = document.printer;
    d.format = document.format;
    if (!document.bytes.isNull()) d.bytes = document.bytes;  // a list's copy keeps the bytes sent
    d.jobId = document.jobId;
    d.followed = document.followed;
    d.state = document.state;
    d.reason = document.reason;
    d.reprint = document.reprint;
    d.since = document.since;
    d.updated = document.updated;
    d.lostJobs = document.lostJobs;
    return true;
}

bool DiarioMemoria::restore(qint64 answerId, const QDateTime&, const QString& payload,
                            const QList<JournalDocument>& documents) {
    respuestas_.insert(answerId, payload);
    ultimaRespuesta_ = std::max(ultimaRespuesta_, answerId);
    for (JournalDocument d : documents) {
        d.answerId = answerId;
        documentos_.insert(d.id, d);
        ultimoDocumento_ = std::max(ultimoDocumento_, d.id);
    }
    return true;
}

int DiarioMemoria::prune(const QDateTime& before) {
    int quitados = 0;
    for (auto it = documentos_.begin(); it != documentos_.end();) {
        const bool terminado = it->state == DocumentState::Printed || it->state == DocumentState::Discarded ||
                               it->state == DocumentState::Expired || it->state == DocumentState::Failed;
        if (terminado && !it->followed && it->updated < before) {
            it = documentos_.erase(it);
            ++quitados;
        } else {
            ++it;
        }
    }
    QSet<qint64> conDocumentos;
    for (const JournalDocument& d : std::as_const(documentos_)) conDocumentos.insert(d.answerId);
    for (auto it = respuestas_.begin(); it != respuestas_.end();) {
        it = conDocumentos.contains(it.key()) ? std::next(it) : respuestas_.erase(it);
    }
    return quitados;
}

}  // namespace kelmora::shell
