#include "shell/diario_resguardado.h"

#include <algorithm>

namespace kelmora::shell {

using paper::DocumentState;
using paper::JournalDocument;

void DiarioResguardado::caer(const QString& que) {
    if (caido_) return;
    caido_ = true;
    const QString texto = QStringLiteral("No se puede escribir en el diario de trabajos (%1): se sigue imprimiendo y "
                                         "se guardará en cuanto se pueda")
                              .arg(que);
    if (bitacora_ != nullptr) bitacora_->anotar(texto, Gravedad::Error);
    if (avisos_ != nullptr) {
        avisos_->ShowBalloonTip(texto + u'.', platform::BalloonIcon::Warning, QStringLiteral("Diario de trabajos"),
                                platform::kBalloonMilliseconds);
    }
}

qint64 DiarioResguardado::addAnswer(const QString& payload, QList<JournalDocument>& documents, const QDateTime& at) {
    // Behind answers still waiting for the disk, a new one waits too: they are written in order.
    if (!caido_) {
        if (const qint64 id = disco_.addAnswer(payload, documents, at); id != 0) {
            ultimos_.answer = std::max(ultimos_.answer, id);
            for (const JournalDocument& d : std::as_const(documents)) ultimos_.document = std::max(ultimos_.document, d.id);
            return id;
        }
        caer(QStringLiteral("una respuesta con %1 documentos").arg(documents.size()));
    }
    // Its ids follow every id the disk ever gave, so that jobs named after them never repeat.
    const LastIds ultimos = lastIds();
    Respuesta r{ultimos.answer + 1, at, payload, {}};
    qint64 siguiente = ultimos.document;
    for (JournalDocument& d : documents) {
        d.id = ++siguiente;
        d.answerId = r.id;
        d.created = d.since = d.updated = at;
        cambios_.insert(d.id, d);
        r.documentos.append(d.id);
    }
    ultimos_ = LastIds{r.id, siguiente};
    respuestas_.append(r);
    return r.id;
}

QString DiarioResguardado::answerPayload(qint64 answerId) {
    for (const Respuesta& r : std::as_const(respuestas_)) {
        if (r.id == answerId) return r.carga;
    }
    return disco_.answerPayload(answerId);
}

std::optional<JournalDocument> DiarioResguardado::document(qint64 id) {
    if (const auto it = cambios_.constFind(id); it != cambios_.cend()) return *it;
    return disco_.document(id);
}

QList<JournalDocument> DiarioResguardado::mezclar(QList<JournalDocument> delDisco,
                                                  const std::function<bool(const JournalDocument&)>& admite,
                                                  bool masNuevosPrimero) const {
    if (cambios_.isEmpty()) return delDisco;
    delDisco.removeIf([this](const JournalDocument& d) { return cambios_.contains(d.id); });
    for (const JournalDocument& d : cambios_) {
        if (admite(d)) delDisco.append(paper::withoutBytes(d));
    }
    std::sort(delDisco.begin(), delDisco.end(), [masNuevosPrimero](const JournalDocument& a, const JournalDocument& b) {
        return masNuevosPrimero ? a.id > b.id : a.id < b.id;
    });
    return delDisco;
}

QList<JournalDocument> DiarioResguardado::documentsIn(const QList<DocumentState>& states) {
    return mezclar(disco_.documentsIn(states), [&](const JournalDocument& d) { return states.contains(d.state); },
                   false);
}

QList<JournalDocument> DiarioResguardado::followedDocuments() {
    return mezclar(disco_.followedDocuments(), [](const JournalDocument& d) { return d.followed; }, false);
}

QList<JournalDocument> DiarioResguardado::recentDocuments(const QDateTime& since, bool onlyNotPrinted) {
    return mezclar(
        disco_.recentDocuments(since, onlyNotPrinted),
        [&](const JournalDocument& d) {
            return d.created >= since &&
                   !(onlyNotPrinted && (d.state == DocumentState::Printed || d.state == DocumentState::Discarded));
        },
        true);
}

int DiarioResguardado::unprintedCount() {
    if (cambios_.isEmpty()) return disco_.unprintedCount();
    return static_cast<int>(documentsIn({DocumentState::Held, DocumentState::Failed, DocumentState::Expired}).size());
}

bool DiarioResguardado::update(const JournalDocument& document, bool durable) {
    // Once the disk failed, nothing goes to it until what waits is written, in order.
    if (!caido_ && disco_.update(document, durable)) return true;
    caer(QStringLiteral("el estado del documento %1").arg(document.id));
    JournalDocument& guardado = cambios_[document.id];
    // A list's copy comes without its bytes: the ones already known stay.
    const QByteArray bytes = guardado.bytes;
    guardado = document;
    if (guardado.bytes.isNull()) guardado.bytes = bytes;
    return true;
}

bool DiarioResguardado::restore(qint64 answerId, const QDateTime& received, const QString& payload,
                                const QList<JournalDocument>& documents) {
    return disco_.restore(answerId, received, payload, documents);
}

platform::Journal::LastIds DiarioResguardado::lastIds() {
    const LastIds disco = disco_.lastIds();
    return LastIds{std::max(disco.answer, ultimos_.answer), std::max(disco.document, ultimos_.document)};
}

void DiarioResguardado::writeWaiting() {
    if (!caido_) return;
    int escritos = 0;
    while (!respuestas_.isEmpty()) {
        const Respuesta& r = respuestas_.first();
        QList<JournalDocument> documentos;
        for (const qint64 id : r.documentos) documentos.append(cambios_.value(id));
        if (!disco_.restore(r.id, r.recibida, r.carga, documentos)) return;
        for (const qint64 id : r.documentos) cambios_.remove(id);
        escritos += static_cast<int>(documentos.size());
        respuestas_.removeFirst();
    }
    for (auto it = cambios_.begin(); it != cambios_.end();) {
        if (!disco_.update(*it, false)) return;
        it = cambios_.erase(it);
        ++escritos;
    }
    caido_ = false;
    const QString texto =
        QStringLiteral("El diario de trabajos vuelve a guardarse: se escribieron %1 cambios pendientes").arg(escritos);
    if (bitacora_ != nullptr) bitacora_->anotar(texto);
    if (avisos_ != nullptr) {
        avisos_->ShowBalloonTip(texto + u'.', platform::BalloonIcon::Information, QStringLiteral("Diario de trabajos"),
                                platform::kBalloonMilliseconds);
    }
}

}  // namespace kelmora::shell
