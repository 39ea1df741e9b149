#include "shell/trabajos.h"

#include "printing/document/clase_documento.h"

#include "json/runtime_error.h"
#include "printing/seleccion_impresora.h"

#include <QStringList>

#include <algorithm>
#include <utility>

namespace kelmora::shell {

using paper::DocumentState;

QString nombreTrabajo(qint64 id) { return QStringLiteral("kelmora-") + QString::number(id); }

bool esDelDocumento(const platform::JobStatus& trabajo, qint64 id) {
    const QString nombre = nombreTrabajo(id);
    return trabajo.jobName.isEmpty() || trabajo.jobName == nombre || trabajo.jobName.startsWith(nombre + u' ');
}

std::optional<QHash<qint64, platform::JobStatus::State>> cancelarTrabajos(
    platform::PrinterSystem& impresoras, const QList<paper::JournalDocument>& documentos) {
    QList<int> trabajos;
    QHash<int, platform::JobStatus> estados;
    try {
        for (auto it = documentos.crbegin(); it != documentos.crend(); ++it) {
            impresoras.cancelJob(it->jobId);
            trabajos.append(it->jobId);
        }
        for (const platform::JobStatus& estado : impresoras.jobStatuses(trabajos)) estados.insert(estado.jobId, estado);
    } catch (const platform::PrinterError&) {
        return std::nullopt;
    }
    QHash<qint64, platform::JobStatus::State> finales;
    for (const paper::JournalDocument& d : documentos) {
        const platform::JobStatus estado = estados.value(d.jobId);
        finales.insert(d.id, esDelDocumento(estado, d.id) ? estado.state : platform::JobStatus::State::Unknown);
    }
    return finales;
}

std::optional<QString> anotarCancelacion(platform::Journal& diario, qint64 id,
                                         const std::optional<QHash<qint64, platform::JobStatus::State>>& finales,
                                         const QDateTime& ahora) {
    std::optional<paper::JournalDocument> d = diario.document(id);
    if (!d) return std::nullopt;
    using State = platform::JobStatus::State;
    const std::optional<State> estado = finales ? std::optional<State>(finales->value(id)) : std::nullopt;
    if (!estado || *estado == State::Waiting || *estado == State::Printing) {
        return QStringLiteral("El trabajo %1 del documento %2 sigue en la cola de %3 y no se pudo cancelar: "
                              "inténtelo de nuevo")
            .arg(d->jobId)
            .arg(id)
            .arg(d->printer);
    }
    // No longer followed: what it became is what the printing system just said.
    d->followed = false;
    if (d->state == DocumentState::Sent) {
        d->state = *estado == State::Completed ? DocumentState::Printed : DocumentState::Failed;
        if (d->state == DocumentState::Failed) d->reason = QStringLiteral("su trabajo se canceló para reimprimirlo");
    }
    d->updated = ahora;
    diario.update(*d);
    return std::nullopt;
}

std::optional<QString> cancelarAntesDeReimprimir(platform::PrinterSystem& impresoras, platform::Journal& diario,
                                                 qint64 id, const QDateTime& ahora) {
    std::optional<paper::JournalDocument> d = diario.document(id);
    if (!d || !d->followed || d->jobId <= 0) return std::nullopt;
    return anotarCancelacion(diario, id, cancelarTrabajos(impresoras, {*d}), ahora);
}

std::optional<QString> marcarReimpresion(platform::Journal& diario, qint64 id, const QDateTime& ahora) {
    std::optional<paper::JournalDocument> documento = diario.document(id);
    if (!documento) return QStringLiteral("No hay ningún documento %1").arg(id);
    if (documento->state == DocumentState::Pending || documento->state == DocumentState::Sending) {
        return QStringLiteral("El documento %1 ya está por imprimirse").arg(id);
    }
    documento->state = DocumentState::Pending;
    documento->reprint = true;
    documento->reason.clear();
    documento->jobId = 0;
    documento->followed = false;
    documento->since = ahora;
    documento->updated = ahora;
    diario.update(*documento);
    return std::nullopt;
}

std::optional<QString> descartarDocumento(platform::Journal& diario, qint64 id, const QDateTime& ahora) {
    std::optional<paper::JournalDocument> documento = diario.document(id);
    if (!documento) return QStringLiteral("No hay ningún documento %1").arg(id);
    if (documento->state == DocumentState::Sending) {
        return QStringLiteral("El documento %1 se está enviando ahora").arg(id);
    }
    if (documento->state == DocumentState::Printed || documento->state == DocumentState::Discarded) {
        return QStringLiteral("El documento %1 ya está %2").arg(id).arg(paper::stateName(documento->state));
    }
    documento->state = DocumentState::Discarded;
    documento->followed = false;
    documento->updated = ahora;
    diario.update(*documento);
    return std::nullopt;
}

namespace {

// Column widths of the terminal list; the state and reason end the line, unpadded.
constexpr int kAnchoNumero = 6;
constexpr int kAnchoDocumento = 25;
constexpr int kAnchoReferencia = 24;
constexpr int kAnchoImpresora = 14;

QString fila(const QString& numero, const QString& hora, const QString& documento, const QString& referencia,
             const QString& impresora, const QString& estado) {
    return QStringLiteral("%1  %2  %3  %4  %5  %6")
        .arg(numero, kAnchoNumero)
        .arg(hora, -19)
        .arg(documento, -kAnchoDocumento)
        .arg(referencia, -kAnchoReferencia)
        .arg(impresora, -kAnchoImpresora)
        .arg(estado);
}

}  // namespace

QString nombreDocumento(const paper::JournalDocument& d) {
    const std::optional<ClaseDocumento> clase = claseDocumento(d.kind);
    QString nombre = clase ? nombreClaseLegible(*clase) : d.kind;
    if (d.reprint) nombre += QStringLiteral(" (reimpresión)");
    return nombre;
}

QString referenciaDocumento(const paper::JournalDocument& d) {
    QStringList referencia;
    if (!d.table.isEmpty()) referencia.append(d.table);
    if (!d.order.isEmpty()) referencia.append(QStringLiteral("pedido ") + d.order);
    return referencia.join(QStringLiteral(", "));
}

QString impresoraDocumento(const paper::JournalDocument& d) {
    return d.printer.isEmpty() ? d.requestedPrinter : d.printer;
}

std::optional<paper::JournalDocument> ultimoImpreso(platform::Journal& diario, const QDateTime& desde) {
    // When it reached paper or the printing system, not when it was made: a ticket held until the
    // paper was put in is the last one once it comes out.
    const auto llegada = [](const paper::JournalDocument& d) {
        return d.state == DocumentState::Printed ? d.updated : d.since;
    };
    std::optional<paper::JournalDocument> ultimo;
    for (const paper::JournalDocument& d : diario.recentDocuments(desde, false)) {
        // Printing a drawer opening again opens the drawer: never by a slip of the hand.
        if (claseDocumento(d.kind) == ClaseDocumento::Cajon) continue;
        if (d.state != DocumentState::Printed && d.state != DocumentState::Sent) continue;
        if (!ultimo || llegada(d) > llegada(*ultimo)) ultimo = d;
    }
    return ultimo;
}

QList<int> documentosEnEspera(platform::Journal& diario,
                              const QList<platform::PrinterSystem::PrinterState>& impresoras) {
    const auto predeterminada = std::find_if(impresoras.cbegin(), impresoras.cend(),
                                             [](const auto& impresora) { return impresora.isDefault; });
    QList<int> enEspera(impresoras.size(), 0);
    for (const paper::JournalDocument& d : diario.documentsIn(
             {DocumentState::Pending, DocumentState::Held, DocumentState::Sending, DocumentState::Sent})) {
        // Where Trabajos says it is: the printer it went to, else the one it was meant for.
        qsizetype i = impresoraLlamada(impresoras, impresoraDocumento(d));
        if (i < 0 && predeterminada != impresoras.cend()) i = predeterminada - impresoras.cbegin();
        if (i >= 0) ++enEspera[i];
    }
    return enEspera;
}

QList<platform::PrinterSystem::PrinterState> estadosImpresoras(platform::PrinterSystem& impresoras) {
    QList<platform::PrinterSystem::PrinterState> estados = impresoras.printerStates();
    const qsizetype predeterminada = impresoraLlamada(estados, impresoras.defaultPrinterName());
    if (predeterminada >= 0) estados[predeterminada].isDefault = true;
    return estados;
}

QString lineaTrabajo(const paper::JournalDocument& d) {
    QString linea = fila(QString::number(d.id), d.created.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                         nombreDocumento(d), referenciaDocumento(d), impresoraDocumento(d),
                         paper::stateName(d.state));
    if (!d.reason.isEmpty()) linea += QStringLiteral(": ") + d.reason;
    return linea;
}

QString cabeceraTrabajos() {
    return fila(QStringLiteral("Nº"), QStringLiteral("Hora"), QStringLiteral("Documento"),
                QStringLiteral("Mesa / pedido"), QStringLiteral("Impresora"), QStringLiteral("Estado"));
}

}  // namespace kelmora::shell
