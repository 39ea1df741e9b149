// Which printers get the receipt printer's commands and which get PDF, and the roll they print on.
#include "printing/salida.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

using platform::PrinterOutput;
using platform::PrinterSettings;

TEST(Salida, LosAjustesMandanSobreLaColaYElRolloSigueAlDocumentoMientrasNoLoNombren) {
    // Without a word of the settings, the queue decides.
    const PrinterSettings automatica;
    EXPECT_EQ(elegirSalida(automatica, true).formato, FormatoSalida::EscPos);
    EXPECT_EQ(elegirSalida(automatica, false).formato, FormatoSalida::Pdf);

    PrinterSettings pdf;
    pdf.output = PrinterOutput::Pdf;
    EXPECT_EQ(elegirSalida(pdf, true).formato, FormatoSalida::Pdf);

    // A printer the settings call a receipt printer gets its commands even behind a driver, with
    // the settings' profile on the roll the document was laid out for.
    PrinterSettings termica;
    termica.output = PrinterOutput::EscPos;
    termica.escpos.codePage = paper::escpos::CodePage::PC858;
    termica.escpos.hasCutter = false;
    const Salida estrecha = elegirSalida(termica, false, 55);
    EXPECT_EQ(estrecha.formato, FormatoSalida::EscPos);
    EXPECT_EQ(estrecha.perfil.rollMm, 58);
    EXPECT_EQ(estrecha.perfil.codePage, paper::escpos::CodePage::PC858);
    EXPECT_FALSE(estrecha.perfil.hasCutter);
    EXPECT_EQ(elegirSalida(termica, false).perfil.rollMm, 80);  // no document yet: the usual roll

    // A roll the settings name is the printer's, whatever the document was laid out for.
    termica.rollSet = true;
    EXPECT_EQ(elegirSalida(termica, false, 55).perfil.rollMm, 80);
}

}  // namespace
}  // namespace kelmora::testing
