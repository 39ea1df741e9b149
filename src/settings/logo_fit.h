#pragma once

#include <QRect>
#include <QSize>

namespace kelmora::settings {

// Where a picture of size `imagen` is drawn inside a box whose inner size is `caja`: one factor for
// both directions, the smaller of the two fits, less `margen` pixels in each direction, centred.
// Sizes and positions are rounded to the nearest pixel, halves to the even neighbour. An empty
// picture or box gives an empty rectangle.
QRect ajustarImagen(QSize imagen, QSize caja, int margen);

}  // namespace kelmora::settings
