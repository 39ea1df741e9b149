#pragma once

#include "platform/notifier.h"
#include "platform/printer.h"
#include "printing/config_impresion.h"

#include <QString>

#include <optional>

namespace kelmora {

// A printer's name as names compare wherever they do: without regard to case and blanks at the ends.
QString claveImpresora(const QString& nombre);
// Which of `impresoras` the documents that name `nombre` go to, found as the selection finds a
// printer: by the names the printers are selected by first, then by the names shown; -1 for none.
qsizetype impresoraLlamada(const QList<platform::PrinterSystem::PrinterState>& impresoras, const QString& nombre);

// Which printer a document goes to: the installed printer of a device name, with the fallback to
// the default printer when that one is missing or failing. A selection that finds no printer able
// to print is told in a balloon.
class SeleccionImpresora {
public:
    SeleccionImpresora(platform::PrinterSystem& impresoras, platform::Notifier& avisos)
        : impresoras_(impresoras), avisos_(avisos) {}

    bool hayImpresora() const;
    QString impresoraPredeterminada() const;
    // The index of the installed printer of that device name, else of the default printer;
    // kSinImpresora when neither is installed, which seleccionarImpresora takes as a failed probe.
    static constexpr qint16 kSinImpresora = -1;
    qint16 indiceImpresora(const QString& nombre) const;
    bool seleccionarImpresora(qint16 indice, bool esReintento);
    // indiceImpresora and seleccionarImpresora for a device name, as every ticket calls them, also
    // noting when the ticket goes to another printer than the one it names, and why.
    bool seleccionarPara(const QString& nombre);

    // A ticket printed on the default printer instead of the one it names: which one it named, and
    // why it did not go there.
    struct Desvio {
        QString pedida;
        QString motivo;
    };
    // The diversion of the last seleccionarPara that selected a printer; none when the ticket goes
    // where it said.
    const std::optional<Desvio>& desvio() const { return desvio_; }
    // Why the last selection found no printer able to print; empty after one that did.
    const QString& fallaSeleccion() const { return fallaSeleccion_; }

    // While a held document is tried again, its failures are kept quiet: the tray already counts
    // it, and a balloon every few seconds would hide everything else.
    void silenciarFallas(bool silenciar) { silenciarFallas_ = silenciar; }
    // A document printed again at a person's request says so at its top.
    void marcarReimpresion(bool reimpresion) { reimpresion_ = reimpresion; }
    bool reimpresion() const { return reimpresion_; }
    // A document's success balloon, which says so when it is a reprint.
    QString comoReimpresion(const QString& globo) const {
        return reimpresion_ ? QStringLiteral("Reimpresión: ") + globo : globo;
    }

    // The current printer: the one selected last, the default one before any selection.
    platform::Printer& impresora() { return impresoras_.current(); }
    platform::PrinterSystem& impresoras() { return impresoras_; }

private:
    std::optional<qint16> buscarImpresora(const QString& nombre) const;

    platform::PrinterSystem& impresoras_;
    platform::Notifier& avisos_;
    QString fallaSeleccion_;
    QString fallaPedida_;  // why the requested printer failed its probe, before the fallback
    std::optional<Desvio> desvio_;
    bool silenciarFallas_ = false;
    bool reimpresion_ = false;
};

// One document on the current printer, from its selection to its end. A document that is not
// ended (a run-time error left it unfinished) is abandoned, never sent half-printed.
class Documento {
public:
    Documento(SeleccionImpresora& seleccion, const ConfigImpresion& config, const QString& clase)
        : impresora_(seleccion.impresora()) {
        impresora_.setDocumentKind(clase);
        impresora_.setPaperWidth(config.anchoRolloMm());
        if (seleccion.reimpresion()) impresora_.printLine(QStringLiteral("REIMPRESIÓN"));
    }
    ~Documento() {
        if (!terminado_) impresora_.killDoc();
    }
    Documento(const Documento&) = delete;
    Documento& operator=(const Documento&) = delete;

    void terminar() {
        terminado_ = true;
        impresora_.endDoc();
    }

private:
    platform::Printer& impresora_;
    bool terminado_ = false;
};

}  // namespace kelmora
