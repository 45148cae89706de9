// SPDX-License-Identifier: Apache-2.0
#include "camera/FileCameraService.h"

#include "camera/FileCameraSource.h"
#include "camera/SourceSession.h"

#include <QFile>
#include <QImageReader>

namespace palmcue::camera {

FileCameraService::FileCameraService(QString path) : path_(std::move(path)) {}

SessionBuild FileCameraService::makeSession() {
    const auto cannotOpen = [this](const QString& reason) -> SessionBuild {
        return failure(CameraFault::CameraError,
                       "cannot open " + path_.toStdString() + ": " + reason.toStdString());
    };
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return cannotOpen(file.errorString());
    file.close();

    QImageReader reader(path_);
    reader.setAutoTransform(true); // photos carry their orientation in EXIF
    if (reader.canRead()) {
        const QImage still = reader.read();
        if (still.isNull())
            return cannotOpen(reader.errorString());
        return std::make_unique<SourceSession>(std::make_unique<FileCameraSource>(path_, still));
    }
    return std::make_unique<SourceSession>(std::make_unique<FileCameraSource>(path_));
}

} // namespace palmcue::camera
