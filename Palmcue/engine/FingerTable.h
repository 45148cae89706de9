// SPDX-License-Identifier: Apache-2.0
// The fixed per-finger tables. Finger index 0..4: Thumb, Index, Middle, Ring, Pinky.
#pragma once

#include <array>
#include <string_view>

namespace palmcue {

inline constexpr int kFingerCount = 5;

using FingerFlags = std::array<bool, kFingerCount>;

struct FingerColor {
    double red, green, blue; // sRGB, opacity 1
};

inline constexpr std::array<std::string_view, kFingerCount> kFingerNames = {
    "Thumb", "Index", "Middle", "Ring", "Pinky"};

// UTF-8: U+1F44D, U+261D U+FE0F, U+1F595, U+1F48D, U+1F919.
inline constexpr std::array<std::string_view, kFingerCount> kFingerIcons = {
    "\xF0\x9F\x91\x8D", "\xE2\x98\x9D\xEF\xB8\x8F", "\xF0\x9F\x96\x95", "\xF0\x9F\x92\x8D",
    "\xF0\x9F\xA4\x99"};

inline constexpr std::array<FingerColor, kFingerCount> kFingerColors = {{
    {0.545, 0.361, 0.965},
    {0.231, 0.51, 0.965},
    {0.063, 0.725, 0.506},
    {0.961, 0.62, 0.043},
    {0.925, 0.282, 0.6},
}};

inline constexpr std::array<std::string_view, kFingerCount> kInitialMappings = {
    "Safari", "Messages", "Mail", "Music", "Notes"};

} // namespace palmcue
