// SPDX-License-Identifier: Apache-2.0
#include "camera/FileCameraSource.h"

#include "camera/ImagePixelBuffer.h"

#include <QFileInfo>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>
#include <QVideoSink>
#include <cstring>

namespace palmcue::camera {
namespace {

// The still picture as a video frame for the preview, built once.
QVideoFrame videoFrameOf(const QImage& bgra) {
    QVideoFrame frame(QVideoFrameFormat(bgra.size(), QVideoFrameFormat::Format_BGRA8888));
    if (!frame.map(QVideoFrame::WriteOnly))
        return {};
    const int rowBytes = bgra.width() * 4;
    for (int y = 0; y < bgra.height(); ++y)
        std::memcpy(frame.bits(0) + static_cast<qsizetype>(y) * frame.bytesPerLine(0),
                    bgra.constScanLine(y), rowBytes);
    frame.unmap();
    return frame;
}

} // namespace

FileCameraSource::FileCameraSource(QString path, const QImage& still)
    : path_(std::move(path)), stillBuffer_(std::make_shared<ImagePixelBuffer>(still)),
      stillFrame_(videoFrameOf(stillBuffer_->image())), stillTimer_(new QTimer(this)) {
    stillTimer_->setTimerType(Qt::PreciseTimer);
    stillTimer_->setInterval(1000 / kFramesPerSecond);
    connect(stillTimer_, &QTimer::timeout, this, &FileCameraSource::showStill);
}

FileCameraSource::FileCameraSource(QString path)
    : path_(std::move(path)), player_(new QMediaPlayer(this)), sink_(new QVideoSink(this)) {
    player_->setVideoSink(sink_);
    player_->setLoops(QMediaPlayer::Infinite);
    connect(sink_, &QVideoSink::videoFrameChanged, this, &FileCameraSource::onVideoFrame);
    connect(player_, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString& text) {
                fail("cannot open " + path_.toStdString() + ": " +
                     (text.isEmpty() ? std::string("playback failed") : text.toStdString()));
            });
    connect(player_, &QMediaPlayer::mediaStatusChanged, this,
            [this](QMediaPlayer::MediaStatus status) {
                if (status == QMediaPlayer::InvalidMedia)
                    fail("cannot open " + path_.toStdString() + ": not a playable video or image");
            });
}

FileCameraSource::~FileCameraSource() {
    stop();
    if (player_) {
        disconnect(player_, nullptr, this, nullptr);
        disconnect(sink_, nullptr, this, nullptr);
        delete player_;
    }
}

void FileCameraSource::start() {
    started_ = true;
    if (!checkFilePresent())
        return;
    if (stillTimer_) {
        stillTimer_->start();
        return;
    }
    player_->setSource(QUrl::fromLocalFile(path_));
    player_->play();
}

void FileCameraSource::stop() {
    started_ = false;
    if (stillTimer_)
        stillTimer_->stop();
    if (player_)
        player_->stop();
}

void FileCameraSource::fail(const std::string& reason) {
    if (!started_)
        return;
    stop();
    Q_EMIT failed(reason);
}

bool FileCameraSource::checkFilePresent() {
    // A played file stays readable after it is deleted; a camera that is gone should not.
    if (QFileInfo::exists(path_)) {
        sinceCheck_.start();
        return true;
    }
    fail("cannot open " + path_.toStdString() + ": the file was removed");
    return false;
}

bool FileCameraSource::stillPresent() {
    constexpr qint64 kCheckEveryMs = 250;
    if (sinceCheck_.isValid() && sinceCheck_.elapsed() < kCheckEveryMs)
        return true;
    return checkFilePresent();
}

void FileCameraSource::onVideoFrame(const QVideoFrame& frame) {
    if (started_ && frame.isValid() && stillPresent())
        Q_EMIT frameArrived(frame);
}

void FileCameraSource::showStill() {
    if (started_ && stillPresent())
        Q_EMIT pictureArrived(stillBuffer_, stillFrame_);
}

} // namespace palmcue::camera
