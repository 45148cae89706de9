// SPDX-License-Identifier: Apache-2.0
// The one model object: observable detection state, settings, finger tables, the camera
// session handles and the hold-to-launch bookkeeping.
//
// Change rule: every store of an observable property first emits objectWillChange() (equal
// value or not), then stores, then emits the property's own change signal for Qt Quick
// bindings. The settings (mappings, holdTime, cooldown) never emit objectWillChange; they
// carry a plain Qt signal only so that bindings re-read them.
#pragma once

#include "engine/FingerClassifier.h"
#include "engine/FingerTable.h"
#include "engine/LaunchLogEntry.h"
#include "engine/LivePreview.h"
#include "engine/SerialQueue.h"
#include "engine/Services.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantList>
#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace palmcue {

// The services a detector works with. The detector does not own the camera, launcher and
// clock; they must outlive it. The hand-pose service is shared with the detection thread.
struct DetectorServices {
    std::shared_ptr<HandPoseService> handPose;
    CameraService* camera = nullptr;
    ApplicationLauncher* launcher = nullptr;
    const Clock* clock = nullptr;
};

class HandDetector : public QObject, public SampleBufferDelegate {
    Q_OBJECT
    Q_PROPERTY(QVariantList fingerStates READ fingerStatesList NOTIFY fingerStatesChanged)
    Q_PROPERTY(int detectedFinger READ detectedFingerIndex NOTIFY detectedFingerChanged)
    Q_PROPERTY(double holdProgress READ holdProgress NOTIFY holdProgressChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusTextChanged)
    Q_PROPERTY(bool isDetecting READ isDetecting NOTIFY isDetectingChanged)
    Q_PROPERTY(QList<palmcue::LaunchLogEntry> launchLog READ launchLogList NOTIFY launchLogChanged)
    Q_PROPERTY(bool cameraAuthorized READ cameraAuthorized NOTIFY cameraAuthorizedChanged)
    Q_PROPERTY(QString debugInfo READ debugInfo NOTIFY debugInfoChanged)
    Q_PROPERTY(QStringList fingerNames READ fingerNames CONSTANT)
    Q_PROPERTY(QStringList fingerIcons READ fingerIcons CONSTANT)
    Q_PROPERTY(QStringList fingerColors READ fingerColorNames CONSTANT)
    Q_PROPERTY(QStringList mappings READ mappingList NOTIFY mappingsChanged)
    Q_PROPERTY(double holdTime READ holdTime WRITE setHoldTime NOTIFY holdTimeChanged)
    Q_PROPERTY(double cooldown READ cooldown WRITE setCooldown NOTIFY cooldownChanged)
    Q_PROPERTY(palmcue::LivePreview* previewLayer READ previewLayer NOTIFY previewLayerChanged)

public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit HandDetector(DetectorServices services, QObject* parent = nullptr);
    ~HandDetector() override;

    // Observable properties.
    const FingerFlags& fingerStates() const { return fingerStates_; }
    std::optional<int> detectedFinger() const { return detectedFinger_; }
    double holdProgress() const { return holdProgress_; }
    QString statusText() const { return statusText_; }
    bool isDetecting() const { return isDetecting_; }
    const std::vector<LaunchLogEntry>& launchLog() const { return launchLog_; }
    bool cameraAuthorized() const { return cameraAuthorized_; }
    QString debugInfo() const { return debugInfo_; }

    // Constant tables.
    QStringList fingerNames() const;
    QStringList fingerIcons() const;
    QStringList fingerColorNames() const; // "#rrggbb"

    // Settings: plain values, no objectWillChange.
    QString mapping(int finger) const { return mappings_.at(finger); }
    Q_INVOKABLE void setMapping(int finger, const QString& appName);
    double holdTime() const { return holdTime_; }
    void setHoldTime(double seconds);
    double cooldown() const { return cooldown_; }
    void setCooldown(double seconds);

    // Camera handles: set by start(), cleared by stop().
    CaptureSession* captureSession() const { return captureSession_.get(); }
    LivePreview* previewLayer() const { return previewLayer_; }

    // Internal state, readable for tests and the debug line.
    std::int64_t frameCount() const { return frameCount_.load(std::memory_order_relaxed); }
    std::optional<TimePoint> lastLaunch(int finger) const { return lastLaunch_.at(finger); }
    std::optional<TimePoint> holdStart(int finger) const { return holdStart_.at(finger); }
    SerialQueue& detectQueue() { return detectQueue_; }

    // Camera session operations. Main thread.
    Q_INVOKABLE void checkPermission();
    Q_INVOKABLE void requestPermission();
    Q_INVOKABLE void start();
    Q_INVOKABLE void stop();

    // Frame callback of the capture session; runs on detectQueue.
    void captureOutput(const SampleBuffer& sampleBuffer) override;

    // The classifier, as the frame analysis uses it.
    static FingerReading classifyFingers(const HandObservation& observation);
    static std::optional<int> getSingleRaised(const FingerReading& reading);

    // Hold-to-launch steps and the launcher. Main thread; public so that tests can drive them.
    void updateHold(std::optional<int> finger);
    void resetHold();
    void launchApp(int finger);

Q_SIGNALS:
    void objectWillChange();
    void fingerStatesChanged();
    void detectedFingerChanged();
    void holdProgressChanged();
    void statusTextChanged();
    void isDetectingChanged();
    void launchLogChanged();
    void cameraAuthorizedChanged();
    void debugInfoChanged();
    void mappingsChanged();
    void holdTimeChanged();
    void cooldownChanged();
    void previewLayerChanged();

private:
    // QML-facing forms of the observable values.
    QVariantList fingerStatesList() const;
    int detectedFingerIndex() const { return detectedFinger_.value_or(-1); }
    QList<LaunchLogEntry> launchLogList() const;
    QStringList mappingList() const;

    // Stores of observable properties, each announcing the change first.
    template <typename T> void store(T& member, T value, void (HandDetector::*changed)());
    void setFingerStates(const FingerFlags& flags);
    void setDetectedFinger(std::optional<int> finger);
    void setHoldProgress(double progress);
    void setStatusText(const QString& text);
    void setIsDetecting(bool detecting);
    void setCameraAuthorized(bool authorized);
    void setDebugInfo(const QString& text);
    void appendLaunchLogEntry(LaunchLogEntry entry);
    void removeLaunchLogEntry(std::uint64_t id);

    void setPreviewLayer(LivePreview* layer);
    void clearDetectionState();
    void sessionStarted(std::uint64_t generation, const Result<void>& started);
    void sessionFailed(std::uint64_t generation, const std::string& reason);
    void sessionInterrupted(std::uint64_t generation, const std::optional<std::string>& reason);
    QString sessionRunningInfo() const;

    // Frame analysis (detectQueue) and the updates it queues to the main thread.
    void analyzeFrame(const SampleBuffer& sampleBuffer);
    void postToMain(std::uint64_t epoch, std::function<void()> update);
    void handUpdate(const FingerFlags& flags, std::optional<int> single, int raisedCount,
                    float confidence);
    void noHandUpdate();
    // While the camera runs, the status says whether hands can be detected at all: after a
    // frame that could not be analysed (models missing, unreadable frame) it stops inviting
    // the user to show a hand, and says so again once a frame is analysed.
    void setDetectionWorks(bool works);
    static QString cameraActiveStatus();

    DetectorServices services_;
    QPointer<HandDetector> self_{this}; // for tasks that may outlive the detector

    FingerFlags fingerStates_{};
    std::optional<int> detectedFinger_;
    double holdProgress_ = 0.0;
    QString statusText_ = QStringLiteral("Ready");
    bool isDetecting_ = false;
    std::vector<LaunchLogEntry> launchLog_;
    bool cameraAuthorized_ = false;
    QString debugInfo_;
    std::array<QString, kFingerCount> mappings_;
    double holdTime_ = 1.0;
    double cooldown_ = 5.0;
    std::shared_ptr<CaptureSession> captureSession_;
    QPointer<LivePreview> previewLayer_;
    std::array<std::optional<TimePoint>, kFingerCount> lastLaunch_{};
    std::array<std::optional<TimePoint>, kFingerCount> holdStart_{};
    std::atomic<std::int64_t> frameCount_{0};

    // Each start() gets a generation; a stop() or a newer start() makes the older one's
    // queued "running" step and failure reports stale.
    std::uint64_t sessionGeneration_ = 0;
    // Bumped by stop(): analysis results of frames taken before it are dropped, so that a
    // frame still in flight cannot publish a finger or launch after Stop.
    std::atomic<std::uint64_t> detectionEpoch_{0};
    std::uint64_t nextLogId_ = 1;
    std::vector<std::uint8_t> frameScratch_; // detectQueue only: reused BGRA conversion buffer
    // detectQueue only: the epoch whose frames the hand-pose service last saw. A hand followed
    // before a Stop or a camera pause is not looked for where it was.
    std::uint64_t handPoseEpoch_ = ~std::uint64_t(0);

    // Declared last: destroyed first, so that no frame is analysed once members are gone.
    SerialQueue detectQueue_{QStringLiteral("hand.detect")};
};

} // namespace palmcue
