// The single-instance guard: one primary per socket, later starts hand "show" to it, and a
// socket file left by a crash does not lock the program out.
#include "PalmcueApp/SingleInstance.h"

#include "support/SharedData.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using palmcue::shell::SingleInstance;
using palmcue::test::waitUntil;

TEST(SingleInstanceTest, LaterStartsAskThePrimaryToShowItsWindow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("palmcue-test"));

    SingleInstance primary(path);
    ASSERT_EQ(primary.claim(), SingleInstance::Role::Primary) << primary.error().toStdString();
    int shows = 0;
    QObject::connect(&primary, &SingleInstance::showRequested, [&shows] { ++shows; });

    for (int start = 1; start <= 2; ++start) {
        SingleInstance later(path);
        EXPECT_EQ(later.claim(), SingleInstance::Role::Secondary);
        EXPECT_TRUE(waitUntil([&] { return shows == start; })) << "start " << start;
    }
    EXPECT_EQ(shows, 2);
}

TEST(SingleInstanceTest, TakesOverTheSocketOfACrashedInstance) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("palmcue-test"));
    // A bound socket whose process is gone: the file stays, nobody listens.
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        ASSERT_LT(size_t(native.size()), sizeof(address.sun_path));
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ::close(fd);
    }
    ASSERT_TRUE(QFileInfo::exists(path));

    SingleInstance instance(path);
    EXPECT_EQ(instance.claim(), SingleInstance::Role::Primary) << instance.error().toStdString();
    SingleInstance later(path);
    EXPECT_EQ(later.claim(), SingleInstance::Role::Secondary);
}

TEST(SingleInstanceTest, ReportsAFolderItCannotUse) {
    QTemporaryDir dir;
    SingleInstance instance(dir.filePath(QStringLiteral("no/such/folder/palmcue")));
    EXPECT_EQ(instance.claim(), SingleInstance::Role::Failed);
    EXPECT_FALSE(instance.error().isEmpty());
}

TEST(SingleInstanceTest, SocketIsPerUserInTheRuntimeFolder) {
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
    const QString path = SingleInstance::defaultSocketPath();
    qputenv("XDG_RUNTIME_DIR", saved);
    EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
    EXPECT_EQ(QFileInfo(path).fileName(), QStringLiteral("palmcue-%1").arg(::getuid()));
}
