// SPDX-License-Identifier: Apache-2.0
#include "camera/CameraFormat.h"

#include "camera/FrameConversion.h"

#include <QVideoFrameFormat>
#include <algorithm>
#include <cmath>
#include <tuple>

namespace palmcue::camera {
namespace {

constexpr double kSmoothRate = 25.0; // below this a hold completes late and the preview stutters
constexpr double kPreferredRate = 30.0;
// Fewer lines lose hands at arm's length; more find them no better.
constexpr int kEnoughLines = 480;
constexpr int kMaxWidth = 1920;
constexpr int kMaxHeight = 1080;

bool fitsBound(const QCameraFormat& format) {
    return format.resolution().width() <= kMaxWidth && format.resolution().height() <= kMaxHeight;
}

// 0 for raw formats that frames are converted from directly, 1 for MJPEG (Qt decodes it
// first), 2 for what Qt has to convert to an image.
int formatCost(QVideoFrameFormat::PixelFormat format) {
    if (format == QVideoFrameFormat::Format_Jpeg)
        return 1;
    return convertsDirectly(format) ? 0 : 2;
}

} // namespace

QCameraFormat chooseCameraFormat(const QList<QCameraFormat>& formats) {
    QList<QCameraFormat> candidates;
    for (const QCameraFormat& format : formats) {
        if (format.pixelFormat() != QVideoFrameFormat::Format_Invalid &&
            !format.resolution().isEmpty())
            candidates.append(format);
    }
    if (candidates.isEmpty())
        return {};
    // Above 1920x1080 only when the camera offers nothing else, and then its smallest.
    if (std::none_of(candidates.begin(), candidates.end(), fitsBound)) {
        return *std::min_element(
            candidates.begin(), candidates.end(), [](const auto& a, const auto& b) {
                const QSize sa = a.resolution();
                const QSize sb = b.resolution();
                return qint64(sa.width()) * sa.height() < qint64(sb.width()) * sb.height();
            });
    }
    const bool smoothOffered = std::any_of(candidates.begin(), candidates.end(), [](const auto& f) {
        return fitsBound(f) && f.maxFrameRate() >= kSmoothRate;
    });
    const auto rank = [smoothOffered](const QCameraFormat& f) {
        const QSize size = f.resolution();
        const double rate = f.maxFrameRate();
        const bool smooth = rate >= kSmoothRate;
        const bool enough = size.height() >= kEnoughLines;
        const qint64 pixels = qint64(size.width()) * size.height();
        return std::make_tuple(!fitsBound(f), smoothOffered && !smooth, !enough,
                               enough ? pixels : -pixels,
                               smooth ? std::abs(rate - kPreferredRate) : kPreferredRate - rate,
                               formatCost(f.pixelFormat()));
    };
    // Stable: among equals, the camera's own order decides.
    return *std::min_element(candidates.begin(), candidates.end(),
                             [&rank](const auto& a, const auto& b) { return rank(a) < rank(b); });
}

std::string describeCameraFormat(const QCameraFormat& format) {
    if (format.isNull())
        return {};
    QString name;
    switch (format.pixelFormat()) {
    case QVideoFrameFormat::Format_Jpeg:
        name = QStringLiteral("MJPEG");
        break;
    case QVideoFrameFormat::Format_YUV420P:
        name = QStringLiteral("I420");
        break;
    default:
        name = QVideoFrameFormat::pixelFormatToString(format.pixelFormat());
        if (name.startsWith(QStringLiteral("Format_")))
            name.remove(0, 7);
        break;
    }
    return QStringLiteral("%1x%2 %3 %4 fps")
        .arg(format.resolution().width())
        .arg(format.resolution().height())
        .arg(name)
        .arg(QString::number(format.maxFrameRate(), 'g', 4))
        .toStdString();
}

} // namespace palmcue::camera
