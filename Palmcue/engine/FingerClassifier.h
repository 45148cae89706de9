// SPDX-License-Identifier: Apache-2.0
// Turns one detected hand into a reading of its five fingers and picks out a finger raised
// alone. Pure functions: no state, no history between frames.
#pragma once

#include "engine/FingerTable.h"
#include "engine/Services.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace palmcue {

// A joint counts only when its confidence is strictly above this (single precision).
inline constexpr float kJointConfidenceThreshold = 0.2f;

// Unknown: the finger could not be judged (joints too far outside the picture, or not found).
// Raised: extended and pointing up. Extended: extended but pointing elsewhere; not raised, yet
// like an unknown finger it rules out a single raised finger, for the hand is not showing one
// finger alone.
enum class FingerState : std::uint8_t { Unknown, Folded, Raised, Extended };

// Why a finger that was judged did not count as raised, for people checking their pose.
enum class NotRaised : std::uint8_t {
    No,           // raised, or not judged
    Bent,         // curled or half bent
    TowardCamera, // straight but foreshortened: it points at the camera
    Touching,     // a straight thumb resting against the fingers
    Sideways,     // extended, pointing sideways
    Down,         // extended, its tip below its knuckle
};

// "bent", "pointing at the camera", "against the fingers", "pointing sideways",
// "pointing down"; empty for No.
std::string_view notRaisedText(NotRaised reason);

// The state of each finger, in finger-index order.
struct FingerReading {
    std::array<FingerState, kFingerCount> states{}; // all Unknown until judged
    std::array<NotRaised, kFingerCount> why{};

    // Raised or not, as published: an unknown or extended finger shows as not raised.
    FingerFlags flags() const;
    bool anyUnknown() const;
};

FingerReading classifyFingers(const HandObservation& observation);

// The index of the only raised finger; none for zero or several raised, and none whenever a
// finger is unknown or extended: it might be raised too, or the hand shows more than one finger,
// and a wrong single finger opens an application nobody asked for, while a missed one only costs
// another try.
std::optional<int> getSingleRaised(const FingerReading& reading);

} // namespace palmcue
