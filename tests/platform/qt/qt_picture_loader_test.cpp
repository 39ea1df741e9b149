// Pictures loaded by content, sized from their own resolution.
#include "platform/qt/qt_picture_loader.h"

#include "json/runtime_error.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelmora::platform {

using paper::Picture;
namespace {

class QtPictures : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QtPictureLoader loader;

    QString escribe(const QString& nombre, const QByteArray& bytes) {
        QFile f(tmp.filePath(nombre));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    static QByteArray imagen(int ancho, int alto, int puntosPorMetro, const char* formato) {
        QImage image(ancho, alto, QImage::Format_RGB32);
        image.fill(Qt::white);
        image.setDotsPerMeterX(puntosPorMetro);
        image.setDotsPerMeterY(puntosPorMetro);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, formato);
        return bytes;
    }
};

TEST_F(QtPictures, TheContentDecidesTheFormatAndTheResolutionTheSize) {
    // A PNG at 300 dpi saved under the logo's usual name.
    const QByteArray png = imagen(600, 150, 11811, "PNG");
    const Picture picture = loader.load(escribe(QStringLiteral("logo.bmp"), png));
    EXPECT_EQ(picture.bytes, png);
    EXPECT_EQ(picture.widthHimetric, 5080);
    EXPECT_EQ(picture.heightHimetric, 1270);
}

TEST_F(QtPictures, AFileWithoutAResolutionCountsAs96Dpi) {
    QByteArray bmp = imagen(500, 184, 5000, "BMP");
    bmp.replace(38, 8, QByteArray(8, '\0'));  // the header's pixels per metre, both axes
    const Picture picture = loader.load(escribe(QStringLiteral("logo.bmp"), bmp));
    EXPECT_EQ(picture.widthHimetric, 13229);
    EXPECT_EQ(picture.heightHimetric, 4868);
}

TEST_F(QtPictures, WhatIsNoPictureFails) {
    EXPECT_THROW(loader.load(escribe(QStringLiteral("logo.bmp"), "Restaurante El Fogón")), RuntimeError);
    EXPECT_THROW(loader.load(tmp.filePath(QStringLiteral("no-existe.bmp"))), RuntimeError);
}

}  // namespace
}  // namespace kelmora::platform
