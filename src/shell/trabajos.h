#pragma once

#include "platform/journal.h"
#include "platform/printer.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <optional>

namespace kelmora::shell {

// What a person can do with a document of the journal, from the "Trabajos" window or the
// command line. Each returns the reason it cannot be done, or nullopt when it was done.

// The name of the document's job, so that the printing system can be asked for it after a crash.
QString nombreTrabajo(qint64 id);
// Whether a job the printing system reports under a document's job id is that document's: a
// scheduler that started again without its jobs gives their ids to new ones.
bool esDelDocumento(const platform::JobStatus& trabajo, qint64 id);
// Cancels the documents' jobs, the last first (the one being printed, canceled first, would make
// way for the next on a printer that may still take its bytes), and asks what became of each,
// by document id; nullopt when the printing system cannot say.
std::optional<QHash<qint64, platform::JobStatus::State>> cancelarTrabajos(
    platform::PrinterSystem& impresoras, const QList<paper::JournalDocument>& documentos);
// Records what the cancel before a reprint made of the document's job (`finales`, as
// cancelarTrabajos gives them): the reason when the job is not confirmed gone or finished.
std::optional<QString> anotarCancelacion(platform::Journal& diario, qint64 id,
                                         const std::optional<QHash<qint64, platform::JobStatus::State>>& finales,
                                         const QDateTime& ahora);
// Before a reprint: a job that could still come out is canceled, or the document would print
// twice. The reason when the printing system does not confirm the job is gone or finished.
std::optional<QString> cancelarAntesDeReimprimir(platform::PrinterSystem& impresoras, platform::Journal& diario,
                                                 qint64 id, const QDateTime& ahora);

// Prints the document again, with a REIMPRESIÓN line at the top: it goes back to the pending
// documents and the service prints it as soon as a printer can take it.
std::optional<QString> marcarReimpresion(platform::Journal& diario, qint64 id, const QDateTime& ahora);
// Takes the document off the list of what is still to print: it is not printed by itself any more.
std::optional<QString> descartarDocumento(platform::Journal& diario, qint64 id, const QDateTime& ahora);

// How the list shows a document, in the window and on the terminal:
// its kind as staff read it, with "(reimpresión)" when it was asked for again;
QString nombreDocumento(const paper::JournalDocument& documento);
// its table and order ("Mesa 4, pedido 118"), empty when it has neither;
QString referenciaDocumento(const paper::JournalDocument& documento);
// the printer it went to, else the one it was meant for.
QString impresoraDocumento(const paper::JournalDocument& documento);

// The document a person means by "the last one" to print again: of those made since `desde`,
// the one that reached paper (or the printing system) last, a drawer opening aside; none when
// there is none.
std::optional<paper::JournalDocument> ultimoImpreso(platform::Journal& diario, const QDateTime& desde);

// How many documents wait on each of `impresoras` (pending, being sent, sent or held), in their
// order: on the printer they were meant for when it is listed, else on the default one, which
// takes them instead. Names compare without regard to case and blanks at the ends.
QList<int> documentosEnEspera(platform::Journal& diario, const QList<platform::PrinterSystem::PrinterState>& impresoras);
// The printers' states, the default printer marked: asked now, of every printer, on the printing side.
QList<platform::PrinterSystem::PrinterState> estadosImpresoras(platform::PrinterSystem& impresoras);

// One line of the list, for the terminal: number, time, kind, table and order, printer, state, reason;
// the columns line up under cabeceraTrabajos().
QString lineaTrabajo(const paper::JournalDocument& documento);
QString cabeceraTrabajos();

}  // namespace kelmora::shell
