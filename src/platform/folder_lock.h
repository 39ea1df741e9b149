#pragma once

#include <QString>

namespace kelmora::platform {

// One service per program folder, whoever runs it: a lock on a file in the folder itself, held by
// the kernel for as long as the process lives, so that a copy started in another session or by
// another user who can write there finds it taken, and a crash never leaves it stale.
class FolderLock {
public:
    static inline const QString kFileName = QStringLiteral("kelmora.lock");

    // `fallbackFolder` holds the lock instead when the program folder cannot be written (a
    // read-only install); then it is held for this user and session only.
    FolderLock(const QString& folder, const QString& fallbackFolder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Takes the lock; false when another process holds it (or the file cannot be opened).
    bool tryLock();
    // Who holds it, as that process wrote it ("proceso 1234 de ana en caja1"); empty when unknown.
    QString holder() const;

private:
    bool lockAt(const QString& path);

    QString path_;
    QString fallbackPath_;
    int fd_ = -1;
    bool locked_ = false;
};

}  // namespace kelmora::platform
