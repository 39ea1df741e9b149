// The encoder's own rules, read back through the interpreter: text in the code page, rows that do
// not fit, pictures among the rows, the end of the paper; and the interpreter against hostile bytes.
#include "printing/escpos/escpos_encoder.h"
#include "printing/escpos/escpos_interpreter.h"

#include "json/qt_printers.h"

#include <QRandomGenerator>

#include <cmath>
#include <iterator>
#include <limits>

#include <gtest/gtest.h>

namespace kelmora::paper::escpos {
namespace {

Document oneRow(const QString& text, double size = 10, double paperWidthMm = 75) {
    Document document;
    document.paperWidthMm = paperWidthMm;
    document.rows.append(DocumentRow{FontState{QStringLiteral("Courier 17 CPI"), size, false, false}, text});
    return document;
}

QString printedText(const EscPosPaper& paper) {
    QString text;
    for (const PaperTextRow& row : paper.rows) {
        for (const PaperGlyph& glyph : row.glyphs) text += glyph.character;
    }
    return text;
}

// Pictures of any size, all black, counted.
class BlackPictures final : public PictureRasterizer {
public:
    MonochromeRaster rasterize(const Picture&, int widthDots, int heightDots) override {
        ++calls;
        MonochromeRaster raster{widthDots, heightDots, {}};
        raster.bits.fill('\xff', static_cast<qsizetype>(raster.bytesPerRow()) * heightDots);
        return raster;
    }
    int calls = 0;
};

TEST(EscPosText, SpanishAndTheEuroRoundTripAndTheRestPrintsAsQuestionMarks) {
    const QString spanish = QStringLiteral("áéíóúüñÑ¿¡€ÁÉÍÓÚÜ");
    const struct {
        CodePage page;
        char number;
        QString expected;
    } pages[] = {{CodePage::WPC1252, 16, spanish},
                 {CodePage::PC858, 19, spanish},
                 {CodePage::PC850, 2, QString(spanish).replace(u'€', u'?')}};
    for (const auto& p : pages) {
        SCOPED_TRACE(p.number);
        EscPosProfile profile;
        profile.codePage = p.page;
        const QByteArray bytes = encodeEscPos(oneRow(spanish), profile);
        EXPECT_TRUE(bytes.contains(QByteArray("\x1bt", 2) + p.number));
        EXPECT_EQ(printedText(interpretEscPos(bytes)), p.expected);
    }

    // Control characters and what no page has take their column as '?'; a command hidden in the
    // data stays text, and a character outside the basic plane is one '?' over its two columns.
    const QString hostile = QStringLiteral("a\tb\x1b@c") + QChar(0) + QStringLiteral("d\x7f\x1dV\x01ł→") +
                            QString::fromUtf8("😀") + u'e';
    const EscPosPaper paper = interpretEscPos(encodeEscPos(oneRow(hostile), EscPosProfile()));
    EXPECT_EQ(printedText(paper), QStringLiteral("a?b?@c?d??V????e"));
    EXPECT_TRUE(paper.unknown.isEmpty());
    EXPECT_EQ(paper.cuts.size(), 1);
    ASSERT_EQ(paper.rows.size(), 1);
    const auto& glyphs = paper.rows.first().glyphs;
    // 'e' keeps column 16 although the '?' before it covers two.
    EXPECT_EQ(glyphs.last().x, static_cast<int>(std::lround(16 * 1440.0 / 17 * 576 / (75 * 1440 / 25.4))));
}

TEST(EscPosText, OnlyAWordLongerThanALineIsCutAndNothingIsLost) {
    EscPosProfile narrow;
    narrow.rollMm = 58;
    // 100 columns of 12 points in one word: 32 columns of font A a line, one line below the other.
    const QString hundred = QStringLiteral("abcdefghij").repeated(10);
    Document document = oneRow(hundred, 12, 55);
    document.rows.append(DocumentRow{document.rows.first().font, QStringLiteral("next")});
    const EscPosPaper paper = interpretEscPos(encodeEscPos(document, narrow), narrow.printableDots());
    EXPECT_EQ(printedText(paper), hundred + QStringLiteral("next"));
    ASSERT_EQ(paper.rows.size(), 5);
    for (qsizetype i = 0; i < paper.rows.size(); ++i) {
        const PaperTextRow& row = paper.rows.at(i);
        EXPECT_EQ(row.font, PrinterFont::A);
        EXPECT_LE(row.glyphs.last().x + row.glyphWidth(), 384);
        if (i > 0) {
            EXPECT_GE(row.y, paper.rows.at(i - 1).y + paper.rows.at(i - 1).glyphHeight());
        }
    }
}

TEST(EscPosPictures, GoAmongTheRowsByTheirHeightScaledToFitAndPaddedToTheirPlace) {
    Document document;
    document.paperWidthMm = 75;
    const FontState font{QStringLiteral("default"), 10, false, false};
    for (const char* text : {"above", "", "", "", "below"}) document.rows.append(DocumentRow{font, QString::fromLatin1(text)});
    // 240 twips a row: the first picture sits over the blank rows, the second is wider than the
    // paper and comes after the last row.
    document.pictures.append(DocumentPicture{font, Picture{"logo", 0, 0}, 1440, 300, 1440, 480});
    document.pictures.append(DocumentPicture{font, Picture{"wide", 0, 0}, 0, 2000, 8000, 400});

    BlackPictures pictures;
    const EscPosPaper paper = interpretEscPos(encodeEscPos(document, EscPosProfile(), &pictures));
    ASSERT_EQ(paper.rasters.size(), 2);
    ASSERT_EQ(paper.rows.size(), 2);
    const double dotsPerTwip = 576 / (75 * 1440 / 25.4);
    const PaperRaster& logo = paper.rasters.at(0);
    EXPECT_EQ(logo.y, std::lround(300 * dotsPerTwip));
    const int left = static_cast<int>(std::lround(1440 * dotsPerTwip));
    EXPECT_FALSE(logo.dots.isBlack(left - 1, 0));
    EXPECT_TRUE(logo.dots.isBlack(left, 0));
    EXPECT_EQ(logo.dots.width, (left + std::lround(1440 * dotsPerTwip) + 7) / 8 * 8);
    EXPECT_LT(paper.rows.at(0).y, logo.y);
    EXPECT_EQ(paper.rows.at(1).y, std::lround(960 * dotsPerTwip));
    const PaperRaster& wide = paper.rasters.at(1);
    EXPECT_GE(wide.y, paper.rows.at(1).y + paper.rows.at(1).lineHeight);
    EXPECT_EQ(wide.dots.width, 576);
    EXPECT_EQ(wide.dots.height, std::lround(400.0 * 576 / 8000));
    EXPECT_EQ(pictures.calls, 2);
}

TEST(EscPosEnd, WithoutACutterThePaperIsFedPastTheTearBar) {
    EscPosProfile profile;
    profile.hasCutter = false;
    const EscPosPaper paper = interpretEscPos(encodeEscPos(oneRow(QStringLiteral("x")), profile));
    EXPECT_TRUE(paper.cuts.isEmpty());
    EXPECT_GE(paper.length, paper.rows.first().y + paper.rows.first().lineHeight + 96);
}

TEST(EscPosText, AnyDocumentPrintsEveryCharacterWithinThePaper) {
    QRandomGenerator random(55);
    const double sizes[] = {0, -3, 1, 7, 10, 12, 16, 40, 1e9, std::nan(""), std::numeric_limits<double>::infinity()};
    const QString names[] = {QStringLiteral("default"), QStringLiteral("Courier 17 CPI"), QStringLiteral("Courier 5 CPI")};
    BlackPictures pictures;
    for (int round = 0; round < 300; ++round) {
        Document document;
        document.paperWidthMm = random.bounded(3) == 0 ? 0 : random.bounded(20, 120);
        QString all;
        for (int r = random.bounded(12); r > 0; --r) {
            QString text(random.bounded(0, 90), u' ');
            for (QChar& unit : text) unit = QChar(static_cast<char16_t>(random.bounded(3) == 0 ? 0x20 : random.bounded(0x21, 0x7F)));
            const FontState font{names[random.bounded(3)], sizes[random.bounded(static_cast<int>(std::size(sizes)))],
                                 random.bounded(2) == 0, false};
            document.rows.append(DocumentRow{font, text});
            if (font.size > 0) all += QString(text).remove(u' ');
            const double box = random.bounded(2) == 0 ? random.bounded(1, 20000) : sizes[random.bounded(static_cast<int>(std::size(sizes)))];
            if (random.bounded(4) == 0) document.pictures.append(DocumentPicture{font, {}, box, box, box, box / 3});
        }
        EscPosProfile profile;
        profile.rollMm = random.bounded(2) == 0 ? 58 : 80;
        const EscPosPaper paper = interpretEscPos(encodeEscPos(document, profile, &pictures), profile.printableDots());
        ASSERT_EQ(QString(printedText(paper)).remove(u' '), all);
        for (const PaperTextRow& row : paper.rows) {
            for (const PaperGlyph& glyph : row.glyphs) ASSERT_LE(glyph.x + row.glyphWidth(), profile.printableDots());
        }
        for (const PaperRaster& raster : paper.rasters) ASSERT_LE(raster.dots.width, (profile.printableDots() + 7) / 8 * 8);
    }
}

TEST(EscPosInterpreter, TheDrawerPulseAndHostileBytes) {
    const EscPosPaper drawer = interpretEscPos(QByteArray("\x1bp\x00<\xf0", 5));
    ASSERT_EQ(drawer.pulses.size(), 1);
    EXPECT_EQ(drawer.pulses.first().pin, 2);
    EXPECT_EQ(drawer.pulses.first().onMs, 120);
    EXPECT_EQ(drawer.pulses.first().offMs, 480);

    // A raster announcing more than the data holds, and commands cut short, are recorded.
    for (const QByteArray& bytes : {QByteArray("\x1dv0\x00\xff\xff\xff\xff\x01\x02", 10), QByteArray("x\x1b$\x10", 4)}) {
        const EscPosPaper truncated = interpretEscPos(bytes);
        EXPECT_EQ(truncated.unknown.size(), 1);
        EXPECT_TRUE(truncated.rasters.isEmpty());
    }

    // Random bytes, rich in command prefixes, never crash it.
    QRandomGenerator random(20240303);
    const char prefixes[] = {'\x1b', '\x1d', '\n', 'v', '0', 'V', '$', '!', '\xff'};
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes(static_cast<qsizetype>(random.bounded(1, 600)), '\0');
        for (char& byte : bytes) {
            byte = random.bounded(3) == 0 ? prefixes[random.bounded(static_cast<int>(sizeof prefixes))]
                                          : static_cast<char>(random.bounded(256));
        }
        const EscPosPaper paper = interpretEscPos(bytes, random.bounded(1, 1000));
        for (const PaperTextRow& row : paper.rows) {
            for (const PaperGlyph& glyph : row.glyphs) ASSERT_LT(glyph.x, paper.dotsPerLine);
        }
    }
}

}  // namespace
}  // namespace kelmora::paper::escpos
