// SPDX-License-Identifier: Apache-2.0
// The single-instance guard: where its socket lives, one primary per folder, later starts
// hand "show" or "quit" to it, and nothing a peer does (another user's socket, a flood of
// connections, an endless line, no descriptors left) stops it from listening.
#include "PalmcueApp/SingleInstance.h"

#include "support/SharedData.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using palmcue::shell::InstanceFolder;
using palmcue::shell::SingleInstance;
using palmcue::test::waitUntil;

namespace {

constexpr uid_t kNobody = 65534;

// A folder made by QTemporaryDir (mode 0700, ours) used as the instance folder.
InstanceFolder folderOf(const QTemporaryDir& dir) {
    return {dir.path(), {}};
}

sockaddr_un addressOf(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    return address;
}

// A client connection made by hand, as a foreign or misbehaving peer would; -1 on failure.
int connectTo(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressOf(path);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether the other end has closed `fd`, processing events meanwhile.
bool closedByPeer(int fd) {
    return waitUntil(
        [fd] {
            char byte;
            const ssize_t count = ::recv(fd, &byte, 1, MSG_DONTWAIT);
            return count == 0 || (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
        },
        15000);
}

// A primary in a private temporary folder that counts the requests it gets.
struct Primary {
    QTemporaryDir dir;
    std::unique_ptr<SingleInstance> instance;
    int shows = 0;
    int quits = 0;

    explicit Primary(const QString& folderTemplate = {})
        : dir(folderTemplate.isEmpty() ? QDir::tempPath() + QStringLiteral("/instance-XXXXXX")
                                       : folderTemplate) {
        instance = std::make_unique<SingleInstance>(folderOf(dir));
        QObject::connect(instance.get(), &SingleInstance::showRequested, [this] { ++shows; });
        QObject::connect(instance.get(), &SingleInstance::quitRequested, [this] { ++quits; });
    }
    QString socketPath() const { return folderOf(dir).socketPath(); }
};

// A process of the user "nobody" listening on `socketPath` and holding the lock at
// `lockPath`, until destroyed. Needs root.
class ForeignListener {
public:
    ForeignListener(const QString& socketPath, const QString& lockPath) {
        const QByteArray lock = QFile::encodeName(lockPath);
        const sockaddr_un address = addressOf(socketPath);
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(stop_) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only system calls from here on: the parent has other threads.
            ::close(stop_[1]);
            ::close(ready[0]);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const int lockFd = ::open(lock.constData(), O_RDWR | O_CREAT, 0600);
            const bool ok =
                fd >= 0 && lockFd >= 0 && ::flock(lockFd, LOCK_EX) == 0 &&
                ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
                ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && ::listen(fd, 4) == 0;
            const char answer = ok ? 1 : 0;
            [[maybe_unused]] ssize_t n = ::write(ready[1], &answer, 1);
            char byte;
            n = ::read(stop_[0], &byte, 1); // until the parent closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(stop_[0]);
        char answer = 0;
        listening_ = ::read(ready[0], &answer, 1) == 1 && answer == 1;
        ::close(ready[0]);
    }
    ~ForeignListener() {
        ::close(stop_[1]);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    bool listening() const { return listening_; }

private:
    pid_t pid_ = -1;
    int stop_[2] = {-1, -1};
    bool listening_ = false;
};

} // namespace

TEST(SingleInstanceTest, LaterStartsAskThePrimaryToShowItsWindow) {
    Primary primary;
    ASSERT_EQ(primary.instance->claim(), SingleInstance::Role::Primary)
        << primary.instance->error().toStdString();
    for (int start = 1; start <= 2; ++start) {
        SingleInstance later(folderOf(primary.dir));
        EXPECT_EQ(later.claim(), SingleInstance::Role::Secondary);
        EXPECT_TRUE(waitUntil([&] { return primary.shows == start; })) << "start " << start;
    }
    EXPECT_EQ(primary.shows, 2);
    EXPECT_EQ(primary.quits, 0);

    // The socket goes with the primary; the next start takes over.
    primary.instance.reset();
    EXPECT_FALSE(QFileInfo::exists(primary.socketPath()));
    SingleInstance next(folderOf(primary.dir));
    EXPECT_EQ(next.claim(), SingleInstance::Role::Primary);
}

TEST(SingleInstanceTest, TakesOverTheSocketOfACrashedInstance) {
    QTemporaryDir dir;
    const InstanceFolder folder = folderOf(dir);
    // A bound socket whose process is gone: the file stays, nobody listens, nobody holds the
    // lock.
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        const sockaddr_un address = addressOf(folder.socketPath());
        ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
        ::close(fd);
    }
    ASSERT_TRUE(QFileInfo::exists(folder.socketPath()));

    SingleInstance instance(folder);
    EXPECT_EQ(instance.claim(), SingleInstance::Role::Primary) << instance.error().toStdString();
    SingleInstance later(folder);
    EXPECT_EQ(later.claim(), SingleInstance::Role::Secondary);
}

TEST(SingleInstanceTest, ReportsAFolderItCannotUse) {
    QTemporaryDir dir;
    SingleInstance missing({dir.filePath(QStringLiteral("no/such/folder")), {}});
    EXPECT_EQ(missing.claim(), SingleInstance::Role::Failed);
    EXPECT_FALSE(missing.error().isEmpty());

    // A refused folder's reason is passed on.
    SingleInstance refused({{}, QStringLiteral("refusing /tmp/x")});
    EXPECT_EQ(refused.claim(), SingleInstance::Role::Failed);
    EXPECT_EQ(refused.error(), QStringLiteral("refusing /tmp/x"));
}

TEST(SingleInstanceTest, QuitIsAskedOfTheRunningInstanceWhichEndsTheWait) {
    QTemporaryDir empty;
    QString error;
    EXPECT_EQ(SingleInstance::requestQuit(folderOf(empty), error),
              SingleInstance::QuitAnswer::NotRunning);

    Primary primary;
    ASSERT_EQ(primary.instance->claim(), SingleInstance::Role::Primary);
    // requestQuit blocks until the instance has ended, so it runs beside the event loop.
    std::atomic<int> answer{-1};
    std::thread asking([&] {
        QString ignored;
        answer = int(SingleInstance::requestQuit(folderOf(primary.dir), ignored, 30000));
    });
    const bool asked = waitUntil([&] { return primary.quits == 1; }, 30000);
    EXPECT_EQ(answer.load(), -1) << "the answer came before the instance ended";
    primary.instance.reset(); // the instance ends
    asking.join();
    ASSERT_TRUE(asked);
    EXPECT_EQ(answer.load(), int(SingleInstance::QuitAnswer::Ended));
    EXPECT_EQ(primary.shows, 0);

    // Its socket file, left behind as after a crash, is nobody's.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = addressOf(primary.socketPath());
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    EXPECT_EQ(SingleInstance::requestQuit(folderOf(primary.dir), error),
              SingleInstance::QuitAnswer::NotRunning);
}

TEST(SingleInstanceTest, DefersOnlyToAnInstanceOfTheSameUser) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to play another user";
    QTemporaryDir dir;
    const InstanceFolder folder = folderOf(dir);
    ForeignListener foreign(folder.socketPath(), folder.lockPath());
    ASSERT_TRUE(foreign.listening());

    QString error;
    EXPECT_EQ(SingleInstance::requestQuit(folder, error), SingleInstance::QuitAnswer::NotRunning);
    SingleInstance instance(folder);
    EXPECT_NE(instance.claim(), SingleInstance::Role::Secondary);
    EXPECT_FALSE(instance.error().isEmpty());
}

TEST(SingleInstanceTest, RequestsFromOtherUsersAreIgnored) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to play another user";
    // Where the other user can reach the socket: the test's own temporary folder is private.
    Primary primary(QStringLiteral("/tmp/palmcue-peer-XXXXXX"));
    ASSERT_EQ(primary.instance->claim(), SingleInstance::Role::Primary);
    ::chmod(QFile::encodeName(primary.dir.path()).constData(), 0755);
    ::chmod(QFile::encodeName(primary.socketPath()).constData(), 0777);

    int result[2];
    ASSERT_EQ(::pipe(result), 0);
    const sockaddr_un address = addressOf(primary.socketPath());
    const pid_t child = ::fork();
    if (child == 0) {
        const bool sent = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && [&] {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            return ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) ==
                       0 &&
                   ::send(fd, "quit\nshow\n", 10, MSG_NOSIGNAL) == 10;
        }();
        const char answer = sent ? 1 : 0;
        [[maybe_unused]] const ssize_t n = ::write(result[1], &answer, 1);
        ::_exit(0);
    }
    ::close(result[1]);
    char sent = 0;
    ASSERT_EQ(::read(result[0], &sent, 1), 1);
    ::close(result[0]);
    ::waitpid(child, nullptr, 0);
    ASSERT_EQ(sent, 1) << "the other user could not reach the socket";

    // This user's request, after the other's, still gets through: the other was dropped.
    SingleInstance later(folderOf(primary.dir));
    EXPECT_EQ(later.claim(), SingleInstance::Role::Secondary);
    ASSERT_TRUE(waitUntil([&] { return primary.shows == 1; }));
    EXPECT_EQ(primary.quits, 0);
}

TEST(SingleInstanceTest, PeersThatFloodOrStallAreCutOff) {
    Primary primary;
    ASSERT_EQ(primary.instance->claim(), SingleInstance::Role::Primary);

    // A line that never ends: cut off after a few bytes, not buffered.
    const int endless = connectTo(primary.socketPath());
    ASSERT_GE(endless, 0);
    const std::string chunk(4096, 'x');
    bool refused = false;
    for (int i = 0; i < 100000 && !refused; ++i) {
        if (::send(endless, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
            refused = errno != EAGAIN && errno != EWOULDBLOCK;
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(refused) << "the server kept reading";
    ::close(endless);

    // A line that is no request does nothing.
    const int wrong = connectTo(primary.socketPath());
    ASSERT_EQ(::send(wrong, "hello\n", 6, MSG_NOSIGNAL), 6);
    EXPECT_TRUE(closedByPeer(wrong));
    ::close(wrong);

    // Connections that never send are closed, more than a few at once straight away.
    std::vector<int> silent;
    for (int i = 0; i < 40; ++i) {
        silent.push_back(connectTo(primary.socketPath()));
        ASSERT_GE(silent.back(), 0);
        QCoreApplication::processEvents(); // a full backlog would block connect()
    }
    for (int fd : silent) {
        EXPECT_TRUE(closedByPeer(fd));
        ::close(fd);
    }

    EXPECT_EQ(primary.shows, 0);
    SingleInstance later(folderOf(primary.dir));
    EXPECT_EQ(later.claim(), SingleInstance::Role::Secondary);
    EXPECT_TRUE(waitUntil([&] { return primary.shows == 1; }));
}

TEST(SingleInstanceTest, KeepsListeningWhenAcceptRunsOutOfDescriptors) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizers need descriptors of their own to check calls";
#endif
    Primary primary;
    ASSERT_EQ(primary.instance->claim(), SingleInstance::Role::Primary);

    // A small descriptor limit, filled up after the client's socket exists.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 512);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &small), 0);
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(client, 0);
    std::vector<int> filler;
    for (int fd; (fd = ::dup(client)) >= 0;)
        filler.push_back(fd);
    ASSERT_EQ(errno, EMFILE);

    const sockaddr_un address = addressOf(primary.socketPath());
    const int connected =
        ::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    const ssize_t sent = ::send(client, "show\n", 5, MSG_NOSIGNAL);
    for (int i = 0; i < 20; ++i) // accept() fails meanwhile
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const int showsWhileFull = primary.shows;

    for (int fd : filler)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_EQ(connected, 0);
    ASSERT_EQ(sent, 5);
    EXPECT_EQ(showsWhileFull, 0);
    EXPECT_TRUE(waitUntil([&] { return primary.shows == 1; }));
    ::close(client);

    EXPECT_TRUE(QFileInfo::exists(primary.socketPath()));
    SingleInstance later(folderOf(primary.dir));
    EXPECT_EQ(later.claim(), SingleInstance::Role::Secondary);
    EXPECT_TRUE(waitUntil([&] { return primary.shows == 2; }));
}

// Where the socket goes.

TEST(InstanceFolderTest, UsesAPrivateShortRuntimeFolder) {
    QTemporaryDir runtime, temp;
    const InstanceFolder folder = InstanceFolder::choose(runtime.path(), temp.path());
    EXPECT_EQ(folder.path, runtime.path()) << folder.error.toStdString();
    EXPECT_EQ(QFileInfo(folder.socketPath()).absolutePath(), runtime.path());
}

TEST(InstanceFolderTest, OtherwiseAPrivateFolderOfItsOwnInTheTemporaryFolder) {
    QTemporaryDir runtime, temp;
    const QString own = temp.filePath(QStringLiteral("palmcue-%1").arg(::getuid()));
    // A runtime folder that is too long for a socket address, one that others may enter,
    // and none at all.
    QString longRuntime = runtime.path();
    while (longRuntime.size() < 150)
        longRuntime += QStringLiteral("/abcdefghij");
    ASSERT_TRUE(QDir().mkpath(longRuntime));
    ::chmod(QFile::encodeName(longRuntime).constData(), 0700);
    const QString open = runtime.filePath(QStringLiteral("open"));
    ASSERT_TRUE(QDir().mkpath(open));
    ::chmod(QFile::encodeName(open).constData(), 0755);
    for (const QString& runtimeDir : {longRuntime, open, QString(), QStringLiteral("relative")}) {
        const InstanceFolder folder = InstanceFolder::choose(runtimeDir, temp.path());
        EXPECT_EQ(folder.path, own)
            << runtimeDir.toStdString() << ": " << folder.error.toStdString();
        EXPECT_LT(QFile::encodeName(folder.socketPath()).size(), 108);
    }
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(own).constData(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(info.st_uid, ::getuid());

    // A temporary folder too long for a socket address: /tmp, as tmux does.
    QString longTemp = temp.path();
    while (longTemp.size() < 150)
        longTemp += QStringLiteral("/abcdefghij");
    ASSERT_TRUE(QDir().mkpath(longTemp));
    EXPECT_EQ(InstanceFolder::choose({}, longTemp).path,
              QStringLiteral("/tmp/palmcue-%1").arg(::getuid()));
}

TEST(InstanceFolderTest, RefusesAFolderOthersCouldHavePlanted) {
    QTemporaryDir temp;
    const QString own = temp.filePath(QStringLiteral("palmcue-%1").arg(::getuid()));
    const QByteArray native = QFile::encodeName(own);

    ASSERT_EQ(::mkdir(native.constData(), 0755), 0);
    ::chmod(native.constData(), 0755);
    InstanceFolder folder = InstanceFolder::choose({}, temp.path());
    EXPECT_TRUE(folder.path.isEmpty());
    EXPECT_TRUE(folder.error.contains(own)) << folder.error.toStdString();
    EXPECT_TRUE(folder.error.contains(QStringLiteral("0755"))) << folder.error.toStdString();

    // A link to a private folder is no folder of ours either.
    ASSERT_EQ(::rmdir(native.constData()), 0);
    QTemporaryDir elsewhere;
    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere.path()).constData(), native.constData()), 0);
    folder = InstanceFolder::choose({}, temp.path());
    EXPECT_TRUE(folder.path.isEmpty());
    EXPECT_TRUE(folder.error.contains(QStringLiteral("not a folder")))
        << folder.error.toStdString();
    ASSERT_EQ(::unlink(native.constData()), 0);

    if (::geteuid() == 0) {
        ASSERT_EQ(::mkdir(native.constData(), 0700), 0);
        ASSERT_EQ(::chown(native.constData(), kNobody, kNobody), 0);
        folder = InstanceFolder::choose({}, temp.path());
        EXPECT_TRUE(folder.path.isEmpty());
        EXPECT_TRUE(folder.error.contains(QStringLiteral("owned by user id %1").arg(kNobody)))
            << folder.error.toStdString();
    }
}
