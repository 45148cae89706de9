// SPDX-License-Identifier: Apache-2.0
// Turns one detected hand into a reading of its five fingers and picks out a finger raised
// alone. Pure functions: no state, no history between frames.
#pragma once

#include "engine/FingerTable.h"
#include "engine/Services.h"

#include <array>
#include <cstdint>
#include <optional>

namespace palmcue {

// A joint counts only when its confidence is strictly above this (single precision).
inline constexpr float kJointConfidenceThreshold = 0.2f;

// Unknown: the finger could not be judged (joints too far outside the picture, or not found).
enum class FingerState : std::uint8_t { Unknown, Folded, Raised };

// The state of each finger, in finger-index order.
struct FingerReading {
    std::array<FingerState, kFingerCount> states{}; // all Unknown until judged

    // Raised or not, as published: an unknown finger shows as not raised.
    FingerFlags flags() const;
    bool anyUnknown() const;
};

FingerReading classifyFingers(const HandObservation& observation);

// The index of the only raised finger; none for zero or several raised, and none whenever a
// finger is unknown: it might be raised too, and a wrong single finger opens an application
// nobody asked for, while a missed one only costs another try.
std::optional<int> getSingleRaised(const FingerReading& reading);

} // namespace palmcue
