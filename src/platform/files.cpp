#include "platform/files.h"

#include <QFile>
#include <QFileInfo>

#include <utility>

#include <pwd.h>
#include <unistd.h>

namespace kelmora::platform {

bool fileExists(const QString& path) {
    QString name = path;
    if (name.size() > 3 && (name.endsWith(u'\\') || name.endsWith(u'/'))) name.chop(1);
    return !name.isEmpty() && QFileInfo::exists(name);
}

QString accessProblem(const QString& path, bool write) {
    const QFileInfo info(path);
    if (!info.exists()) return {};
    if (info.isReadable() && (!write || info.isWritable())) return {};
    QString mode;
    const QFile::Permissions p = info.permissions();
    for (const auto& [flag, letter] : {std::pair{QFile::ReadOwner, u'r'}, {QFile::WriteOwner, u'w'}, {QFile::ExeOwner, u'x'},
                                       {QFile::ReadGroup, u'r'}, {QFile::WriteGroup, u'w'}, {QFile::ExeGroup, u'x'},
                                       {QFile::ReadOther, u'r'}, {QFile::WriteOther, u'w'}, {QFile::ExeOther, u'x'}}) {
        mode += p.testFlag(flag) ? QChar(letter) : QChar(u'-');
    }
    const passwd* user = ::getpwuid(::geteuid());
    const QString me = user != nullptr ? QString::fromLocal8Bit(user->pw_name) : QString::number(::geteuid());
    const QString owner = info.owner().isEmpty() ? QString::number(info.ownerId()) : info.owner();
    const QString fix = owner == me ? QStringLiteral("chmod u+rw %1").arg(path)
                                    : QStringLiteral("sudo chown %1: %2").arg(me, path);
    return QStringLiteral("es de %1, modo %2: %3").arg(owner, mode, fix);
}

}  // namespace kelmora::platform
