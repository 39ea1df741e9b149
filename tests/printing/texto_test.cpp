// The text layout primitives on the character grid of the text printer.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>

namespace kelmora::testing {
namespace {

using enum Alineacion;

const QString k55 = QStringLiteral("rollo 55mm");
const QString k75 = QStringLiteral("rollo 75mm");
const QString kAncho = QStringLiteral("Tamaño de Factura");
const QString kRollo = QStringLiteral("Tamano de Factura");

class Texto : public ::testing::Test {
protected:
    PrintBench banco;
    TextoTicket& imp = banco.texto;

    // What `imprime` puts on one document, one row per line.
    QString impreso(const std::function<void()>& imprime, bool conFuentes = false) {
        imprime();
        banco.printers.current().endDoc();
        return banco.onlyDocument(conFuentes);
    }
};

TEST_F(Texto, LosParrafosVaciosNoImprimenYLosBlancosDanUnaLineaVacia) {
    EXPECT_EQ(impreso([&] {
                  imp.imprimirTexto(QString(), 40, Izquierda, 0);
                  imp.imprimirTexto(QStringLiteral("uno\r\n\r\ndos\r\n"), 40, Izquierda, 0);
                  imp.imprimirTexto(QStringLiteral("   "), 40, Izquierda, 0);
              }),
              "UNO\nDOS\n\n");
}

TEST_F(Texto, SeAjustaAlAnchoYLoQueCabeJustoCabe) {
    EXPECT_EQ(impreso([&] {
                  imp.imprimirTexto(QStringLiteral("casa perro"), 10, Izquierda, 0);
                  imp.imprimirTexto(QStringLiteral("casa perros"), 10, Izquierda, 0);
                  imp.imprimirTexto(QStringLiteral("sal  y      pimienta"), 10, Izquierda, 0);
              }),
              "CASA PERRO\nCASA\nPERROS\nSAL Y\nPIMIENTA\n");
}

TEST_F(Texto, LasPalabrasTanLargasComoElAnchoNuncaCortanLaLinea) {
    // A word as wide as the width or wider is never cut, never goes to a line of its own and adds
    // nothing to the line: the words after it are measured from what came before it.
    EXPECT_EQ(impreso([&] {
                  imp.imprimirTexto(QStringLiteral("abcdefghijkl a b"), 10, Izquierda, 0);  // first
                  imp.imprimirTexto(QStringLiteral("pan con abcdefghij queso"), 10, Izquierda, 0);  // exactly the width
                  imp.imprimirTexto(QStringLiteral("abcd abcdefghijkl efghi jk"), 10, Izquierda, 0);  // in the middle
                  imp.imprimirTexto(QStringLiteral("casa perro abcdefghijk"), 10, Izquierda, 0);  // last, on a full line
                  imp.imprimirTexto(QStringLiteral("abcdefghij abcdefghijklm"), 10, Izquierda, 0);  // two in a row
                  imp.imprimirTexto(QStringLiteral("abcdefghi x"), 10, Izquierda, 0);  // one less than the width wraps
              }),
              "ABCDEFGHIJKL A B\n"
              "PAN CON ABCDEFGHIJ\nQUESO\n"
              "ABCD ABCDEFGHIJKL EFGHI\nJK\n"
              "CASA PERRO ABCDEFGHIJK\n"
              "ABCDEFGHIJ ABCDEFGHIJKLM\n"
              "ABCDEFGHI\nX\n");
}

TEST_F(Texto, CentraPorCaracteresYSangraEnUnaColumna) {
    QString texto = QStringLiteral("arroz con pollo");
    EXPECT_EQ(impreso([&] {
                  imp.imprimirTexto(QStringLiteral("abcde"), 32, Centro, 0);
                  imp.imprimirTexto(QStringLiteral("abcdefg"), 32, Centro, 0);
                  imp.imprimirTexto(QString(32, u'x'), 32, Centro, 0);
                  imp.imprimirTexto(texto, 40, Izquierda, 5);
                  imp.imprimirTexto(QStringLiteral("sopa"), 40, Derecha, 0);
              }),
              QString(13, u' ') + "ABCDE\n" + QString(11, u' ') + "ABCDEFG\n" + QString(32, u'X') +
                  "\n    ARROZ CON POLLO\nSOPA\n");
    EXPECT_EQ(texto, "ARROZ CON POLLO");
}

TEST_F(Texto, EscalaLasColumnasAlRollo) {
    EXPECT_EQ(imp.escalarColumna(22), 22);
    banco.setSettings({{kAncho, k55}});
    EXPECT_EQ(imp.escalarColumna(22), 18);
    EXPECT_EQ(imp.escalarColumna(35), 28);
    EXPECT_EQ(imp.escalarColumna(7), 6);
}

TEST_F(Texto, CuentaLasPalabrasEnterasQueQuedanBajoElAncho) {
    EXPECT_EQ(imp.calcularCorte(QStringLiteral("ab cd"), 5), 3);
    EXPECT_EQ(imp.calcularCorte(QStringLiteral("ab cd"), 6), 6);
    EXPECT_EQ(imp.calcularCorte(QStringLiteral("abcde fg"), 5), 0);
    EXPECT_EQ(imp.calcularCorte(QStringLiteral("ab  cd"), 10), 7);  // the empty word between the blanks counts 1
    EXPECT_EQ(imp.espacioLibre(QStringLiteral("  AB  "), 10), 8);
    EXPECT_EQ(imp.espacioLibre(QStringLiteral("ABCDEF"), 4), -2);
}

TEST_F(Texto, LasReglasSiguenLosDosAjustesDePapel) {
    const auto regla = [&](const QList<std::pair<QString, QString>>& ajustes, const QString& caracter) {
        PrintBench b;
        b.setSettings(ajustes);
        b.printers.current().setFontSize(12);
        b.texto.imprimirSeparador(caracter);
        b.printers.current().endDoc();
        return b.onlyDocument(true);
    };
    EXPECT_EQ(regla({{kAncho, k55}, {kRollo, k55}}, "="), "[default 7] " + QString(30, u'=') + "\n");
    EXPECT_EQ(regla({{kRollo, k55}}, "="), "[default 7] " + QString(37, u'=') + "\n");
    EXPECT_EQ(regla({}, "="), "[default 10] " + QString(37, u'=') + "\n");
    EXPECT_EQ(regla({{kRollo, k75}}, "-"), "[default 10] " + QString(39, u'-') + "\n");
    EXPECT_EQ(regla({{kAncho, k55}}, "-"), "[default 10] " + QString(30, u'-') + "\n");
}

TEST_F(Texto, LasReglasRedondeanLaFuenteYLaReglaDeReferenciaLaConserva) {
    platform::Printer& p = banco.printers.current();
    p.setFontSize(8.5);
    imp.imprimirSeparador(QStringLiteral("*"));
    EXPECT_EQ(p.font().size, 8);
    p.setFontSize(8.5);
    imp.anchoRegla();
    EXPECT_EQ(p.font().size, 8.5);
    EXPECT_TRUE(p.pendingDocument().rows.isEmpty());
}

TEST_F(Texto, LaReglaDeReferenciaSeMideEnLaFuenteActual) {
    banco.printers.current().setFontSize(16);
    EXPECT_EQ(imp.anchoRegla(), 35 * 120);  // the printer's default font at 10 points
    banco.printers.current().setFontName(QStringLiteral("Courier 17 CPI"));
    EXPECT_EQ(imp.anchoRegla(), 2965);  // 35 x 1440/17
    banco.setSettings({{kRollo, k75}});
    EXPECT_EQ(imp.anchoRegla(), 2880);  // 34 x 1440/17
    banco.setSettings({{kRollo, k55}});
    EXPECT_EQ(imp.anchoRegla(), 1779);  // 30 x 1440/17 x 0.7
}

TEST_F(Texto, ElTextoMedidoSeAjustaPorAnchoYSeCentraEnElRollo) {
    platform::Printer& p = banco.printers.current();
    p.setFontName(QStringLiteral("Courier 17 CPI"));
    p.setFontSize(12.4);
    qint16 ancho = 0;
    // At 12 points a character is 101.6 twips: 29 of them fit under the 2965 of the rule, 30 do not.
    QString texto = QString(24, u'a') + QStringLiteral(" bbbb ") + QString(25, u'c') + QStringLiteral(" dddd");
    EXPECT_EQ(impreso([&] {
                  imp.imprimirTextoMedido(texto, ancho, Izquierda, 0);
                  imp.imprimirTextoMedido(QStringLiteral("Mesa 4"), 40, Centro, 0);
              },
                      true),
              "[Courier 17 CPI 12] " + QString(24, u'A') + " BBBB\n[Courier 17 CPI 12] " + QString(25, u'C') +
                  "\n[Courier 17 CPI 12] DDDD\n[Courier 17 CPI 12]" + QString(17, u' ') + "MESA 4\n");
    EXPECT_EQ(ancho, 2965);
    EXPECT_EQ(texto.left(3), "AAA");
}

}  // namespace
}  // namespace kelmora::testing
