// SPDX-License-Identifier: Apache-2.0
#include "camera/CameraPermission.h"

#include <QDir>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace palmcue::camera {

CameraPermission::CameraPermission(QString deviceDir, Probe probe)
    : deviceDir_(std::move(deviceDir)), probe_(probe ? std::move(probe) : Probe(&openProbe)) {}

int CameraPermission::openProbe(const QString& path) {
    // Non-blocking: a busy or slow device must not hold up the check.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

CameraAuthorization CameraPermission::status() const {
    const QDir dir(deviceDir_);
    const QStringList nodes =
        dir.entryList({QStringLiteral("video*")}, QDir::Files | QDir::System | QDir::Hidden);
    if (nodes.isEmpty())
        return CameraAuthorization::Authorized;
    for (const QString& node : nodes) {
        const int error = probe_(dir.filePath(node));
        // Busy or vanished devices do not say anything about permission.
        if (error != EACCES && error != EPERM)
            return CameraAuthorization::Authorized;
    }
    return CameraAuthorization::Denied;
}

} // namespace palmcue::camera
