#include "settings/clas_background.h"

#include "settings/logo_fit.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>

namespace kelmora::settings {

void clasBackGround::repintar() {
    if (!destino_) return;
    destino_->clear();
    const QSize caja = destino_->contentsRect().size();
    const QRect zona = ajustarImagen(imagen_.size(), caja, margen_);
    if (zona.isEmpty()) return;

    QPixmap lienzo(caja);
    lienzo.fill(destino_->palette().color(destino_->backgroundRole()));
    QPainter pintor(&lienzo);
    pintor.drawImage(zona.topLeft(),
                     imagen_.scaled(zona.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pintor.end();
    destino_->setPixmap(lienzo);
}

}  // namespace kelmora::settings
