#include "program_folder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace kelmora::app {

QString defaultFolder() {
    // Only a folder of the user's own: root may write in /usr/bin, but Acceso, the log and the
    // journal left there would belong to no package and outlive its removal.
    const QFileInfo besideExecutable(QCoreApplication::applicationDirPath());
    if (besideExecutable.isWritable() && besideExecutable.ownerId() == ::geteuid() &&
        !besideExecutable.canonicalFilePath().startsWith(QStringLiteral("/usr/"))) {
        return besideExecutable.absoluteFilePath();
    }
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

}  // namespace kelmora::app
