#include "printing/escpos/escpos_paper_image.h"

#include "printing/escpos/escpos_encoder.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace kelmora::paper::escpos {

namespace {

constexpr double kMetresPerInch = 0.0254;
constexpr double kReferencePixelSize = 100;

int paperLength(const EscPosPaper& paper) {
    qint64 length = paper.length;
    for (const PaperTextRow& row : paper.rows) length = std::max<qint64>(length, qint64{row.y} + row.glyphHeight());
    for (const PaperRaster& raster : paper.rasters) {
        length = std::max<qint64>(length, qint64{raster.y} + raster.dots.height);
    }
    for (const PaperCut& cut : paper.cuts) length = std::max<qint64>(length, cut.y + 1);
    return static_cast<int>(std::clamp<qint64>(length, 1, kMaxPaperImageDots));
}

}  // namespace

QImage renderEscPosPaper(const EscPosPaper& paper) {
    const int width = std::clamp(paper.dotsPerLine, 1, 4096);
    const int height = paperLength(paper);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    const int dotsPerMetre = static_cast<int>(std::lround(EscPosProfile::kDotsPerInch / kMetresPerInch));
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);

    for (const PaperRaster& raster : paper.rasters) {
        const int right = std::min(width, raster.x + raster.dots.width);
        const int bottom = std::min(height, raster.y + raster.dots.height);
        for (int y = std::max(0, raster.y); y < bottom; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = std::max(0, raster.x); x < right; ++x) {
                if (raster.dots.isBlack(x - raster.x, y - raster.y)) line[x] = qRgb(0, 0, 0);
            }
        }
    }

    QPainter painter(&image);
    QFont font(kPaperFontFamily);
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(static_cast<int>(kReferencePixelSize));
    for (const PaperTextRow& row : paper.rows) {
        if (row.y >= height) continue;
        font.setBold(row.bold);
        const QFontMetricsF metrics(font);
        const double advance = metrics.horizontalAdvance(QLatin1Char('0'));
        if (advance <= 0 || metrics.height() <= 0) continue;
        // The font's whole height over the glyph's box, its advance over the glyph's width.
        const double scaleY = row.glyphHeight() / metrics.height();
        const double scaleX = row.glyphWidth() / advance;
        painter.setFont(font);
        painter.setPen(Qt::black);
        for (const PaperGlyph& glyph : row.glyphs) {
            if (glyph.character == u' ') continue;
            painter.save();
            painter.translate(glyph.x, row.y + metrics.ascent() * scaleY);
            painter.scale(scaleX, scaleY);
            painter.drawText(QPointF(0, 0), QString(glyph.character));
            painter.restore();
        }
    }

    QPen dashes(Qt::black);
    dashes.setStyle(Qt::DashLine);
    painter.setPen(dashes);
    for (const PaperCut& cut : paper.cuts) {
        if (cut.y < height) painter.drawLine(0, cut.y, width - 1, cut.y);
    }
    painter.end();
    return image;
}

}  // namespace kelmora::paper::escpos
