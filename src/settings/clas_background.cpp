#include "settings/clas_background.h"

#include "settings/logo_fit.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>

namespace kelmora::settings {

void clasBackGround::Refresh() {
    if (!form_) return;
    form_->clear();
    const QSize caja = form_->contentsRect().size();
    const QRect destino = ajustarImagen(imagen_.size(), caja, margen_);
    if (destino.isEmpty()) return;

    QPixmap lienzo(caja);
    lienzo.fill(form_->palette().color(form_->backgroundRole()));
    QPainter pintor(&lienzo);
    pintor.drawImage(destino.topLeft(),
                     imagen_.scaled(destino.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pintor.end();
    form_->setPixmap(lienzo);
}

}  // namespace kelmora::settings
