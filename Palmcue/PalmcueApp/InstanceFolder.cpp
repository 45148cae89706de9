// SPDX-License-Identifier: Apache-2.0
#include "PalmcueApp/InstanceFolder.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace palmcue::shell {

namespace {

const QString kSocketName = QStringLiteral("palmcue.socket");
const QString kLockName = QStringLiteral("palmcue.lock");

bool socketFitsIn(const QString& folder) {
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(kSocketName));
    return size_t(path.size()) < sizeof(sockaddr_un::sun_path); // room for the zero
}

// Why `folder` is not a folder that only this user can enter; empty when it is one.
// `followLink`: the session's own runtime folder may be a link; a folder of ours in a shared
// temporary folder may not, since anybody could have made the link.
QString privacyProblem(const QString& folder, bool followLink) {
    struct stat info {};
    const QByteArray native = QFile::encodeName(folder);
    const int result =
        followLink ? ::stat(native.constData(), &info) : ::lstat(native.constData(), &info);
    if (result != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("not a folder");
    if (info.st_uid != ::getuid())
        return QStringLiteral("owned by user id %1, not %2").arg(info.st_uid).arg(::getuid());
    if ((info.st_mode & 077) != 0)
        return QStringLiteral("mode %1, others may enter it")
            .arg(info.st_mode & 0777, 4, 8, QLatin1Char('0'));
    return {};
}

} // namespace

QString InstanceFolder::socketPath() const {
    return QDir(path).filePath(kSocketName);
}

QString InstanceFolder::lockPath() const {
    return QDir(path).filePath(kLockName);
}

InstanceFolder InstanceFolder::choose(const QString& runtimeDir, const QString& tempDir) {
    if (QDir::isAbsolutePath(runtimeDir) && socketFitsIn(runtimeDir) &&
        privacyProblem(runtimeDir, true).isEmpty())
        return {QDir::cleanPath(runtimeDir), {}};

    const QString name = QStringLiteral("palmcue-%1").arg(::getuid());
    QString folder = QDir(QDir::cleanPath(tempDir)).filePath(name);
    if (!QDir::isAbsolutePath(tempDir) || !socketFitsIn(folder))
        folder = QDir(QStringLiteral("/tmp")).filePath(name);
    // mkdir never replaces what is there; whatever is there is checked below.
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
        return {{},
                QStringLiteral("cannot create %1: %2")
                    .arg(folder, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    if (const QString problem = privacyProblem(folder, false); !problem.isEmpty()) {
        return {{},
                QStringLiteral("refusing %1 for the single-instance socket (%2): it must be a "
                               "folder of this user that nobody else may enter")
                    .arg(folder, problem)};
    }
    return {folder, {}};
}

InstanceFolder InstanceFolder::forThisSession() {
    return choose(qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath());
}

} // namespace palmcue::shell
