// Pictures in black dots, and the paper drawn back as a picture.
#include "platform/qt/pdf_reading.h"

#include "json/runtime_error.h"
#include "printing/escpos/escpos_paper_image.h"
#include "printing/escpos/escpos_pictures.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace kelmora::paper::escpos {
namespace {

int blackDots(const MonochromeRaster& raster) {
    int count = 0;
    for (int y = 0; y < raster.height; ++y) {
        for (int x = 0; x < raster.width; ++x) count += raster.isBlack(x, y) ? 1 : 0;
    }
    return count;
}

TEST(EscPosDithering, GreyBecomesItsDensityOfDotsAndTransparencyIsPaper) {
    const struct {
        QColor colour;
        double density;  // of black dots
    } cases[] = {{Qt::white, 0}, {Qt::black, 1}, {QColor(128, 128, 128), 0.5}, {QColor(192, 192, 192), 0.25},
                 {QColor(0, 0, 0, 0), 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.colour.name(QColor::HexArgb).toStdString());
        QImage image(101, 60, QImage::Format_ARGB32);
        image.fill(c.colour);
        const MonochromeRaster raster = ditherToMonochrome(image);
        ASSERT_EQ(raster.width, 101);
        ASSERT_EQ(raster.height, 60);
        EXPECT_NEAR(blackDots(raster) / (101.0 * 60), c.density, 0.02);
    }
}

TEST(EscPosDithering, PicturesAreReadByContentAndScaledToTheirDots) {
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::black);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "PNG"));

    DitheringRasterizer rasterizer;
    const MonochromeRaster raster = rasterizer.rasterize(Picture{png, 0, 0}, 13, 7);
    EXPECT_EQ(raster.width, 13);
    EXPECT_EQ(raster.height, 7);
    EXPECT_EQ(blackDots(raster), 13 * 7);
    EXPECT_THROW(rasterizer.rasterize(Picture{"not a picture", 0, 0}, 13, 7), RuntimeError);
}

TEST(EscPosPaperImage, RastersDotForDotTextInItsBoxAndTheCut) {
    EscPosPaper paper;
    paper.dotsPerLine = 384;
    PaperTextRow row;
    row.y = 10;
    row.lineHeight = 30;
    row.glyphs = {PaperGlyph{u'H', 100, 12}, PaperGlyph{u'I', 112, 12}};
    paper.rows.append(row);
    MonochromeRaster dots{16, 2, QByteArray("\x80\x01\x00\x00", 4)};
    paper.rasters.append(PaperRaster{0, 50, dots});
    paper.cuts.append(PaperCut{80, true});
    paper.length = 80;

    const QImage image = renderEscPosPaper(paper);
    ASSERT_EQ(image.width(), 384);
    ASSERT_GE(image.height(), 81);
    const auto black = [&](int x, int y) { return qGray(image.pixel(x, y)) < 128; };
    EXPECT_TRUE(black(0, 50));
    EXPECT_FALSE(black(1, 50));
    EXPECT_TRUE(black(15, 50));
    EXPECT_FALSE(black(0, 51));
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!black(x, y) || y == 80 || y == 50) continue;
            ++ink;
            EXPECT_TRUE(x >= 100 && x < 124 && y >= 10 && y < 34) << x << "," << y;
        }
    }
    EXPECT_GT(ink, 20);
    EXPECT_TRUE(black(2, 80));
}

}  // namespace
}  // namespace kelmora::paper::escpos
