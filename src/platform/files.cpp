#include "platform/files.h"

#include <QFileInfo>

namespace kelmora::platform {

bool fileExists(const QString& path) {
    QString name = path;
    if (name.size() > 3 && (name.endsWith(u'\\') || name.endsWith(u'/'))) name.chop(1);
    return !name.isEmpty() && QFileInfo::exists(name);
}

}  // namespace kelmora::platform
