// SPDX-License-Identifier: Apache-2.0
// Finding and opening desktop entries through GIO.
#pragma once

#include "apps/WorkspaceService.h"

#include <chrono>

namespace palmcue::desktop {

class GioWorkspace : public apps::WorkspaceService {
public:
    // A launched program that exits unsuccessfully within `earlyExitWindow` counts as one
    // that failed to start; a later exit is an ordinary end of the program.
    explicit GioWorkspace(std::chrono::milliseconds earlyExitWindow = std::chrono::seconds(2));

    // `id` is a desktop-file id ("org.gnome.Calculator.desktop"); ".desktop" may be left off.
    std::optional<std::string> applicationForIdentifier(const std::string& id) override;

    // `location` is a .desktop file path, or a desktop-file id when it is not absolute.
    // `failedLater` runs from GLib's default main context, which Qt's event loop runs on the
    // main thread; it may run after this workspace is gone.
    Result<void> open(const std::string& location,
                      std::function<void(const std::string& reason)> failedLater) override;

private:
    std::chrono::milliseconds earlyExitWindow_;
};

} // namespace palmcue::desktop
