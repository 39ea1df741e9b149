#include "platform/qt/qt_picture_loader.h"

#include "json/runtime_error.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <cmath>

namespace kelmora::platform {

namespace {

constexpr double kHimetricPerMetre = 100000.0;
constexpr double kHimetricPerInch = 2540.0;
constexpr double kDefaultDpi = 96.0;

// Pixels to hundredths of a millimetre at `dotsPerMetre`, or at 96 dpi when the file states no
// resolution. Qt gives such an image its own default resolution, so a value equal to that default
// is taken as none stated.
int himetric(int pixels, int dotsPerMetre, int qtDefaultDotsPerMetre) {
    const double value = dotsPerMetre > 0 && dotsPerMetre != qtDefaultDotsPerMetre
                             ? pixels * kHimetricPerMetre / dotsPerMetre
                             : pixels * kHimetricPerInch / kDefaultDpi;
    return static_cast<int>(std::lround(value));
}

}  // namespace

Picture QtPictureLoader::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw RuntimeError(QStringLiteral("No se encontró el archivo: ") + path);
    Picture picture;
    picture.bytes = file.readAll();

    QBuffer buffer(&picture.bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull()) throw RuntimeError(QStringLiteral("Imagen no válida: ") + reader.errorString());

    const QImage qtDefault(1, 1, QImage::Format_RGB32);
    picture.widthHimetric = himetric(image.width(), image.dotsPerMeterX(), qtDefault.dotsPerMeterX());
    picture.heightHimetric = himetric(image.height(), image.dotsPerMeterY(), qtDefault.dotsPerMeterY());
    return picture;
}

}  // namespace kelmora::platform
