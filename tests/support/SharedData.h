// SPDX-License-Identifier: Apache-2.0
// Access to the labelled hand photos beside the repository. Tests that need them skip when
// the folder is absent.
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace palmcue::test {

// The hands folder, or nothing when it is not there.
std::optional<QString> sharedHandsDir();

struct LabelledPhoto {
    QString file;   // full path
    QString raised; // e.g. "Index,Middle" or "none"
    QString expect; // finger name, "-" or "?"
    QString note;
};
std::vector<LabelledPhoto> labelledPhotos();

// Processes pending events until `done` holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

} // namespace palmcue::test

#define PALMCUE_SKIP_WITHOUT_SHARED_HANDS()                                                        \
    if (!palmcue::test::sharedHandsDir())                                                          \
    GTEST_SKIP() << "../shared/hands is not present"
