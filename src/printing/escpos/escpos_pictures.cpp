#include "printing/escpos/escpos_pictures.h"

#include "json/runtime_error.h"

#include <algorithm>
#include <vector>

namespace kelmora::paper::escpos {

MonochromeRaster ditherToMonochrome(const QImage& image) {
    MonochromeRaster raster{image.width(), image.height(), {}};
    if (image.isNull()) return raster;
    raster.bits.fill(0, static_cast<qsizetype>(raster.bytesPerRow()) * raster.height);
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const int width = raster.width;
    auto* bits = reinterpret_cast<unsigned char*>(raster.bits.data());

    // Errors carried to this row and the next, in 1/16 of a grey level; one spare cell each side.
    std::vector<int> current(static_cast<std::size_t>(width) + 2, 0);
    std::vector<int> below(static_cast<std::size_t>(width) + 2, 0);
    for (int y = 0; y < raster.height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        unsigned char* row = bits + static_cast<qsizetype>(y) * raster.bytesPerRow();
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = line[x];
            const int alpha = qAlpha(pixel);
            const int grey = (qRed(pixel) * 299 + qGreen(pixel) * 587 + qBlue(pixel) * 114) / 1000;
            // Over white paper.
            const int level = (grey * alpha + 255 * (255 - alpha)) / 255;
            const auto cell = static_cast<std::size_t>(x) + 1;
            const int wanted = level * 16 + current[cell];
            const int printed = wanted < 128 * 16 ? 0 : 255 * 16;
            if (printed == 0) row[x / 8] = static_cast<unsigned char>(row[x / 8] | (0x80U >> (x % 8)));
            const int error = wanted - printed;
            current[cell + 1] += error * 7 / 16;
            below[cell - 1] += error * 3 / 16;
            below[cell] += error * 5 / 16;
            below[cell + 1] += error / 16;
        }
        std::swap(current, below);
        std::fill(below.begin(), below.end(), 0);
    }
    return raster;
}

MonochromeRaster DitheringRasterizer::rasterize(const Picture& picture, int widthDots, int heightDots) {
    const QSize size(widthDots, heightDots);
    if (picture.bytes == lastBytes_ && size == lastSize_ && !lastBytes_.isEmpty()) return last_;
    const QImage image = QImage::fromData(picture.bytes);
    if (image.isNull()) throw RuntimeError(QStringLiteral("Imagen no válida"));
    last_ = ditherToMonochrome(image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    lastBytes_ = picture.bytes;
    lastSize_ = size;
    return last_;
}

}  // namespace kelmora::paper::escpos
