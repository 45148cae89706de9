// SPDX-License-Identifier: Apache-2.0
#include "camera/CameraDevices.h"

#include "camera/CameraFormat.h"

#include <QStringList>
#include <algorithm>

namespace palmcue::camera {
namespace {

bool isGreyscale(QVideoFrameFormat::PixelFormat format) {
    return format == QVideoFrameFormat::Format_Y8 || format == QVideoFrameFormat::Format_Y16;
}

QString idAndName(const QCameraDevice& camera) {
    return QString::fromUtf8(camera.id()) + QStringLiteral(": ") + camera.description();
}

QString cameraLines(const QList<QCameraDevice>& cameras) {
    if (cameras.isEmpty())
        return QStringLiteral("no camera is connected");
    QStringList lines;
    for (const QCameraDevice& camera : cameras)
        lines << QStringLiteral("  ") + idAndName(camera);
    return QStringLiteral("the cameras are:\n") + lines.join(QLatin1Char('\n'));
}

} // namespace

bool givesColour(const QCameraDevice& camera) {
    const QList<QCameraFormat> formats = camera.videoFormats();
    // A camera that lists no modes is taken at its word for whatever it delivers.
    return formats.isEmpty() || std::any_of(formats.begin(), formats.end(), [](const auto& f) {
               return !isGreyscale(f.pixelFormat());
           });
}

QCameraDevice defaultCamera(const QList<QCameraDevice>& cameras,
                            const QCameraDevice& systemDefault) {
    if (cameras.isEmpty())
        return {};
    const QCameraDevice first = systemDefault.isNull() ? cameras.front() : systemDefault;
    if (givesColour(first))
        return first;
    const auto colour = std::find_if(cameras.begin(), cameras.end(), givesColour);
    return colour != cameras.end() ? *colour : first;
}

Result<QCameraDevice> findCamera(const QList<QCameraDevice>& cameras, const QString& name) {
    for (const QCameraDevice& camera : cameras) {
        if (QString::fromUtf8(camera.id()) == name)
            return camera;
    }
    QList<QCameraDevice> matches;
    for (const QCameraDevice& camera : cameras) {
        if (camera.description().compare(name, Qt::CaseInsensitive) == 0)
            return camera; // a whole name is never ambiguous, even if it is part of another
        if (!name.isEmpty() && camera.description().contains(name, Qt::CaseInsensitive))
            matches << camera;
    }
    if (matches.size() == 1)
        return matches.front();
    if (matches.isEmpty())
        return failure(
            QStringLiteral("no camera '%1'; %2").arg(name, cameraLines(cameras)).toStdString());
    return failure(QStringLiteral("'%1' names more than one camera; give its id or more of its "
                                  "name: %2")
                       .arg(name, cameraLines(matches))
                       .toStdString());
}

QCameraDevice sameCamera(const QList<QCameraDevice>& cameras, const QCameraDevice& camera) {
    for (const QCameraDevice& candidate : cameras) {
        if (candidate.id() == camera.id() && candidate.description() == camera.description())
            return candidate;
    }
    // Plugged back in, a camera is listed anew under another id.
    for (const QCameraDevice& candidate : cameras) {
        if (candidate.description() == camera.description())
            return candidate;
    }
    return {};
}

QString describeCameras(const QList<QCameraDevice>& cameras, const QCameraDevice& used) {
    QStringList lines;
    for (const QCameraDevice& camera : cameras) {
        QString heading = idAndName(camera);
        if (camera == used)
            heading += QStringLiteral("  [default]");
        if (!givesColour(camera))
            heading += QStringLiteral("  [infrared: greyscale only]");
        lines << heading;
        const QCameraFormat chosen = chooseCameraFormat(camera.videoFormats());
        QStringList modes;
        for (const QCameraFormat& format : camera.videoFormats()) {
            QString mode =
                QStringLiteral("    ") + QString::fromStdString(describeCameraFormat(format));
            if (format == chosen)
                mode += QStringLiteral("  [chosen]");
            if (!modes.contains(mode))
                modes << mode;
        }
        lines << modes;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace palmcue::camera
