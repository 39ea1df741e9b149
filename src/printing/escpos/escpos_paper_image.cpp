#include "printing/escpos/escpos_paper_image.h"

#include "printing/escpos/escpos_commands.h"
#include "printing/escpos/escpos_encoder.h"

#include <QFont>
#include <QHash>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace kelmora::paper::escpos {

namespace {

constexpr double kMetresPerInch = 0.0254;

int paperLength(const EscPosPaper& paper) {
    qint64 length = paper.length;
    for (const PaperTextRow& row : paper.rows) length = std::max<qint64>(length, qint64{row.y} + row.glyphHeight());
    for (const PaperRaster& raster : paper.rasters) {
        length = std::max<qint64>(length, qint64{raster.y} + raster.dots.height);
    }
    for (const PaperCut& cut : paper.cuts) length = std::max<qint64>(length, cut.y + 1);
    return static_cast<int>(std::clamp<qint64>(length, 1, kMaxPaperImageDots));
}

// The printer's character cells: each character drawn once, without smoothing, into a cell of its
// font's dots (12×24 for font A, 9×17 for font B), as a printer's character generator holds it.
class CellFont {
public:
    const QImage& cell(QChar character, PrinterFont font) {
        const quint32 key = (static_cast<quint32>(character.unicode()) << 1) | (font == PrinterFont::B ? 1U : 0U);
        auto found = cells_.constFind(key);
        if (found == cells_.constEnd()) found = cells_.insert(key, draw(character, font));
        return *found;
    }

private:
    static QImage draw(QChar character, PrinterFont font) {
        const PrinterFontSize size = font == PrinterFont::B ? kFontB : kFontA;
        QImage cell(size.width, size.height, QImage::Format_Grayscale8);
        cell.fill(Qt::white);
        QFont face(kPaperFontFamily);
        face.setStyleHint(QFont::Monospace);
        face.setStyleStrategy(QFont::NoAntialias);
        // The largest face whose character and line fit the cell.
        for (int pixels = size.height; pixels > 4; --pixels) {
            face.setPixelSize(pixels);
            const QFontMetricsF metrics(face);
            if (metrics.horizontalAdvance(QLatin1Char('M')) <= size.width && metrics.height() <= size.height + 1) break;
        }
        QPainter painter(&cell);
        painter.setFont(face);
        painter.setPen(Qt::black);
        const QFontMetricsF metrics(face);
        const double left = (size.width - metrics.horizontalAdvance(character)) / 2;
        painter.drawText(QPointF(left, metrics.ascent()), QString(character));
        painter.end();
        return cell;
    }

    QHash<quint32, QImage> cells_;
};

void stamp(QImage& image, const QImage& cell, const PaperTextRow& row, int x, QRgb ink) {
    const int shifts = row.bold ? 2 : 1;  // emphasis strikes each dot again one dot to the right
    for (int cy = 0; cy < cell.height(); ++cy) {
        const uchar* line = cell.constScanLine(cy);
        for (int cx = 0; cx < cell.width(); ++cx) {
            if (line[cx] >= 128) continue;
            for (int dy = 0; dy < row.heightMagnification; ++dy) {
                const int y = row.y + cy * row.heightMagnification + dy;
                if (y < 0 || y >= image.height()) continue;
                auto* pixels = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int dx = 0; dx < row.widthMagnification + shifts - 1; ++dx) {
                    const int px = x + cx * row.widthMagnification + dx;
                    if (px >= 0 && px < image.width()) pixels[px] = ink;
                }
            }
        }
    }
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

    CellFont cells;
    for (const PaperTextRow& row : paper.rows) {
        if (row.y >= height) continue;
        const QRgb ink = row.red ? qRgb(0xd0, 0, 0) : qRgb(0, 0, 0);
        for (const PaperGlyph& glyph : row.glyphs) {
            if (glyph.character != u' ') stamp(image, cells.cell(glyph.character, row.font), row, glyph.x, ink);
        }
    }

    QPainter painter(&image);
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
