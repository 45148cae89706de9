// SPDX-License-Identifier: Apache-2.0
// Hold-to-launch: a finger raised alone for holdTime opens its application.
#include "engine/HandDetector.h"

#include <algorithm>

namespace palmcue {

void HandDetector::updateHold(std::optional<int> finger) {
    if (!finger) {
        resetHold();
        return;
    }
    const TimePoint now = services_.clock->now();
    auto& start = holdStart_.at(*finger);
    if (!start)
        start = now; // another finger's hold start stays until a reset
    const double elapsed = std::chrono::duration<double>(now - *start).count();
    setHoldProgress(std::min(elapsed / holdTime_, 1.0));
    if (elapsed >= holdTime_) {
        launchApp(*finger);
        resetHold();
    }
}

void HandDetector::resetHold() {
    holdStart_.fill(std::nullopt);
    setHoldProgress(0.0);
}

} // namespace palmcue
