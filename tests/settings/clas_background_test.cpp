#include "settings/clas_background.h"
#include "tray/aplicacion_widgets.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace kelmora::settings {
namespace {

// The painter on a real label: where the picture lands and what is left blank.
class FondoEnEtiqueta : public ::testing::Test {
protected:
    FondoEnEtiqueta() {
        caja.setFixedSize(363, 105);
        caja.setStyleSheet(QStringLiteral("background: white; border: none; padding: 0"));
        caja.ensurePolished();
    }
    QLabel caja;
    clasBackGround pintor;
};

TEST_F(FondoEnEtiqueta, PintaLaImagenAjustadaYCentrada) {
    QImage logo(500, 184, QImage::Format_RGB32);
    logo.fill(Qt::red);
    pintor.setDestino(&caja);
    pintor.setImagen(logo);
    pintor.setMargen(32);
    pintor.repintar();

    const QImage pintado = caja.pixmap().toImage();
    ASSERT_EQ(pintado.size(), QSize(363, 105));
    EXPECT_EQ(pintado.pixelColor(55, 16), QColor(Qt::red));
    EXPECT_EQ(pintado.pixelColor(55 + 252, 16 + 72), QColor(Qt::red));
    EXPECT_EQ(pintado.pixelColor(54, 50), QColor(Qt::white));
    EXPECT_EQ(pintado.pixelColor(55 + 253, 50), QColor(Qt::white));
    EXPECT_EQ(pintado.pixelColor(180, 15), QColor(Qt::white));
    EXPECT_EQ(pintado.pixelColor(180, 16 + 73), QColor(Qt::white));
}

TEST_F(FondoEnEtiqueta, SinImagenLaCajaSeLimpiaYQuedaVacia) {
    QImage logo(50, 50, QImage::Format_RGB32);
    logo.fill(Qt::blue);
    pintor.setDestino(&caja);
    pintor.setImagen(logo);
    pintor.repintar();
    ASSERT_FALSE(caja.pixmap().isNull());

    pintor.setImagen(QImage());
    pintor.repintar();
    EXPECT_TRUE(caja.pixmap().isNull());
}

TEST_F(FondoEnEtiqueta, SinDestinoNoPasaNada) {
    pintor.setImagen(QImage(10, 10, QImage::Format_RGB32));
    pintor.repintar();
    EXPECT_TRUE(caja.pixmap().isNull());
}

}  // namespace
}  // namespace kelmora::settings
