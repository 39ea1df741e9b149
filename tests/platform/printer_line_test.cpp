#include "platform/text/text_printer.h"
#include "printing/document/font_metric.h"
#include "printing/document/printer_line.h"

#include "json/runtime_error.h"

#include <gtest/gtest.h>

using namespace kelmora;
using namespace kelmora::paper;
using namespace kelmora::platform;

namespace {

QStringList rows(const PrinterLine& line) { return line.layOut(); }

const QLocale kUs(QLocale::English, QLocale::UnitedStates);

}  // namespace

TEST(PrinterLineLayout, ItemsFollowOneAnother) {
    EXPECT_EQ(rows(PrinterLine().text("CANT").text("PRODUCTO")), QStringList{"CANTPRODUCTO"});
    EXPECT_EQ(rows(PrinterLine()), QStringList{""});
}

TEST(PrinterLineLayout, NumbersGetASignBlankAndATrailingBlank) {
    EXPECT_EQ(rows(PrinterLine().number(Decimal(2), kUs).text("X")), QStringList{" 2 X"});
    EXPECT_EQ(rows(PrinterLine().number(Decimal(-2), kUs).text("X")), QStringList{"-2 X"});
    EXPECT_EQ(rows(PrinterLine().number(*Decimal::parse(u"1.5"), QLocale(QLocale::Spanish, QLocale::Colombia))),
              QStringList{" 1,5 "});
}

TEST(PrinterLineLayout, ColumnsAreOneBasedAndBelowOneMeansTheFirst) {
    EXPECT_EQ(rows(PrinterLine().column(5).text("A")), QStringList{"    A"});
    EXPECT_EQ(rows(PrinterLine().column(0).text("A")), QStringList{"A"});
    EXPECT_EQ(rows(PrinterLine().column(-3).text("A")), QStringList{"A"});
    // A move to the column the position is already at stays on the line.
    EXPECT_EQ(rows(PrinterLine().text("AB").column(3).text("C")), QStringList{"ABC"});
}

TEST(PrinterLineLayout, AMoveToTheLeftContinuesOnTheNextLineAtThatColumn) {
    EXPECT_EQ(rows(PrinterLine().text("LONG NAME HERE").column(6).text("1,000")),
              (QStringList{"LONG NAME HERE", "     1,000"}));
    EXPECT_EQ(rows(PrinterLine().number(Decimal(3), kUs).column(7).text("PIZZA FAMILIAR GRANDE").column(20).text("9")),
              (QStringList{" 3    PIZZA FAMILIAR GRANDE", "                   9"}));
}

TEST(FontMetric, CharactersPerInchFontsAndTheDefault) {
    EXPECT_DOUBLE_EQ(font_metric::characterAdvance("Courier 17 CPI", 10), 1440.0 / 17);
    EXPECT_DOUBLE_EQ(font_metric::characterAdvance("Courier 14 CPI", 7), 1440.0 / 14 * 0.7);
    EXPECT_DOUBLE_EQ(font_metric::characterAdvance("default", 10), 120);
    EXPECT_DOUBLE_EQ(font_metric::characterAdvance("Arial", 12), 144);
    EXPECT_DOUBLE_EQ(font_metric::lineHeight(10), 240);
    EXPECT_DOUBLE_EQ(font_metric::textWidth("Courier 14 CPI", 10, QString(35, u'=')), 3600);
}

namespace {

struct TextPrinters : ::testing::Test {
    TextPrinterSystem system{TextPrinterSystem::Options{{"Cocina", "Facturas"}, "Facturas", {"Cocina"}}};
};

}  // namespace

TEST_F(TextPrinters, TheProbeLeavesNoTraceButLinesAfterItStay) {
    Printer& p = system.select(1);
    p.probe();
    p.closeProbe();
    p.printLine("Error en Impresora Facturas");
    p.closeProbe();  // the closing call after the note line must keep it
    p.printLine("HOLA");
    p.endDoc();
    ASSERT_EQ(system.delivered().size(), 1u);
    EXPECT_EQ(renderText(system.delivered()[0].document, false), "Error en Impresora Facturas\nHOLA\n");
}

TEST_F(TextPrinters, AnOfflinePrinterFailsItsProbeWithADescription) {
    Printer& p = system.select(0);
    try {
        p.probe();
        FAIL() << "the probe should fail";
    } catch (const RuntimeError& e) {
        EXPECT_TRUE(e.description().contains("Cocina"));
    }
    EXPECT_THROW(system.select(2), RuntimeError);
    EXPECT_EQ(system.defaultPrinterName(), "Facturas");
    // A person who looks at the printers reads the same.
    const QList<PrinterSystem::PrinterState> states = system.printerStates();
    ASSERT_EQ(states.size(), 2);
    EXPECT_TRUE(states.at(0).state.contains("Cocina")) << states.at(0).state.toStdString();
    EXPECT_EQ(states.at(1).state, "lista");
}

TEST_F(TextPrinters, SelectionResetsTheFontWhichThenSurvivesTheEndOfADocument) {
    Printer& p = system.select(1);
    p.setFontName("Courier 17 CPI");
    p.setFontSize(8.5);
    p.setFontBold(true);
    p.printLine("A");
    p.endDoc();
    p.printLine("B");
    p.killDoc();  // abandoned: never delivered
    p.printLine("C");
    p.endDoc();
    ASSERT_EQ(system.delivered().size(), 2u);
    EXPECT_EQ(renderText(system.delivered()[1].document, true), "[Courier 17 CPI 8.5 B] C\n");
    system.select(1);
    p.printLine("  D  ");
    p.printLine("");
    p.endDoc();
    EXPECT_EQ(renderText(system.delivered()[2].document, true), "[default 10]   D\n[default 10]\n");
}
