#pragma once

#include <QImage>
#include <QLabel>
#include <QPointer>


namespace kelmora::settings {

// Paints a picture into a label so that it fits: one factor in both directions, as large as the
// label allows less a margin, centred, smoothly scaled. What is painted is kept as the label's
// pixmap, so it survives repaints.
class clasBackGround {
public:
    void setDestino(QLabel* etiqueta) { destino_ = etiqueta; }
    void setImagen(QImage nueva) { imagen_ = std::move(nueva); }
    void setMargen(qint16 pixeles) { margen_ = pixeles; }

    // Clears the target and paints the picture into it. Without a target nothing happens; without
    // a picture the target is left empty.
    void repintar();

private:
    QPointer<QLabel> destino_;
    QImage imagen_;
    qint16 margen_ = 0;
};

}  // namespace kelmora::settings
