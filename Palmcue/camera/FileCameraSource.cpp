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

constexpr std::chrono::seconds kStartTimeout{10};

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
    : FrameSource(kStartTimeout), path_(std::move(path)),
      stillBuffer_(std::make_shared<ImagePixelBuffer>(still)),
      stillFrame_(videoFrameOf(stillBuffer_->image())), stillTimer_(new QTimer(this)) {
    stillTimer_->setTimerType(Qt::PreciseTimer);
    stillTimer_->setInterval(1000 / kFramesPerSecond);
    connect(stillTimer_, &QTimer::timeout, this, &FileCameraSource::showStill);
}

FileCameraSource::FileCameraSource(QString path)
    : FrameSource(kStartTimeout), path_(std::move(path)), player_(new QMediaPlayer(this)),
      sink_(new QVideoSink(this)) {
    player_->setVideoSink(sink_);
    player_->setLoops(QMediaPlayer::Infinite);
    connect(sink_, &QVideoSink::videoFrameChanged, this, &FileCameraSource::onVideoFrame);
    connect(player_, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString& text) {
                reportFailure(
                    "cannot open " + path_.toStdString() + ": " +
                    (text.isEmpty() ? std::string("playback failed") : text.toStdString()));
            });
    connect(player_, &QMediaPlayer::mediaStatusChanged, this,
            [this](QMediaPlayer::MediaStatus status) {
                if (status == QMediaPlayer::InvalidMedia)
                    reportFailure("cannot open " + path_.toStdString() +
                                  ": not a playable video or image");
            });
}

FileCameraSource::~FileCameraSource() {
    stopRunning();
    if (player_) {
        disconnect(player_, nullptr, this, nullptr);
        disconnect(sink_, nullptr, this, nullptr);
        delete player_;
    }
}

void FileCameraSource::beginRun() {
    if (!checkFilePresent())
        return;
    if (stillTimer_) {
        stillTimer_->start();
        markActive();
        return;
    }
    player_->setSource(QUrl::fromLocalFile(path_));
    player_->play(); // active with the first frame: that proves the file decodes
}

void FileCameraSource::endRun() {
    if (stillTimer_)
        stillTimer_->stop();
    if (player_)
        player_->stop();
}

bool FileCameraSource::checkFilePresent() {
    // A played file stays readable after it is deleted; a camera that is gone should not.
    if (QFileInfo::exists(path_))
        return true;
    reportFailure("cannot open " + path_.toStdString() + ": the file was removed");
    return false;
}

void FileCameraSource::onVideoFrame(const QVideoFrame& frame) {
    if (!frame.isValid() || !checkFilePresent())
        return;
    markActive();
    deliverFrame(frame);
}

void FileCameraSource::showStill() {
    if (checkFilePresent())
        deliverBuffer(stillBuffer_, stillFrame_);
}

} // namespace palmcue::camera
