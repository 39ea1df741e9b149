#pragma once

#include "platform/journal.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace kelmora::shell {

// What a person can do with a document of the journal, from the "Trabajos" window or the
// command line. Each returns the reason it cannot be done, or nullopt when it was done.

// Prints the document again, with a REIMPRESION line at the top: it goes back to the pending
// documents and the service prints it as soon as a printer can take it.
std::optional<QString> marcarReimpresion(platform::Journal& diario, qint64 id, const QDateTime& ahora);
// Takes the document off the list of what is still to print: it is not printed by itself any more.
std::optional<QString> descartarDocumento(platform::Journal& diario, qint64 id, const QDateTime& ahora);

// How the list shows a document, in the window and on the terminal:
// its kind as staff read it, with "(reimpresión)" when it was asked for again;
QString nombreDocumento(const platform::JournalDocument& documento);
// its table and order ("Mesa 4, pedido 118"), empty when it has neither;
QString referenciaDocumento(const platform::JournalDocument& documento);
// the printer it went to, else the one it was meant for.
QString impresoraDocumento(const platform::JournalDocument& documento);

// One line of the list, for the terminal: number, time, kind, table and order, printer, state, reason;
// the columns line up under cabeceraTrabajos().
QString lineaTrabajo(const platform::JournalDocument& documento);
QString cabeceraTrabajos();

}  // namespace kelmora::shell
