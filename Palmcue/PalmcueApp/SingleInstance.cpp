#include "PalmcueApp/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QPointer>
#include <unistd.h>

namespace palmcue::shell {

namespace {

constexpr int kConnectTimeoutMs = 1000;
const QByteArray kShowMessage = QByteArrayLiteral("show\n");

} // namespace

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)) {
    // Only this user may talk to the running instance.
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::readMessages);
}

SingleInstance::~SingleInstance() {
    server_.close();
}

QString SingleInstance::defaultSocketPath() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("palmcue-%1").arg(::getuid()));
}

SingleInstance::Role SingleInstance::claim() {
    // Asked first: listening would replace the socket of a running instance, not fail.
    if (notifyRunningInstance())
        return Role::Secondary;
    // Nobody answers: no socket, or one that outlived a crashed instance.
    QLocalServer::removeServer(socketPath_);
    if (server_.listen(socketPath_))
        return Role::Primary;
    error_ = QStringLiteral("cannot listen on %1: %2").arg(socketPath_, server_.errorString());
    return Role::Failed;
}

bool SingleInstance::notifyRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(kShowMessage);
    const bool sent = socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kConnectTimeoutMs);
    return sent;
}

void SingleInstance::readMessages() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const auto read = [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == kShowMessage)
                    Q_EMIT showRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, read);
        // The message may already be here, and the peer may already have gone.
        read();
    }
}

} // namespace palmcue::shell
