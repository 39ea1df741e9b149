#include "platform/folder_lock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmora::platform {

namespace {

QString hashed(const QString& text) {
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

}  // namespace

FolderLock::FolderLock(const QString& folder, const QString& fallbackFolder)
    : path_(QDir(folder).filePath(kFileName)),
      fallbackPath_(QDir(fallbackFolder)
                        .filePath(QStringLiteral("kelmora-") + hashed(QFileInfo(folder).absoluteFilePath()) +
                                  QStringLiteral(".lock"))),
      folder_(QFileInfo(folder).absoluteFilePath()) {}

FolderLock::FolderLock(const Branch& branch)
    : path_(QDir(branch.lockFolder).filePath(QStringLiteral("kelmora-sucursal-") + hashed(branch.code) +
                                             QStringLiteral(".lock"))),
      folder_(branch.folder) {}

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // the kernel lets go of the lock with the descriptor
}

bool FolderLock::tryLock() {
    if (locked_) return true;
    if (lockAt(path_)) return true;
    if (fallbackPath_.isEmpty() || (errno != EACCES && errno != EROFS && errno != EPERM)) return false;
    path_ = fallbackPath_;
    return lockAt(path_);
}

bool FolderLock::lockAt(const QString& where) {
    const QByteArray path = QFile::encodeName(where);
    // Whoever can write in the folder can take the lock: the file is left writable by all of them.
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
        ::fchmod(fd_, 0666);  // fails harmlessly on a file someone else created
    } else {
        // Created by another user without write access for us: a read-only descriptor still locks.
        const int why = errno;
        fd_ = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            errno = why;  // the folder's refusal, not the file's absence
            return false;
        }
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        fd_ = -1;
        heldByAnother_ = true;
        errno = EWOULDBLOCK;
        return false;
    }
    locked_ = true;
    // Who holds it, for the copy that finds it taken.
    const passwd* user = ::getpwuid(::geteuid());
    const QByteArray who = QStringLiteral("proceso %1 de %2, carpeta %3\n")
                               .arg(::getpid())
                               .arg(user != nullptr ? QString::fromLocal8Bit(user->pw_name) : QString::number(::geteuid()))
                               .arg(QDir::toNativeSeparators(folder_))
                               .toUtf8();
    if (::ftruncate(fd_, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd_, who.constData(), static_cast<size_t>(who.size()), 0);
    }
    return true;
}

QString FolderLock::holder() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readLine(200)).trimmed();
}

}  // namespace kelmora::platform
