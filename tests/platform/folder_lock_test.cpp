// One poller per branch on the machine, whoever starts it.
#include "platform/folder_lock.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmora::platform {
namespace {

const QString kCodigo = QStringLiteral("123451234512345");

// The machine's lock folder as /run/lock is: sticky and writable by all. Root holds the branch;
// an ordinary user's copy finds it held and learns by whom, and once root's copy is gone takes
// the lock from the file root left. Run as root only, since it needs both users.
TEST(BranchLock, AnotherUserFindsItHeldThenTakesItOver) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to be another user too";
    QTemporaryDir carpeta;
    ASSERT_EQ(::chmod(QFile::encodeName(carpeta.path()).constData(), 01777), 0);

    const auto comoOtroUsuario = [&](bool debeTomarlo) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) std::_Exit(2);
        FolderLock otro(FolderLock::Branch{carpeta.path(), kCodigo, QStringLiteral("/home/ana/Kelmora")});
        const bool tomado = otro.tryLock();
        std::fputs(qPrintable(otro.holder()), stderr);
        if (debeTomarlo) std::_Exit(tomado ? 0 : 1);
        const bool bienDicho = otro.heldByAnother() &&
                               otro.holder().startsWith(QStringLiteral("proceso %1 de root, carpeta /srv/kelmora")
                                                            .arg(::getppid()));
        std::_Exit(!tomado && bienDicho ? 0 : 1);
    };
    {
        FolderLock servicio(FolderLock::Branch{carpeta.path(), kCodigo, QStringLiteral("/srv/kelmora")});
        ASSERT_TRUE(servicio.tryLock());
        EXPECT_EXIT(comoOtroUsuario(false), ::testing::ExitedWithCode(0), "");
    }
    EXPECT_EXIT(comoOtroUsuario(true), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kelmora::platform
