// SPDX-License-Identifier: Apache-2.0
// The desktop's view of applications: finding one by its identifier and opening one. The
// GIO implementation lives in desktop/; tests use fakes.
#pragma once

#include "engine/Result.h"

#include <functional>
#include <optional>
#include <string>

namespace palmcue::apps {

class WorkspaceService {
public:
    virtual ~WorkspaceService() = default;

    // The location (the .desktop file path) of the application with this identifier (a
    // desktop-file id, with or without ".desktop"), or nothing.
    virtual std::optional<std::string> applicationForIdentifier(const std::string& id) = 0;

    // Opens the application at `location`. A refusal known at once fails with its reason; a
    // program that fails to start afterwards is reported through `failedLater`, on the main
    // thread.
    virtual Result<void> open(const std::string& location,
                              std::function<void(const std::string& reason)> failedLater) = 0;
};

} // namespace palmcue::apps
