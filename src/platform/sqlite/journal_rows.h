#pragma once

#include "platform/journal.h"

#include <QDateTime>
#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace kelmora::platform {

// How a document's row is read and its values written: one rule for the journal and for the
// salvage of a damaged one.
namespace journal_rows {

// Every column but the bytes, for the lists.
inline const QString kColumns = QStringLiteral(
    "id, respuesta, lista, posicion, clase, mesa, pedido, impresora_pedida, impresora, formato, trabajo, seguido,"
    " estado, motivo, reimpresion, creado, desde, actualizado, perdidas");

inline qint64 toMs(const QDateTime& at) { return at.isValid() ? at.toMSecsSinceEpoch() : 0; }
// Qt SQL binds a null string as NULL, which the NOT NULL text columns refuse: an empty one is stored.
inline QVariant text(const QString& value) { return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value); }
inline QDateTime fromMs(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms); }

inline QString stateList(const QList<paper::DocumentState>& states) {
    QStringList quoted;
    for (const paper::DocumentState state : states) quoted.append(u'\'' + paper::stateName(state) + u'\'');
    return quoted.join(u',');
}

inline paper::JournalDocument readRow(const QSqlQuery& q, bool withBytes) {
    paper::JournalDocument d;
    d.id = q.value(0).toLongLong();
    d.answerId = q.value(1).toLongLong();
    d.list = q.value(2).toString();
    d.position = q.value(3).toInt();
    d.kind = q.value(4).toString();
    d.table = q.value(5).toString();
    d.order = q.value(6).toString();
    d.requestedPrinter = q.value(7).toString();
    d.printer = q.value(8).toString();
    d.format = q.value(9).toString();
    d.jobId = q.value(10).toInt();
    d.followed = q.value(11).toInt() != 0;
    d.state = paper::stateNamed(q.value(12).toString()).value_or(paper::DocumentState::Failed);
    d.reason = q.value(13).toString();
    d.reprint = q.value(14).toInt() != 0;
    d.created = fromMs(q.value(15).toLongLong());
    d.since = fromMs(q.value(16).toLongLong());
    d.updated = fromMs(q.value(17).toLongLong());
    d.lostJobs = q.value(18).toInt();
    if (withBytes) d.bytes = q.value(19).toByteArray();
    return d;
}

}  // namespace journal_rows
}  // namespace kelmora::platform
