// SPDX-License-Identifier: Apache-2.0
#include "PalmcueApp/SingleInstance.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace palmcue::shell {

namespace {

const QByteArray kShowLine = QByteArrayLiteral("show\n");
const QByteArray kQuitLine = QByteArrayLiteral("quit\n");
// Longer than any request: a peer that sends more is not one of ours.
constexpr qsizetype kMaxLineLength = 16;
// Bounds on what a peer may hold: connections still reading, and how long each may take.
constexpr int kMaxOpenConnections = 16;
constexpr int kLineTimeoutMs = 2000;
constexpr int kBacklog = 16;
// After an accept() that failed for lack of descriptors or memory.
constexpr int kAcceptPauseMs = 200;
// A later start's patience: sending, and waiting for a primary that holds the lock but is
// not listening yet (it is starting at this very moment).
constexpr int kIoTimeoutMs = 2000;
constexpr int kStartupGraceMs = 3000;
constexpr int kRetryMs = 50;

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

sockaddr_un addressOf(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    // InstanceFolder only hands out paths that fit.
    std::memcpy(address.sun_path, native.constData(),
                std::min(size_t(native.size()), sizeof(address.sun_path) - 1));
    return address;
}

bool peerIsThisUser(int fd) {
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == ::getuid();
}

void setTimeout(int fd, int option, int milliseconds) {
    const timeval timeout{milliseconds / 1000, (milliseconds % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, option, &timeout, sizeof(timeout));
}

// A connection to this user's instance at `path`; -1 with errno set when there is none
// (EPERM when another user's process listens there).
int connectToInstance(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // The send timeout also bounds connect() when the backlog is full.
    setTimeout(fd, SO_SNDTIMEO, kIoTimeoutMs);
    const sockaddr_un address = addressOf(path);
    int error = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
        error = errno;
    else if (!peerIsThisUser(fd))
        error = EPERM;
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool sendLine(int fd, const QByteArray& line) {
    return ::send(fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL) == line.size();
}

} // namespace

// One accepted connection: reads a single short line and acts on it. A "quit" connection is
// kept open until the instance ends, so that the asking process can wait for the end.
class SingleInstance::Connection : public QObject {
public:
    Connection(int fd, SingleInstance* owner)
        : QObject(owner), fd_(fd), owner_(owner), notifier_(fd, QSocketNotifier::Read) {
        ++owner_->openConnections_;
        connect(&notifier_, &QSocketNotifier::activated, this, &Connection::read);
        deadline_.setSingleShot(true);
        connect(&deadline_, &QTimer::timeout, this, &Connection::close);
        deadline_.start(kLineTimeoutMs);
    }
    ~Connection() override { ::close(fd_); }

private:
    void read() {
        char buffer[kMaxLineLength];
        const ssize_t count = ::recv(fd_, buffer, size_t(kMaxLineLength - line_.size()), 0);
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (count <= 0)
            return close();
        line_.append(buffer, count);
        const qsizetype end = line_.indexOf('\n');
        if (end < 0) {
            if (line_.size() >= kMaxLineLength)
                close();
            return;
        }
        const QByteArray request = line_.left(end + 1);
        if (request == kQuitLine) {
            stopReading();
            Q_EMIT owner_->quitRequested();
            return;
        }
        close();
        if (request == kShowLine)
            Q_EMIT owner_->showRequested();
    }

    void stopReading() {
        if (!notifier_.isEnabled())
            return;
        notifier_.setEnabled(false);
        deadline_.stop();
        --owner_->openConnections_;
    }

    void close() {
        stopReading();
        deleteLater();
    }

    const int fd_;
    SingleInstance* const owner_;
    QSocketNotifier notifier_;
    QTimer deadline_;
    QByteArray line_;
};

SingleInstance::SingleInstance(InstanceFolder folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    listenNotifier_.reset();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(QFile::encodeName(folder_.socketPath()).constData());
    }
    if (lockFd_ >= 0)
        ::close(lockFd_); // releases the lock
    // The connections, children of this object, close after this: a waiting `--quit` learns
    // of the end only once a new start can become the primary.
}

SingleInstance::Role SingleInstance::claim() {
    if (folder_.path.isEmpty()) {
        error_ = folder_.error;
        return Role::Failed;
    }
    const QString lockPath = folder_.lockPath();
    lockFd_ = ::open(QFile::encodeName(lockPath).constData(),
                     O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) {
        error_ = QStringLiteral("cannot open %1: %2").arg(lockPath, errorText(errno));
        return Role::Failed;
    }
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0)
        return listen() ? Role::Primary : Role::Failed;
    const int lockError = errno;
    ::close(lockFd_);
    lockFd_ = -1;
    if (lockError != EWOULDBLOCK) {
        error_ = QStringLiteral("cannot lock %1: %2").arg(lockPath, errorText(lockError));
        return Role::Failed;
    }

    // The holder of the lock listens, or will in a moment if it is starting right now.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (const int fd = connectToInstance(folder_.socketPath()); fd >= 0) {
            const bool sent = sendLine(fd, kShowLine);
            ::close(fd);
            if (sent)
                return Role::Secondary;
        }
        if (waited.elapsed() >= kStartupGraceMs)
            break;
        QThread::msleep(kRetryMs);
    }
    error_ = QStringLiteral("another Palm&Cue holds %1 but does not answer on %2")
                 .arg(lockPath, folder_.socketPath());
    return Role::Failed;
}

bool SingleInstance::listen() {
    const QString path = folder_.socketPath();
    // We hold the lock, so a socket file left here belongs to an instance that has ended.
    ::unlink(QFile::encodeName(path).constData());
    const sockaddr_un address = addressOf(path);
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0 ||
        ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listenFd_, kBacklog) != 0) {
        error_ = QStringLiteral("cannot listen on %1: %2").arg(path, errorText(errno));
        if (listenFd_ >= 0)
            ::close(listenFd_);
        listenFd_ = -1;
        // Let a later start try again rather than find a primary that cannot be reached.
        ::close(lockFd_);
        lockFd_ = -1;
        return false;
    }
    // Our own listening socket rather than QLocalServer, which closes for good (and removes
    // the socket file) after a single failed accept().
    listenNotifier_ = std::make_unique<QSocketNotifier>(listenFd_, QSocketNotifier::Read);
    connect(listenNotifier_.get(), &QSocketNotifier::activated, this,
            &SingleInstance::acceptConnections);
    return true;
}

void SingleInstance::acceptConnections() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            // Out of descriptors or memory: the connection stays in the backlog, and a
            // notifier left on would fire again at once. Pause, then listen on.
            listenNotifier_->setEnabled(false);
            QTimer::singleShot(kAcceptPauseMs, this, [this] {
                if (listenNotifier_)
                    listenNotifier_->setEnabled(true);
            });
            return;
        }
        if (openConnections_ >= kMaxOpenConnections || !peerIsThisUser(fd)) {
            ::close(fd);
            continue;
        }
        new Connection(fd, this);
    }
}

SingleInstance::QuitAnswer SingleInstance::requestQuit(const InstanceFolder& folder, QString& error,
                                                       int waitMs) {
    if (folder.path.isEmpty()) {
        error = folder.error;
        return QuitAnswer::Failed;
    }
    const int fd = connectToInstance(folder.socketPath());
    if (fd < 0) {
        // No socket, a socket nobody listens on, or another user's: none of ours runs.
        if (errno == ENOENT || errno == ECONNREFUSED || errno == EPERM)
            return QuitAnswer::NotRunning;
        error = QStringLiteral("cannot reach %1: %2").arg(folder.socketPath(), errorText(errno));
        return QuitAnswer::Failed;
    }
    if (!sendLine(fd, kQuitLine)) {
        error = QStringLiteral("cannot send to %1: %2").arg(folder.socketPath(), errorText(errno));
        ::close(fd);
        return QuitAnswer::Failed;
    }
    // The instance holds this connection until it has ended: the end of the stream is the
    // answer.
    setTimeout(fd, SO_RCVTIMEO, waitMs);
    char byte;
    ssize_t count;
    do {
        count = ::recv(fd, &byte, 1, 0);
    } while (count > 0 || (count < 0 && errno == EINTR));
    const bool ended = count == 0 || errno == ECONNRESET;
    ::close(fd);
    if (ended)
        return QuitAnswer::Ended;
    error = QStringLiteral("Palm&Cue was asked to quit but still runs after %1 s")
                .arg(double(waitMs) / 1000.0);
    return QuitAnswer::Failed;
}

} // namespace palmcue::shell
