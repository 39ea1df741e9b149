#pragma once

#include "printing/escpos/escpos_encoder.h"

#include <QImage>
#include <QSize>

namespace kelmora::paper::escpos {

// The picture in black and white by Floyd–Steinberg error diffusion, dot for pixel: grey levels
// become the density of black dots. Transparent parts are paper.
MonochromeRaster ditherToMonochrome(const QImage& image);

// Pictures read with Qt's image readers, scaled smoothly to their dots and dithered. Keeps the last
// one, as an invoice logo comes back on every invoice.
class DitheringRasterizer final : public PictureRasterizer {
public:
    MonochromeRaster rasterize(const Picture& picture, int widthDots, int heightDots) override;

private:
    QByteArray lastBytes_;
    QSize lastSize_;
    MonochromeRaster last_;
};

}  // namespace kelmora::paper::escpos
