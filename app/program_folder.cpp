#include "program_folder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

namespace kelmora::app {

QString defaultFolder() {
    const QString besideExecutable = QCoreApplication::applicationDirPath();
    if (QFileInfo(besideExecutable).isWritable()) return besideExecutable;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

}  // namespace kelmora::app
