#pragma once

#include "json/value.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/notifier.h"
#include "platform/pictures.h"
#include "platform/printer.h"
#include "printing/config_factura.h"

#include <QLocale>
#include <QString>

namespace kelmora {

// What the print logic reaches of the platform.
struct ServiciosImpresion {
    platform::PrinterSystem& impresoras;
    platform::Notifier& avisos;
    platform::Clock& reloj;
    platform::PictureLoader& imagenes;
    platform::EventPump& eventos;
    QLocale locale;             // number texts: grouping and decimal mark
    QString carpetaPrograma;    // where logo.bmp is looked for
};

// The print foundation every ticket uses: the settings of the latest payload, printer selection
// with its fallback to the default printer, and the text layout primitives on a 40-column design
// grid. It owns the state the tickets share: `configImpresion`, `configFactura` and, through the
// printer system, the current printer.
class Imprimir {
public:
    explicit Imprimir(ServiciosImpresion servicios) : s_(std::move(servicios)) {}

    // Settings of the latest payload.
    Collection configImpresion;
    ConfigFactura configFactura;

    // Settings lookups: the first entry with that exact `Nombre` counts.
    QString leerConfig(const QString& nombre) const;
    bool configVisible(const QString& nombre) const;

    // Roll width in characters, from "Tamaño de Factura".
    qint16 anchoTicket() const;
    // Roll flags, from "Tamano de Factura" (a setting of its own).
    bool esRollo55() const;
    bool esRollo75() const;
    // The paper the document goes on: a 55 mm roll when either paper-size setting names one.
    double anchoRolloMm() const { return esRollo55() || anchoTicket() == 32 ? 55 : 75; }
    // 7 points on a 55 mm roll, else 10: the size of rules and small text.
    double tamanoPequeno() const { return esRollo55() ? 7 : 10; }

    // Printers.
    bool hayImpresora() const;
    QString impresoraPredeterminada() const;
    // The index of the installed printer of that device name, else of the default printer;
    // kSinImpresora when neither is installed, which seleccionarImpresora takes as a failed probe.
    static constexpr qint16 kSinImpresora = -1;
    qint16 indiceImpresora(const QString& nombre) const;
    bool seleccionarImpresora(qint16 indice, bool esReintento);
    platform::Printer& impresora() { return s_.impresoras.current(); }

    // Layout primitives. The wrapping ones upper-case the caller's text when given a variable.
    qint16 escalarColumna(int columna) const;
    qint16 calcularCorte(const QString& texto, qint16 ancho) const;
    qint16 espacioLibre(const QString& texto, qint16 ancho) const;
    void imprimirTexto(QString& texto, qint16 ancho, qint32 alineacion, qint16 columna);
    void imprimirTexto(const QString& texto, qint16 ancho, qint32 alineacion, qint16 columna);
    void imprimirTextoMedido(QString& texto, qint16& ancho, qint32 alineacion, qint16 columna);
    void imprimirTextoMedido(const QString& texto, qint16 ancho, qint32 alineacion, qint16 columna);
    qint16 anchoRegla();
    void imprimirSeparador(const QString& caracter);

    // An amount text: no decimal places, the locale's grouping.
    QString textoMonto(const Decimal& monto) const { return monto.toAmountText(s_.locale); }
    // An amount line: the label, then the amount ending in column anchoTicket() - 1.
    void imprimirLineaMonto(const QString& etiqueta, const Decimal& monto);

    const QLocale& locale() const { return s_.locale; }
    const QString& carpetaPrograma() const { return s_.carpetaPrograma; }
    platform::Notifier& avisos() { return s_.avisos; }
    platform::Clock& reloj() { return s_.reloj; }
    platform::PictureLoader& imagenes() { return s_.imagenes; }
    platform::EventPump& eventos() { return s_.eventos; }
    platform::PrinterSystem& impresoras() { return s_.impresoras; }

private:
    enum class Medida { Caracteres, Medido };
    void imprimirParrafos(QString& texto, Medida medida, double limite, qint16 anchoCentrado, qint32 alineacion,
                          qint16 columna);
    std::optional<qint16> buscarImpresora(const QString& nombre) const;

    ServiciosImpresion s_;
};

// One document on the current printer, from its selection to its end. A document that is not
// ended (a run-time error left it unfinished) is abandoned, never sent half-printed.
class Documento {
public:
    Documento(Imprimir& imprimir, const QString& clase) : impresora_(imprimir.impresora()) {
        impresora_.setDocumentKind(clase);
        impresora_.setPaperWidth(imprimir.anchoRolloMm());
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

// Text helpers shared by the tickets.
// Blanks (only the space character) removed at both ends.
QString recortarBlancos(const QString& texto);
// Upper case, one character for one, so lengths and columns do not move.
QString mayusculas(const QString& texto);
// A count or column as a 16-bit integer; Overflow outside its range.
qint16 aEntero16(double valor);

}  // namespace kelmora
