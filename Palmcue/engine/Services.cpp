// SPDX-License-Identifier: Apache-2.0
#include "engine/Services.h"

namespace palmcue {

const char* jointNameText(JointName joint) {
    static constexpr const char* kNames[kJointCount] = {
        "wrist",    "thumbCMC", "thumbMP",   "thumbIP",   "thumbTip",  "indexMCP",  "indexPIP",
        "indexDIP", "indexTip", "middleMCP", "middlePIP", "middleDIP", "middleTip", "ringMCP",
        "ringPIP",  "ringDIP",  "ringTip",   "littleMCP", "littlePIP", "littleDIP", "littleTip"};
    const int index = static_cast<int>(joint);
    return index >= 0 && index < kJointCount ? kNames[index] : "unknown";
}

} // namespace palmcue
