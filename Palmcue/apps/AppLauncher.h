// SPDX-License-Identifier: Apache-2.0
// Opens the application a finger is mapped to: the mapping text is tried first as an
// application identifier, then as a display name in a fresh catalogue.
#pragma once

#include "apps/AppInfo.h"
#include "apps/WorkspaceService.h"
#include "engine/Services.h"

#include <functional>
#include <vector>

namespace palmcue::apps {

class AppLauncher : public ApplicationLauncher {
public:
    using Catalogue = std::function<std::vector<AppInfo>()>;

    // Both must outlive the launcher.
    AppLauncher(WorkspaceService& workspace, Catalogue catalogue);

    Result<void, Fault> open(const std::string& appName,
                             std::function<void(const std::string& reason)> failedLater) override;

private:
    Result<void, Fault> openAt(const std::string& location,
                               std::function<void(const std::string& reason)> failedLater);

    WorkspaceService& workspace_;
    Catalogue catalogue_;
};

} // namespace palmcue::apps
