// SPDX-License-Identifier: Apache-2.0
#include "apps/AppLauncher.h"

namespace palmcue::apps {

AppLauncher::AppLauncher(WorkspaceService& workspace, Catalogue catalogue)
    : workspace_(workspace), catalogue_(std::move(catalogue)) {}

Result<void, ApplicationLauncher::Fault>
AppLauncher::open(const std::string& appName,
                  std::function<void(const std::string& reason)> failedLater) {
    if (std::optional<std::string> location = workspace_.applicationForIdentifier(appName))
        return openAt(*location, std::move(failedLater));

    // Scanned afresh on every launch: an application installed or removed since the picker
    // last listed them is seen as it is now. The desktop catalogue reads only new or changed
    // entries, so a walk costs a stat per entry.
    const QString wanted = QString::fromStdString(appName).normalized(QString::NormalizationForm_C);
    for (const AppInfo& app : catalogue_()) {
        if (app.name.normalized(QString::NormalizationForm_C) == wanted)
            return openAt(app.location(), std::move(failedLater));
    }
    return failure(Fault::NotFound, appName + " is not installed");
}

Result<void, ApplicationLauncher::Fault>
AppLauncher::openAt(const std::string& location,
                    std::function<void(const std::string& reason)> failedLater) {
    Result<void> opened = workspace_.open(location, std::move(failedLater));
    if (!opened)
        return failure(Fault::Failed, opened.error());
    return {};
}

} // namespace palmcue::apps
