#include "settings/logo_fit.h"

#include <cmath>

namespace kelmora::settings {

namespace {

// std::nearbyint rounds with the default mode, to nearest with ties to even.
int redondear(double valor) { return static_cast<int>(std::nearbyint(valor)); }

}  // namespace

QRect ajustarImagen(QSize imagen, QSize caja, int margen) {
    if (imagen.isEmpty() || caja.isEmpty()) return {};
    const double pw = imagen.width();
    const double ph = imagen.height();
    const double rx = caja.width() / pw;
    const double ry = caja.height() / ph;
    // The smaller factor; on a tie the horizontal one.
    const double r = ry >= rx ? rx : ry;
    const int w = redondear(pw * r - margen);
    const int h = redondear(ph * r - margen);
    const int x = redondear((caja.width() - w) / 2.0);
    const int y = redondear((caja.height() - h) / 2.0);
    return {x, y, w, h};
}

}  // namespace kelmora::settings
