#pragma once

#include "json/value.h"
#include "platform/journal.h"

#include <QList>
#include <QLocale>
#include <QString>

namespace kelmora::shell {

// The documents an answer brings, in the dispatch's order: each printable kitchen order, each
// cancellation, each invoice with a table (meant for `predeterminada`), and the drawer when it
// is to open. Each is named by its list and its place in that list; what it prints is read from
// the answer when its turn comes.
QList<paper::JournalDocument> documentosDeRespuesta(const Collection& comandas, const Collection& anulaciones,
                                                       const Collection& facturas, bool abrirCajon,
                                                       const QString& predeterminada, const QLocale& locale);

// The record a document prints: the member of its list at its place; nothing for the drawer.
// Raises the list's run-time error when the answer does not hold it.
Value registroDocumento(const Value& datos, const paper::JournalDocument& documento);

}  // namespace kelmora::shell
