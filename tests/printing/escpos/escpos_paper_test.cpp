// The receipt printer's rules, one test each, over every ticket kind on both rolls at once (and a
// document of the hardest rows): each document encoded for 58 and 80 mm printers and read back as
// the printer would print it.
#include "platform/qt/ticket_documents.h"

#include "printing/document/font_metric.h"
#include "printing/escpos/escpos_encoder.h"
#include "printing/escpos/escpos_interpreter.h"
#include "printing/escpos/escpos_pictures.h"

#include <QMap>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kelmora::testing {
namespace {

using paper::escpos::EscPosPaper;
using paper::escpos::EscPosProfile;
using paper::escpos::PaperGlyph;
using paper::escpos::PaperTextRow;

constexpr int kBottomMarginDots = 16;
constexpr int kTearBarDots = 96;

struct Printed {
    QString name;
    paper::Document document;
    EscPosProfile profile;
    QByteArray bytes;
    EscPosPaper paper;
};

// Rows that push the rules: a divider and a sentence too long for 58 mm, a row that fills the
// layout to its last column, a big row, and the filler a driver needs at the end.
paper::Document hardestRows() {
    paper::Document document;
    document.kind = QStringLiteral("Comanda");
    document.paperWidthMm = 55;
    const auto row = [&](double size, const QString& text, bool bold = false) {
        document.rows.append(paper::DocumentRow{paper::FontState{QStringLiteral("Courier 17 CPI"), size, bold, false}, text});
    };
    row(10, QString(48, u'='));
    row(16, QStringLiteral("Mesa 12"));
    row(12, QStringLiteral("1   Bandeja paisa         64.000"));
    row(12, QStringLiteral("    TELEFONO 601 5550000 EXTENSION 1234 OFICINA PRINCIPAL DEL NORTE"));
    row(15, QStringLiteral("** TOTAL $ 1.321.500 **"), true);
    row(10, QString(39, u'-'));
    row(12, QStringLiteral(" "));
    row(12, QStringLiteral("."));
    return document;
}

EscPosPaper read(const QByteArray& bytes, const EscPosProfile& profile, const paper::escpos::PrinterStart& start = {}) {
    return paper::escpos::interpretEscPos(bytes, profile.printableDots(), start);
}

// Every document of every ticket case and the hardest rows, on both printers, with `setUp` applied
// to the printer's profile.
template <typename SetUp>
std::vector<Printed> printEverything(SetUp setUp) {
    std::vector<paper::Document> documents{hardestRows()};
    for (const TicketCase& c : kTicketCases) {
        TicketPrinting printing;
        if (!printing.copyLogo()) ADD_FAILURE() << "no logo";
        printing.printCase(c);
        for (const auto& delivered : printing.printers.delivered()) {
            if (!delivered.isRaw) documents.push_back(delivered.document);
        }
    }
    paper::escpos::DitheringRasterizer rasterizer;
    std::vector<Printed> printed;
    for (const paper::Document& document : documents) {
        for (const int roll : {58, 80}) {
            Printed p{QStringLiteral("%1 of %2 rows on %3 mm").arg(document.kind).arg(document.rows.size()).arg(roll),
                      document, EscPosProfile(), {}, {}};
            p.profile.rollMm = roll;
            setUp(p.profile);
            p.bytes = paper::escpos::encodeEscPos(document, p.profile, &rasterizer);
            p.paper = read(p.bytes, p.profile);
            printed.push_back(std::move(p));
        }
    }
    return printed;
}

const std::vector<Printed>& everything() {
    static const std::vector<Printed> printed = printEverything([](EscPosProfile&) {});
    return printed;
}

// The characters of a line of paper, whatever style they were printed in, left to right.
struct Inked {
    QChar character;
    int x;
    int width;     // of the glyph
    int advance;   // to where the next character would go
    const PaperTextRow* row;
};

QList<QList<Inked>> linesOf(const EscPosPaper& paper) {
    QMap<int, QList<Inked>> byTop;
    for (const PaperTextRow& row : paper.rows) {
        for (const PaperGlyph& glyph : row.glyphs) byTop[row.y].append(Inked{glyph.character, glyph.x, row.glyphWidth(), glyph.advance, &row});
    }
    QList<QList<Inked>> lines;
    for (QList<Inked>& line : byTop) {
        std::stable_sort(line.begin(), line.end(), [](const Inked& a, const Inked& b) { return a.x < b.x; });
        lines.append(line);
    }
    return lines;
}

// Words on paper: characters that follow each other cell to cell; a gap is a blank.
QStringList wordsOf(const QList<Inked>& line) {
    QStringList words;
    int next = -1;
    for (const Inked& inked : line) {
        if (inked.x != next || words.isEmpty()) words.append(QString());
        words.last() += inked.character;
        next = inked.x + inked.advance;
    }
    return words;
}

bool isDivider(const QString& word) {
    return word.size() > 1 && (word.front() == u'=' || word.front() == u'-') && word.count(word.front()) == word.size();
}

bool isFiller(const QString& text) { return text.trimmed().isEmpty() || text.trimmed() == u"."; }

// Each printed row of the document, from its first to its last that is not filler, with the lines
// of paper that print it (a row too long for the paper takes several).
struct RowOnPaper {
    const paper::DocumentRow* row;
    QList<QList<Inked>> lines;
};

QList<RowOnPaper> rowsOnPaper(const Printed& p) {
    QList<RowOnPaper> rows;
    const QList<QList<Inked>> lines = linesOf(p.paper);
    qsizetype next = 0;
    qsizetype last = p.document.rows.size();
    while (last > 0 && isFiller(p.document.rows.at(last - 1).text)) --last;
    for (qsizetype i = 0; i < last; ++i) {
        const paper::DocumentRow& row = p.document.rows.at(i);
        const qsizetype words = row.text.split(u' ', Qt::SkipEmptyParts).size();
        if (words == 0) continue;
        RowOnPaper onPaper{&row, {}};
        qsizetype found = 0;
        while (found < words && next < lines.size()) {
            onPaper.lines.append(lines.at(next++));
            found += wordsOf(onPaper.lines.last()).size();
        }
        rows.append(onPaper);
    }
    return rows;
}

TEST(EscPosRules, TheStartTrustsNothingThePrinterStartsWith) {
    // Chinese/Kanji mode on, the Spain character set and Epson's usual motion units, as a printer's
    // switches may leave them: the paper is the same as on a printer that starts as we would.
    const paper::escpos::PrinterStart hostile{true, 7, 180, 360};
    const auto summary = [](const EscPosPaper& paper) {
        QStringList lines;
        for (const QList<Inked>& line : linesOf(paper)) {
            QString text = QString::number(line.first().row->y) + u':';
            for (const Inked& inked : line) text += QStringLiteral(" %1@%2").arg(inked.character).arg(inked.x);
            lines.append(text);
        }
        for (const auto& cut : paper.cuts) lines.append(QStringLiteral("cut %1").arg(cut.y));
        return lines;
    };
    for (const Printed& p : everything()) {
        SCOPED_TRACE(p.name.toStdString());
        EXPECT_EQ(summary(read(p.bytes, p.profile, hostile)), summary(p.paper));
        EXPECT_TRUE(p.paper.unknown.isEmpty());
    }

    // Without the start's commands that printer garbles every ticket (the check above can fail).
    int unharmed = 0;
    for (const Printed& p : printEverything([](EscPosProfile& profile) { profile.omitted = 7; })) {
        unharmed += summary(read(p.bytes, p.profile, hostile)) == summary(p.paper) ? 1 : 0;
    }
    EXPECT_EQ(unharmed, 0);
}

TEST(EscPosRules, NoCharacterMovesBackOverlapsAnotherOrRunsPastTheHead) {
    for (const Printed& p : everything()) {
        SCOPED_TRACE(p.name.toStdString());
        EXPECT_EQ(p.paper.backwardMoves, 0);
        for (const QList<Inked>& line : linesOf(p.paper)) {
            for (qsizetype i = 1; i < line.size(); ++i) {
                ASSERT_GE(line.at(i).x, line.at(i - 1).x + line.at(i - 1).width)
                    << "'" << QString(line.at(i).character).toStdString() << "' at " << line.at(i).x;
            }
            EXPECT_LE(line.last().x + line.last().width, p.profile.printableDots());
        }
        for (const auto& raster : p.paper.rasters) EXPECT_LE(raster.dots.width, (p.profile.printableDots() + 7) / 8 * 8);
    }
}

TEST(EscPosRules, NothingIsFedAfterTheLastLineButTheCutOrTheTearBar) {
    const auto lastInk = [](const EscPosPaper& paper) {
        int bottom = 0;
        for (const PaperTextRow& row : paper.rows) bottom = std::max(bottom, row.y + row.lineHeight);
        for (const auto& raster : paper.rasters) bottom = std::max(bottom, raster.y + raster.dots.height);
        return bottom;
    };
    for (const Printed& p : everything()) {
        SCOPED_TRACE(p.name.toStdString());
        ASSERT_EQ(p.paper.cuts.size(), 1);
        EXPECT_EQ(p.paper.cuts.first().y, lastInk(p.paper) + kBottomMarginDots);
        EXPECT_EQ(p.paper.length, p.paper.cuts.first().y);
        EXPECT_NE(linesOf(p.paper).last().first().character, u'.');
    }
    for (const Printed& p : printEverything([](EscPosProfile& profile) { profile.hasCutter = false; })) {
        SCOPED_TRACE(p.name.toStdString());
        EXPECT_TRUE(p.paper.cuts.isEmpty());
        EXPECT_EQ(p.paper.length, lastInk(p.paper) + kBottomMarginDots + kTearBarDots);
    }
}

TEST(EscPosRules, BigRowsStayBigOnBothRollsAndNoSmallerRowPrintsTaller) {
    int big = 0;
    for (const Printed& p : everything()) {
        SCOPED_TRACE(p.name.toStdString());
        int tallestSmall = 0;
        int shortestBig = 1 << 20;
        for (const RowOnPaper& onPaper : rowsOnPaper(p)) {
            const bool isBig = onPaper.row->font.size >= 14;
            for (const QList<Inked>& line : onPaper.lines) {
                for (const Inked& inked : line) {
                    EXPECT_EQ(inked.row->bold, onPaper.row->font.bold) << onPaper.row->text.toStdString();
                    if (isBig) {
                        EXPECT_GE(inked.row->heightMagnification, 2) << onPaper.row->text.toStdString();
                        shortestBig = std::min(shortestBig, inked.row->glyphHeight());
                    } else {
                        tallestSmall = std::max(tallestSmall, inked.row->glyphHeight());
                    }
                }
            }
            big += isBig ? 1 : 0;
        }
        EXPECT_LT(tallestSmall, shortestBig);
    }
    // The tables, the banners, the highlighted total and the hardest rows' own.
    EXPECT_GE(big, 20);
}

TEST(EscPosRules, RowsBreakBetweenWordsAndDividersAreCutNotSqueezed) {
    int broken = 0;
    int cut = 0;
    for (const Printed& p : everything()) {
        SCOPED_TRACE(p.name.toStdString());
        for (const RowOnPaper& onPaper : rowsOnPaper(p)) {
            const QStringList expected = onPaper.row->text.split(u' ', Qt::SkipEmptyParts);
            QStringList words;
            for (const QList<Inked>& line : onPaper.lines) words += wordsOf(line);
            broken += onPaper.lines.size() > 1 ? 1 : 0;
            if (expected.size() == 1 && isDivider(expected.first())) {
                ASSERT_EQ(onPaper.lines.size(), 1);
                const QList<Inked>& line = onPaper.lines.first();
                ASSERT_TRUE(expected.first().startsWith(words.join(QString())));
                // At its own pitch: each character a column apart, as wide as the row's font prints it.
                const double advance = paper::font_metric::characterAdvance(onPaper.row->font.name, onPaper.row->font.size) *
                                       p.profile.printableDots() / (p.document.paperWidthMm / 25.4 * 1440);
                const int pitch = line.size() > 1 ? line.at(1).x - line.at(0).x : line.first().advance;
                EXPECT_GE(pitch, std::min(line.first().width, static_cast<int>(advance)) - 1);
                if (words.join(QString()).size() < expected.first().size()) {
                    ++cut;
                    EXPECT_GT(line.last().x + line.last().advance + pitch, p.profile.printableDots());
                }
                continue;
            }
            EXPECT_EQ(words, expected);
        }
    }
    // The hardest rows break and cut on 58 mm.
    EXPECT_GE(broken, 1);
    EXPECT_GE(cut, 1);
}

TEST(EscPosRules, TheKitchenHearsItsTicketsAndCancellationsStandOutInRed) {
    for (const auto buzzer : {paper::escpos::Buzzer::Builtin, paper::escpos::Buzzer::Drawer}) {
        const auto printed = printEverything([&](EscPosProfile& profile) {
            profile.buzzer = buzzer;
            profile.redCancellations = true;
        });
        for (const Printed& p : printed) {
            SCOPED_TRACE(p.name.toStdString());
            const bool kitchen = p.document.kind == u"Comanda" || p.document.kind == u"Anulacion";
            const int sounds = buzzer == paper::escpos::Buzzer::Builtin ? p.paper.beeps : static_cast<int>(p.paper.pulses.size());
            EXPECT_EQ(sounds, kitchen ? 1 : 0);
            if (buzzer == paper::escpos::Buzzer::Drawer && kitchen) {
                EXPECT_EQ(p.paper.pulses.first().pin, 5);  // never the drawer's own pin
            }
            for (const PaperTextRow& row : p.paper.rows) EXPECT_EQ(row.red, p.document.kind == u"Anulacion");
        }
    }
    // Off by default.
    for (const Printed& p : everything()) {
        EXPECT_EQ(p.paper.beeps + p.paper.pulses.size(), 0);
        for (const PaperTextRow& row : p.paper.rows) EXPECT_FALSE(row.red);
    }
}

}  // namespace
}  // namespace kelmora::testing
