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

    // One poller per branch on the machine, whatever the user and the program folder: a lock on a
    // file named after the code (never the code itself) in `lockFolder`, a folder all users can
    // write (/run/lock). `folder` is the program folder, named to whoever finds it taken.
    struct Branch {
        QString lockFolder;
        QString code;
        QString folder;
    };
    explicit FolderLock(const Branch& branch);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Takes the lock; false when another process holds it (or the file cannot be opened).
    bool tryLock();
    // After a failed tryLock: another process holds it, rather than the file being out of reach.
    bool heldByAnother() const { return heldByAnother_; }
    // Who holds it, as that process wrote it ("proceso 1234 de ana, carpeta /home/ana/Kelmora");
    // empty when unknown.
    QString holder() const;

private:
    bool lockAt(const QString& path);

    QString path_;
    QString fallbackPath_;
    QString folder_;
    int fd_ = -1;
    bool locked_ = false;
    bool heldByAnother_ = false;
};

}  // namespace kelmora::platform
