// The PDF painter, read back with poppler's tools: the page, the text in its columns, the fonts
// and the pictures.
#include "platform/qt/pdf_reading.h"

#include "json/runtime_error.h"
#include "platform/text/text_printer.h"
#include "printing/pdf/pdf_painter.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

using paper::Document;
using paper::DocumentPicture;
using paper::DocumentRow;
using paper::FontState;
using paper::PdfPainter;

FontState font(const QString& name, double size, bool bold = false) {
    FontState state;
    state.name = name;
    state.size = size;
    state.bold = bold;
    return state;
}

const FontState kKitchen = font(QStringLiteral("Courier 17 CPI"), 12);
const FontState kKitchenRule = font(QStringLiteral("Courier 17 CPI"), 7);
const FontState kTable = font(QStringLiteral("Courier 17 CPI"), 16, true);
const FontState kInvoice = font(QStringLiteral("Courier 14 CPI"), 10);
const FontState kDefault = font(QStringLiteral("default"), 10);

// "Page size: W x H pts" of the only page; fails the test when there is not exactly one.
QString pageOf(const QByteArray& pdf) {
    const QString info = pdfTool(QStringLiteral("pdfinfo"), {}, pdf);
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n")))) << info.toStdString();
    const auto match = QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+ x [\\d.]+ pts)")).match(info);
    return match.captured(1);
}

QByteArray pngOf(const QSize& size, QColor color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A kitchen ticket and an invoice's amounts, as the tickets lay them out.
Document ticket() {
    Document d;
    d.kind = QStringLiteral("Comanda");
    d.rows = {
        {kDefault, QStringLiteral("               COCINA")},
        {kKitchenRule, QStringLiteral("=====================================")},
        {kTable, QStringLiteral("Mesa 7 - Señora Núñez")},
        {kKitchen, QStringLiteral(" 2 MOJITO DE MARACUYÁ")},
        {kKitchen, QStringLiteral("   -> SIN AZÚCAR, POCO HIELO")},
        {kKitchen, QStringLiteral("")},
        {kInvoice, QStringLiteral("Subtotal                        38.000")},
        {kInvoice, QStringLiteral("Propina sugerida                 3.800")},
        {kInvoice, QStringLiteral("Total                           41.800")},
        {font(QStringLiteral("Courier 14 CPI"), 7), QStringLiteral("Caja      ¿Cambio? ¡Sí!           500")},
    };
    return d;
}

TEST(PdfPainterPage, IsOneContinuousPageAsWideAsTheRollAndAsLongAsTheDocument) {
    Document d;
    d.rows = {{kDefault, QStringLiteral("A")}, {kKitchen, QStringLiteral("B")}, {kTable, QStringLiteral("C")}};
    // 240 + 288 + 384 twips of lines and 288 of margin: 1200 twips, 60 points.
    PdfPainter painter;
    EXPECT_EQ(pageOf(painter.paint(d)), "213 x 60 pts");  // 75 mm is 212.6 points

    d.paperWidthMm = 55;  // 155.9 points
    EXPECT_EQ(pageOf(painter.paint(d)), "156 x 60 pts");

    PdfPainter narrow(55);
    d.paperWidthMm = 0;
    EXPECT_EQ(pageOf(narrow.paint(d)), "156 x 60 pts");

    EXPECT_EQ(pageOf(painter.paint(Document())), "213 x 15 pts");
}

TEST(PdfPainterPage, ARowWiderThanTheRollWidensThePageRatherThanLoseText) {
    Document d;
    d.rows = {{kDefault, QString(60, u'x') + QStringLiteral("   ")}};  // 60 x 120 twips: 360 points
    const QByteArray pdf = PdfPainter().paint(d);
    EXPECT_EQ(pageOf(pdf), "360 x 27 pts");
    EXPECT_EQ(collapsedLines(pdfText(pdf)), QStringList{QString(60, u'x')});
}

TEST(PdfPainterText, ReadsBackAsThePreviewAccentsIncluded) {
    const Document d = ticket();
    EXPECT_EQ(collapsedLines(pdfText(PdfPainter().paint(d))), collapsedLines(platform::renderText(d, false)));
}

TEST(PdfPainterText, EveryWordLandsInItsColumnsWhateverTheFont) {
    const Document d = ticket();
    EXPECT_EQ(placementFaults(d, pdfWords(PdfPainter().paint(d))), QStringList());
}

TEST(PdfPainterText, RightAlignedAmountsEndAtOneX) {
    const QList<PdfWord> words = pdfWords(PdfPainter().paint(ticket()));
    QList<double> ends;
    for (const PdfWord& w : words) {
        if (w.text == u"38.000" || w.text == u"3.800" || w.text == u"41.800") ends.append(w.xMax);
    }
    ASSERT_EQ(ends.size(), 3);
    // Column 38 of "Courier 14 CPI" at 10 points: 38 x 1440 / 14 twips.
    for (const double end : ends) EXPECT_NEAR(end, 38 * 1440.0 / 14 / 20, kPlacementTolerance);
}

TEST(PdfPainterFonts, BoldRowsAreInTheBoldFaceAndOnlyThey) {
    Document plain;
    plain.rows = {{kKitchen, QStringLiteral("PLAIN")}};
    const QString plainFonts = pdfTool(QStringLiteral("pdffonts"), {}, PdfPainter().paint(plain));
    EXPECT_TRUE(plainFonts.contains(QStringLiteral("DejaVuSansMono "))) << plainFonts.toStdString();
    EXPECT_FALSE(plainFonts.contains(QStringLiteral("Bold"))) << plainFonts.toStdString();

    Document bold;
    bold.rows = {{kTable, QStringLiteral("BOLD")}};
    const QString boldFonts = pdfTool(QStringLiteral("pdffonts"), {}, PdfPainter().paint(bold));
    EXPECT_TRUE(boldFonts.contains(QStringLiteral("DejaVuSansMono-Bold"))) << boldFonts.toStdString();
    // Embedded, so the paper shows this font whatever the printer has.
    EXPECT_TRUE(boldFonts.contains(QRegularExpression(QStringLiteral("DejaVuSansMono-Bold .* yes ")))) << boldFonts.toStdString();
}

TEST(PdfPainterPictures, APictureIsPaintedAtItsPlaceAndSize) {
    Document d;
    // One inch from the left, 20 twips from the top, two inches by 0.8.
    d.pictures = {DocumentPicture{kDefault, {pngOf({100, 40}, Qt::red), 2646, 1058}, 1440, 20, 2880, 1152}};
    d.rows = {{kDefault, QString()}, {kDefault, QString()}, {kDefault, QString()}, {kDefault, QString()},
              {kDefault, QString()}, {kDefault, QStringLiteral("BELOW")}};

    QTemporaryDir dir;
    const QString pdfPath = dir.filePath(QStringLiteral("d.pdf"));
    QFile file(pdfPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(PdfPainter().paint(d));
    file.close();
    // At 144 dots per inch a twip is a tenth of a dot.
    ASSERT_EQ(QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("144"),
                                                             QStringLiteral("-png"), QStringLiteral("-singlefile"),
                                                             pdfPath, dir.filePath(QStringLiteral("page"))}),
              0);
    const QImage page(dir.filePath(QStringLiteral("page.png")));
    ASSERT_FALSE(page.isNull());
    QRect red;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60) red |= QRect(x, y, 1, 1);
        }
    }
    EXPECT_NEAR(red.left(), 144, 1);
    EXPECT_NEAR(red.top(), 2, 1);
    EXPECT_NEAR(red.width(), 288, 1);
    EXPECT_NEAR(red.height(), 115, 1);

    const QString images = pdfTool(QStringLiteral("pdfimages"), {QStringLiteral("-list")}, PdfPainter().paint(d));
    // Scaled smoothly to a receipt printer's 203 dots per inch before it goes on paper.
    EXPECT_TRUE(images.contains(QRegularExpression(QStringLiteral("image\\s+406\\s+162 ")))) << images.toStdString();
}

TEST(PdfPainterPictures, BytesThatHoldNoPictureFailThePainting) {
    Document d;
    d.pictures = {DocumentPicture{kDefault, {QByteArray("not a picture"), 1000, 1000}, 0, 20, 1440, 1440}};
    try {
        PdfPainter().paint(d);
        FAIL() << "painted";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.description(), "Imagen no válida");
    }
}

}  // namespace
}  // namespace kelmora::testing
