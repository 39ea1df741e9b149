#include "platform/qt/qt_picture_loader.h"

#include "json/runtime_error.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <cmath>

namespace kelmora::platform {

using paper::Picture;

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
    // Only a regular file of a sane size is read: a pipe would never end, a link to a device
    // would never stop giving bytes.
    const QFileInfo info(path);
    if (!info.exists()) throw RuntimeError(QStringLiteral("No se encontró el archivo: ") + path);
    if (!info.isFile()) throw RuntimeError(QStringLiteral("No es un archivo común: ") + path);
    if (info.size() > kMaxBytes) {
        throw RuntimeError(QStringLiteral("El archivo pasa de %1 MiB: ").arg(kMaxBytes / (1024 * 1024)) + path);
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw RuntimeError(QStringLiteral("No se puede leer el archivo: ") + path + QStringLiteral(" (") +
                           file.errorString() + u')');
    }
    Picture picture;
    picture.bytes = file.read(kMaxBytes + 1);
    if (picture.bytes.size() > kMaxBytes) {
        throw RuntimeError(QStringLiteral("El archivo pasa de %1 MiB: ").arg(kMaxBytes / (1024 * 1024)) + path);
    }

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
