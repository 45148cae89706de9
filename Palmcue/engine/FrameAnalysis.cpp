// SPDX-License-Identifier: Apache-2.0
// Frame analysis: on the detection queue, every third frame with a picture goes through
// hand-pose detection and the classifier; the results are published on the main thread.
#include "engine/FrameVerdict.h"
#include "engine/HandDetector.h"
#include "engine/Mailbox.h"

namespace palmcue {

void HandDetector::captureOutput(const SampleBuffer& sampleBuffer) {
    analyzeFrame(sampleBuffer);
}

void HandDetector::analyzeFrame(const SampleBuffer& sampleBuffer) {
    if (!sampleBuffer.imageBuffer)
        return;
    const std::int64_t count = frameCount_.fetch_add(1, std::memory_order_relaxed) + 1;
    if (count % 3 != 0)
        return;
    const std::uint64_t epoch = detectionEpoch_.load(std::memory_order_acquire);

    if (epoch != handPoseEpoch_) {
        services_.handPose->reset();
        handPoseEpoch_ = epoch;
    }
    Result<ImageView> image = sampleBuffer.imageBuffer->bgra(frameScratch_);
    if (!image)
        services_.handPose->reset();
    const FrameVerdictResult verdict =
        image ? judgeFrame(*services_.handPose, *image)
              : FrameVerdictResult(failure(HandPoseFault::PerformFailed, image.error()));
    if (!verdict) {
        const QString text = QString::fromStdString(verdict.error());
        switch (verdict.fault()) {
        case HandPoseFault::PerformFailed:
            postToMain(epoch, [this, text] {
                setDebugInfo(QStringLiteral("Handler error: ") + text);
                setDetectionWorks(false);
            });
            break;
        case HandPoseFault::RequestFailed:
            postToMain(epoch,
                       [this, text] { setDebugInfo(QStringLiteral("Vision error: ") + text); });
            break;
        }
        return;
    }
    if (!verdict->hand) {
        postToMain(epoch, [this] { noHandUpdate(); });
        return;
    }
    postToMain(epoch, [this, flags = verdict->flags, single = verdict->single,
                       raisedCount = verdict->raisedCount, confidence = verdict->hand->confidence] {
        handUpdate(flags, single, raisedCount, confidence);
    });
}

void HandDetector::postToMain(std::uint64_t epoch, std::function<void()> update) {
    // If the detector is destroyed first, the update is dropped.
    mainThreadMailbox().post([self = self_, epoch, update = std::move(update)] {
        if (self && epoch == self->detectionEpoch_.load(std::memory_order_acquire))
            update();
    });
}

QString HandDetector::cameraActiveStatus() {
    return QStringLiteral("Camera active - show your hand");
}

void HandDetector::setDetectionWorks(bool works) {
    static const QString failing = QStringLiteral("Camera active - hand detection unavailable");
    if (statusText_ == (works ? failing : cameraActiveStatus()))
        setStatusText(works ? cameraActiveStatus() : failing);
}

void HandDetector::handUpdate(const FingerFlags& flags, std::optional<int> single, int raisedCount,
                              float confidence) {
    QStringList names;
    for (int i = 0; i < kFingerCount; ++i) {
        if (flags[i])
            names.append(QLatin1String(kFingerNames[i].data(), kFingerNames[i].size()));
    }
    setDetectionWorks(true);
    setFingerStates(flags);
    setDetectedFinger(single);
    setDebugInfo(QStringLiteral("Hand found! Raised[%1]: %2 | conf=%3")
                     .arg(raisedCount)
                     .arg(names.join(QLatin1Char(',')))
                     .arg(static_cast<double>(confidence), 0, 'f', 2));
    updateHold(single);
}

void HandDetector::noHandUpdate() {
    setDetectionWorks(true);
    setFingerStates({});
    setDetectedFinger(std::nullopt);
    resetHold();
    setDebugInfo(QStringLiteral("No hand detected (frame %1)").arg(frameCount()));
}

} // namespace palmcue
