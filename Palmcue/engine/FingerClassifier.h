// Turns one detected hand into five raised/folded flags and picks out a finger raised alone.
// Pure functions: no state, no history between frames.
#pragma once

#include "engine/FingerTable.h"
#include "engine/Services.h"

#include <optional>

namespace palmcue {

// A joint counts only when its confidence is strictly above this (single precision).
inline constexpr float kJointConfidenceThreshold = 0.2f;

FingerFlags classifyFingers(const HandObservation& observation);

// The index of the only raised finger; none for zero or several.
std::optional<int> getSingleRaised(const FingerFlags& flags);

} // namespace palmcue
