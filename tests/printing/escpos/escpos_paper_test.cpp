// Every ticket kind on both rolls, encoded for both printers and read back: the paper holds the
// preview's rows, each character at the dot its column scales to, in a printer font that fits its
// row, with the logo at its box's size in dots and the cut last.
#include "platform/qt/pdf_reading.h"
#include "platform/qt/ticket_documents.h"

#include "printing/document/font_metric.h"
#include "printing/escpos/escpos_commands.h"
#include "printing/escpos/escpos_encoder.h"
#include "printing/escpos/escpos_interpreter.h"
#include "printing/escpos/escpos_pictures.h"

#include <QMap>

#include <cmath>

namespace kelmora::testing {
namespace {

using paper::escpos::EscPosPaper;
using paper::escpos::EscPosProfile;
using paper::escpos::PaperTextRow;
namespace metric = paper::font_metric;

int near(double value) { return static_cast<int>(std::lround(value)); }

// Checks one document's paper against its rows and pictures; gives the faults found.
QStringList paperFaults(const paper::Document& document, const EscPosPaper& paper, int printable) {
    QStringList faults;
    const double dotsPerTwip = printable / (document.paperWidthMm / 25.4 * metric::kTwipsPerInch);

    QList<const PaperTextRow*> printed;
    for (const PaperTextRow& row : paper.rows) {
        if (!row.glyphs.isEmpty()) printed.append(&row);
    }
    // One printer style per font state where the row is not narrowed to fit.
    QMap<QString, QString> styles;
    qsizetype next = 0;
    double top = 0;
    int shift = 0;  // text below a picture that reaches into it moves down, all of it alike
    qsizetype picturesAbove = 0;
    int number = 0;
    for (const paper::DocumentRow& row : document.rows) {
        ++number;
        const double height = metric::lineHeight(row.font.size);
        const int y = near(top * dotsPerTwip);
        top += height;
        qsizetype length = row.text.size();
        while (length > 0 && row.text.at(length - 1) == u' ') --length;
        if (length == 0) continue;
        for (; picturesAbove < std::min(document.pictures.size(), paper.rasters.size()) &&
               document.pictures.at(picturesAbove).y < top;
             ++picturesAbove) {
            const auto& raster = paper.rasters.at(picturesAbove);
            shift = std::max(shift, raster.y + raster.dots.height - y);
        }
        if (next >= printed.size()) {
            faults << QStringLiteral("row %1 \"%2\" is not on paper").arg(number).arg(row.text);
            continue;
        }
        const PaperTextRow* paperRow = printed.at(next++);
        if (paperRow->y != y + shift) faults << QStringLiteral("row %1 at %2, not %3").arg(number).arg(paperRow->y).arg(y + shift);
        double advance = metric::characterAdvance(row.font.name, row.font.size) * dotsPerTwip;
        const bool narrowed = near(static_cast<double>(length) * advance) > printable;
        if (narrowed) advance = static_cast<double>(printable) / static_cast<double>(length);
        if (paperRow->bold != row.font.bold) faults << QStringLiteral("row %1: bold differs").arg(number);
        if (paperRow->glyphHeight() > paperRow->lineHeight || paperRow->glyphWidth() > std::max(std::ceil(advance), 9.0)) {
            faults << QStringLiteral("row %1: a %2×%3 glyph on a line of %4 with columns of %5")
                          .arg(number).arg(paperRow->glyphWidth()).arg(paperRow->glyphHeight())
                          .arg(paperRow->lineHeight).arg(advance);
        }
        const QString state = platform::renderText({QString(), 0, {{row.font, QString()}}, {}}, true).trimmed();
        const QString style = QStringLiteral("%1 %2x%3").arg(int(paperRow->font)).arg(paperRow->widthMagnification)
                                  .arg(paperRow->heightMagnification);
        if (!narrowed && styles.value(state, style) != style) {
            faults << QStringLiteral("row %1: %2 printed in two styles").arg(number).arg(state);
        }
        if (!narrowed) styles.insert(state, style);

        // Character by character: its start is its column's, a word ends where its last column does.
        qsizetype glyph = 0;
        for (qsizetype column = 0; column < row.text.size(); ++column) {
            if (row.text.at(column) == u' ') continue;
            if (glyph >= paperRow->glyphs.size()) {
                faults << QStringLiteral("row %1: \"%2\" missing").arg(number).arg(row.text.mid(column));
                break;
            }
            const auto& g = paperRow->glyphs.at(glyph++);
            const int start = near(static_cast<double>(column) * advance);
            if (g.character != row.text.at(column) || g.x != start) {
                faults << QStringLiteral("row %1 column %2: '%3' at %4, not '%5' at %6")
                              .arg(number).arg(column).arg(g.character).arg(g.x).arg(row.text.at(column)).arg(start);
            }
            const bool wordEnds = column + 1 == row.text.size() || row.text.at(column + 1) == u' ';
            const int end = near(static_cast<double>(column + 1) * advance);
            // Below font B's 9 dots a column cannot be narrower than the glyph: the cell overhangs.
            // A magnified cell comes in steps of its magnification.
            const int step = paperRow->widthMagnification - 1;
            const int overhang = static_cast<int>(std::ceil(std::max(0.0, 9 - advance))) + step;
            if (wordEnds && (g.x + g.advance < end - step || g.x + g.advance > end + overhang)) {
                faults << QStringLiteral("row %1: the word ending in column %2 ends at %3, not %4")
                              .arg(number).arg(column).arg(g.x + g.advance).arg(end);
            }
            if (g.x + paperRow->glyphWidth() > printable) faults << QStringLiteral("row %1 runs off the paper").arg(number);
        }
        if (glyph < paperRow->glyphs.size()) faults << QStringLiteral("row %1: more characters on paper").arg(number);
    }
    if (next < printed.size()) faults << QStringLiteral("%1 more rows on paper").arg(printed.size() - next);

    if (paper.rasters.size() != document.pictures.size()) faults << QStringLiteral("pictures and rasters differ in number");
    for (qsizetype i = 0; i < std::min(paper.rasters.size(), document.pictures.size()); ++i) {
        const auto& picture = document.pictures.at(i);
        const auto& raster = paper.rasters.at(i);
        const int left = near(picture.x * dotsPerTwip);
        const int width = near(picture.width * dotsPerTwip);
        bool inked = false;
        for (int y = 0; y < raster.dots.height; ++y) {
            for (int x = 0; x < raster.dots.width; ++x) {
                if (!raster.dots.isBlack(x, y)) continue;
                inked = true;
                if (x < left || x >= left + width) faults << QStringLiteral("picture ink at %1, outside its box").arg(x);
            }
        }
        if (!inked) faults << QStringLiteral("picture without ink");
        if (raster.y != near(picture.y * dotsPerTwip) || raster.dots.height != near(picture.height * dotsPerTwip) ||
            raster.dots.width != (left + width + 7) / 8 * 8) {
            faults << QStringLiteral("picture %1×%2 at %3, box %4×%5 at %6")
                          .arg(raster.dots.width).arg(raster.dots.height).arg(raster.y).arg(width)
                          .arg(near(picture.height * dotsPerTwip)).arg(near(picture.y * dotsPerTwip));
        }
    }

    if (paper.cuts.size() != 1) return faults << QStringLiteral("%1 cuts").arg(paper.cuts.size());
    int bottom = 0;
    for (const PaperTextRow& row : paper.rows) bottom = std::max(bottom, row.y + row.lineHeight);
    for (const auto& raster : paper.rasters) bottom = std::max(bottom, raster.y + raster.dots.height);
    if (paper.cuts.first().y < bottom || paper.length != paper.cuts.first().y) {
        faults << QStringLiteral("cut at %1, paper ends at %2, print at %3").arg(paper.cuts.first().y).arg(paper.length).arg(bottom);
    }
    if (!paper.unknown.isEmpty()) faults << QStringLiteral("unknown bytes at %1").arg(paper.unknown.first().offset);
    return faults;
}

using EscPosPaperTest = TicketDocuments;

TEST_P(EscPosPaperTest, EveryRowInThePreviewsColumnsOnBothPrinters) {
    const TicketCase& c = GetParam();
    printCase(c);
    ASSERT_FALSE(printers.delivered().empty());

    paper::escpos::DitheringRasterizer rasterizer;
    for (const int roll : {58, 80}) {
        EscPosProfile profile;
        profile.rollMm = roll;
        for (const auto& delivered : printers.delivered()) {
            if (delivered.isRaw) continue;
            SCOPED_TRACE(QStringLiteral("%1 %2 on %3 mm").arg(delivered.deviceName, delivered.document.kind).arg(roll)
                             .toStdString());
            const QByteArray bytes = paper::escpos::encodeEscPos(delivered.document, profile, &rasterizer);
            const EscPosPaper paper = paper::escpos::interpretEscPos(bytes, profile.printableDots());
            EXPECT_EQ(paperFaults(delivered.document, paper, profile.printableDots()), QStringList());
            QStringList lines;
            for (const PaperTextRow& row : paper.rows) lines << row.text();
            EXPECT_EQ(collapsedLines(lines.join(u'\n')), collapsedLines(platform::renderText(delivered.document, false)));
            EXPECT_TRUE(
                bytes.endsWith(paper::escpos::command::feedAndPartialCut(static_cast<unsigned char>(bytes.back()))));
            if (c.kind == TicketKind::Facturas) {
                EXPECT_EQ(paper.rasters.size(), 1);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKindOnBothRolls, EscPosPaperTest, kEveryTicketOnBothRolls, ticketCaseName);

}  // namespace
}  // namespace kelmora::testing
