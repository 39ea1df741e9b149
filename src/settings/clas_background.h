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
    QLabel* Form() const { return form_; }
    void setForm(QLabel* form) { form_ = form; }
    const QImage& Imagen() const { return imagen_; }
    void setImagen(QImage imagen) { imagen_ = std::move(imagen); }
    qint16 ScaleMargin() const { return margen_; }
    void setScaleMargin(qint16 margen) { margen_ = margen; }

    // Clears the target and paints the picture into it. Without a target nothing happens; without
    // a picture the target is left empty.
    void Refresh();

private:
    QPointer<QLabel> form_;
    QImage imagen_;
    qint16 margen_ = 0;
};

}  // namespace kelmora::settings
