#pragma once

#include "json/decimal.h"
#include "printing/config_impresion.h"
#include "printing/seleccion_impresora.h"

#include <QString>

namespace kelmora {

// Where the lines of a paragraph sit. Derecha lays out like Izquierda: the one line that asks for it,
// a kitchen order's total, has always come out flush left.
enum class Alineacion { Izquierda, Derecha, Centro };

// The text layout primitives on a 40-column design grid, on the current printer and the roll the
// settings name.
class TextoTicket {
public:
    TextoTicket(SeleccionImpresora& seleccion, const ConfigImpresion& config)
        : seleccion_(seleccion), config_(config) {}

    // Layout primitives. The wrapping ones upper-case the caller's text when given a variable.
    qint16 escalarColumna(int columna) const;
    qint16 calcularCorte(const QString& texto, qint16 ancho) const;
    qint16 espacioLibre(const QString& texto, qint16 ancho) const;
    void imprimirTexto(QString& texto, qint16 ancho, Alineacion alineacion, qint16 columna);
    void imprimirTexto(const QString& texto, qint16 ancho, Alineacion alineacion, qint16 columna);
    void imprimirTextoMedido(QString& texto, qint16& ancho, Alineacion alineacion, qint16 columna);
    void imprimirTextoMedido(const QString& texto, qint16 ancho, Alineacion alineacion, qint16 columna);
    qint16 anchoRegla();
    void imprimirSeparador(const QString& caracter);

    // An amount text: no decimal places, the locale's grouping.
    QString textoMonto(const Decimal& monto) const { return monto.toAmountText(config_.locale()); }
    // An amount line: the label, then the amount ending in column anchoTicket() - 1.
    void imprimirLineaMonto(const QString& etiqueta, const Decimal& monto);

private:
    enum class Medida { Caracteres, Medido };
    void imprimirParrafos(QString& texto, Medida medida, double limite, qint16 anchoCentrado, Alineacion alineacion,
                          qint16 columna);

    SeleccionImpresora& seleccion_;
    const ConfigImpresion& config_;
};

// Text helpers shared by the tickets.
// Blanks (only the space character) removed at both ends.
QString recortarBlancos(const QString& texto);
// Upper case, one character for one, so lengths and columns do not move.
QString mayusculas(const QString& texto);
// A count or column as a 16-bit integer; Overflow outside its range.
qint16 aEntero16(double valor);

}  // namespace kelmora
