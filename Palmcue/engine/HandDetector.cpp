// SPDX-License-Identifier: Apache-2.0
#include "engine/HandDetector.h"

#include "engine/FingerClassifier.h"
#include "engine/Mailbox.h"

namespace palmcue {
namespace {

QStringList toStringList(const std::array<std::string_view, kFingerCount>& table) {
    QStringList list;
    for (const auto& text : table)
        list.append(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    return list;
}

} // namespace

HandDetector::HandDetector(DetectorServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
    mainThreadMailbox(); // created here, on the main thread, before any thread posts to it
    for (int i = 0; i < kFingerCount; ++i)
        mappings_[i] = QString::fromUtf8(kInitialMappings[i].data(),
                                         static_cast<qsizetype>(kInitialMappings[i].size()));
}

HandDetector::~HandDetector() {
    // Not stop(): nothing is published. The session must stop delivering frames before the
    // detection queue (the last member) is torn down.
    if (captureSession_) {
        captureSession_->setSampleBufferDelegate(nullptr, nullptr);
        captureSession_->stopRunning();
    }
}

QStringList HandDetector::fingerNames() const {
    return toStringList(kFingerNames);
}
QStringList HandDetector::fingerIcons() const {
    return toStringList(kFingerIcons);
}

QStringList HandDetector::fingerColorNames() const {
    QStringList names;
    for (const auto& color : kFingerColors) {
        const auto byte = [](double channel) { return qRound(channel * 255.0); };
        names.append(QStringLiteral("#%1%2%3")
                         .arg(byte(color.red), 2, 16, QLatin1Char('0'))
                         .arg(byte(color.green), 2, 16, QLatin1Char('0'))
                         .arg(byte(color.blue), 2, 16, QLatin1Char('0')));
    }
    return names;
}

QVariantList HandDetector::fingerStatesList() const {
    QVariantList list;
    for (bool raised : fingerStates_)
        list.append(raised);
    return list;
}

QList<LaunchLogEntry> HandDetector::launchLogList() const {
    return QList<LaunchLogEntry>(launchLog_.begin(), launchLog_.end());
}

QStringList HandDetector::mappingList() const {
    return QStringList(mappings_.begin(), mappings_.end());
}

void HandDetector::setMapping(int finger, const QString& appName) {
    if (finger < 0 || finger >= kFingerCount)
        return;
    mappings_[finger] = appName;
    Q_EMIT mappingsChanged();
}

void HandDetector::setHoldTime(double seconds) {
    if (!(seconds > 0.0)) // a hold time must be positive; anything else would launch at once
        return;
    holdTime_ = seconds;
    Q_EMIT holdTimeChanged();
}

void HandDetector::setCooldown(double seconds) {
    if (!(seconds >= 0.0))
        return;
    cooldown_ = seconds;
    Q_EMIT cooldownChanged();
}

template <typename T>
void HandDetector::store(T& member, T value, void (HandDetector::*changed)()) {
    Q_EMIT objectWillChange();
    member = std::move(value);
    Q_EMIT(this->*changed)();
}

void HandDetector::setFingerStates(const FingerFlags& flags) {
    store(fingerStates_, flags, &HandDetector::fingerStatesChanged);
}
void HandDetector::setDetectedFinger(std::optional<int> finger) {
    store(detectedFinger_, finger, &HandDetector::detectedFingerChanged);
}
void HandDetector::setHoldProgress(double progress) {
    store(holdProgress_, progress, &HandDetector::holdProgressChanged);
}
void HandDetector::setStatusText(const QString& text) {
    store(statusText_, text, &HandDetector::statusTextChanged);
}
void HandDetector::setIsDetecting(bool detecting) {
    store(isDetecting_, detecting, &HandDetector::isDetectingChanged);
}
void HandDetector::setCameraAuthorized(bool authorized) {
    store(cameraAuthorized_, authorized, &HandDetector::cameraAuthorizedChanged);
}
void HandDetector::setDebugInfo(const QString& text) {
    store(debugInfo_, text, &HandDetector::debugInfoChanged);
}

void HandDetector::appendLaunchLogEntry(LaunchLogEntry entry) {
    Q_EMIT objectWillChange();
    launchLog_.push_back(std::move(entry));
    Q_EMIT launchLogChanged();
    if (launchLog_.size() > 10) {
        Q_EMIT objectWillChange();
        launchLog_.erase(launchLog_.begin());
        Q_EMIT launchLogChanged();
    }
}

void HandDetector::removeLaunchLogEntry(std::uint64_t id) {
    const auto it = std::find_if(launchLog_.begin(), launchLog_.end(),
                                 [id](const LaunchLogEntry& entry) { return entry.id == id; });
    if (it == launchLog_.end())
        return; // already trimmed away
    Q_EMIT objectWillChange();
    launchLog_.erase(it);
    Q_EMIT launchLogChanged();
}

void HandDetector::setPreviewLayer(LivePreview* layer) {
    previewLayer_ = layer;
    Q_EMIT previewLayerChanged();
}

FingerReading HandDetector::classifyFingers(const HandObservation& observation) {
    return palmcue::classifyFingers(observation);
}

std::optional<int> HandDetector::getSingleRaised(const FingerReading& reading) {
    return palmcue::getSingleRaised(reading);
}

} // namespace palmcue
