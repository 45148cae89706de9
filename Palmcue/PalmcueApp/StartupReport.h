// SPDX-License-Identifier: Apache-2.0
// The time from the start of the process to the first frame of the main window on screen, and
// how the hand models loaded. Printed only when PALMCUE_REPORT_STARTUP=1, so that the program
// stays silent otherwise.
#pragma once

#include "engine/Result.h"

#include <optional>
#include <string>

class QQuickWindow;
class QString;

namespace palmcue::shell {

class StartupReport {
public:
    // Watches `window` for its first swapped frame when reporting is switched on.
    static void watch(QQuickWindow* window);

    // The models' load time and folder, or why they did not load. Any thread.
    static void modelsLoaded(double milliseconds, const std::string& modelDir,
                             const Result<void>& loaded);

    // Which scene graph draws the window, and why.
    static void sceneGraphChosen(const QString& description);

    // Milliseconds since the kernel started this process (so dynamic loading counts too),
    // or nothing when /proc cannot tell.
    static std::optional<double> millisecondsSinceProcessStart();
};

} // namespace palmcue::shell
