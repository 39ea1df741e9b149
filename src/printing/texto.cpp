// The text layout primitives: column scaling, word fit, wrapped and centred paragraphs, rules.
#include "printing/texto.h"

#include "json/runtime_error.h"

#include <cmath>

namespace kelmora {

namespace {

constexpr int kColumnasDiseno = 40;  // the design grid the tickets are written against
// Pairs of blanks are folded six times over: runs of up to 64 blanks become one.
constexpr int kPasadasBlancos = 6;

double redondearPar(double valor) { return std::nearbyint(valor); }  // ties to even in the default mode

}  // namespace

QString recortarBlancos(const QString& texto) {
    qsizetype inicio = 0;
    qsizetype fin = texto.size();
    while (inicio < fin && texto.at(inicio) == u' ') ++inicio;
    while (fin > inicio && texto.at(fin - 1) == u' ') --fin;
    return texto.mid(inicio, fin - inicio);
}

QString mayusculas(const QString& texto) {
    QString resultado = texto;
    for (QChar& c : resultado) c = c.toUpper();
    return resultado;
}

qint16 aEntero16(double valor) {
    const double redondo = redondearPar(valor);
    if (!(redondo >= std::numeric_limits<qint16>::min() && redondo <= std::numeric_limits<qint16>::max())) {
        throw RuntimeError(errors::overflow);
    }
    return static_cast<qint16>(redondo);
}

qint16 TextoTicket::escalarColumna(int columna) const {
    return aEntero16(static_cast<double>(columna) * config_.anchoTicket() / kColumnasDiseno);
}

qint16 TextoTicket::calcularCorte(const QString& texto, qint16 ancho) const {
    int cuenta = 0;
    for (const QStringView palabra : QStringView(texto).split(u' ')) {
        if (cuenta + palabra.size() >= ancho) break;
        cuenta = aEntero16(static_cast<double>(cuenta + palabra.size() + 1));
    }
    return static_cast<qint16>(cuenta);
}

qint16 TextoTicket::espacioLibre(const QString& texto, qint16 ancho) const {
    return aEntero16(static_cast<double>(ancho) - static_cast<double>(recortarBlancos(texto).size()));
}

void TextoTicket::imprimirTexto(QString& texto, qint16 ancho, Alineacion alineacion, qint16 columna) {
    imprimirParrafos(texto, Medida::Caracteres, ancho, ancho, alineacion, columna);
}

void TextoTicket::imprimirTexto(const QString& texto, qint16 ancho, Alineacion alineacion, qint16 columna) {
    QString copia = texto;
    imprimirTexto(copia, ancho, alineacion, columna);
}

void TextoTicket::imprimirTextoMedido(QString& texto, qint16& ancho, Alineacion alineacion, qint16 columna) {
    platform::Printer& impresora = seleccion_.impresora();
    impresora.setFontSize(redondearPar(impresora.font().size));
    ancho = anchoRegla();
    imprimirParrafos(texto, Medida::Medido, ancho, config_.anchoTicket(), alineacion, columna);
}

void TextoTicket::imprimirTextoMedido(const QString& texto, qint16 ancho, Alineacion alineacion, qint16 columna) {
    QString copia = texto;
    imprimirTextoMedido(copia, ancho, alineacion, columna);
}

void TextoTicket::imprimirParrafos(QString& texto, Medida medida, double limite, qint16 anchoCentrado,
                                   Alineacion alineacion, qint16 columna) {
    texto = mayusculas(texto);
    platform::Printer& impresora = seleccion_.impresora();
    const auto tamano = [&](QStringView palabra) {
        return medida == Medida::Caracteres ? static_cast<double>(palabra.size())
                                            : impresora.textWidth(palabra.toString());
    };
    const double blanco = tamano(u" ");

    for (QString parrafo : texto.split(QStringLiteral("\r\n"))) {
        if (parrafo.isEmpty()) continue;
        for (int pasada = 0; pasada < kPasadasBlancos; ++pasada) parrafo.replace(QStringLiteral("  "), QStringLiteral(" "));
        const QList<QStringView> palabras = QStringView(parrafo).split(u' ');

        qsizetype siguiente = 0;
        while (siguiente < palabras.size()) {
            // Fill one line. A word as wide as the limit or wider is always taken and adds nothing,
            // so it neither ends the line nor gets one of its own.
            double acumulado = 0;
            QString linea;
            qsizetype i = siguiente;
            for (; i < palabras.size(); ++i) {
                const double medidaPalabra = tamano(palabras.at(i));
                if (medidaPalabra < limite) {
                    if (i > siguiente && acumulado + medidaPalabra > limite) break;
                    acumulado += medidaPalabra + blanco;
                }
                if (i > siguiente) linea += u' ';
                linea += palabras.at(i);
            }
            siguiente = i;
            linea = recortarBlancos(linea);

            paper::PrinterLine renglon;
            if (alineacion == Alineacion::Centro) {
                renglon.column(aEntero16((anchoCentrado - static_cast<double>(linea.size())) / 2.0));
            } else if (columna >= 1) {
                renglon.column(columna);
            }
            impresora.printLine(renglon.text(linea));
        }
    }
}

qint16 TextoTicket::anchoRegla() {
    platform::Printer& impresora = seleccion_.impresora();
    const double recordado = impresora.font().size;
    int iguales = 35;
    if (config_.esRollo55()) {
        impresora.setFontSize(7);
        iguales = 30;
    } else {
        impresora.setFontSize(10);
        if (config_.esRollo75()) iguales = 34;
    }
    const double medida = impresora.textWidth(QString(iguales, u'='));
    impresora.setFontSize(recordado);
    return aEntero16(medida);
}

void TextoTicket::imprimirSeparador(const QString& caracter) {
    platform::Printer& impresora = seleccion_.impresora();
    const double recordado = redondearPar(impresora.font().size);
    impresora.setFontSize(config_.tamanoPequeno());
    const bool ancho40 = config_.anchoTicket() == 40;
    if (caracter == u"=") {
        impresora.printLine(QString(ancho40 ? 37 : 30, u'='));
    } else if (caracter == u"-") {
        impresora.printLine(QString(ancho40 ? 39 : 30, u'-'));
    }
    impresora.setFontSize(recordado);
}

void TextoTicket::imprimirLineaMonto(const QString& etiqueta, const Decimal& monto) {
    const QString texto = textoMonto(monto);
    seleccion_.impresora().printLine(
        paper::PrinterLine(etiqueta).column(espacioLibre(texto, config_.anchoTicket())).text(texto));
}

}  // namespace kelmora
