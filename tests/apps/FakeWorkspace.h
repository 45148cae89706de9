// SPDX-License-Identifier: Apache-2.0
// A workspace that knows a fixed set of identifiers and records what it was asked to open.
#pragma once

#include "apps/WorkspaceService.h"

#include <map>
#include <vector>

namespace palmcue::test {

class FakeWorkspace : public apps::WorkspaceService {
public:
    std::map<std::string, std::string> identifiers;    // id -> location
    std::map<std::string, std::string> refusals;       // location -> reason
    std::vector<std::string> opened;                   // locations, in order
    std::function<void(const std::string&)> failLater; // the last open's callback

    std::optional<std::string> applicationForIdentifier(const std::string& id) override {
        if (const auto it = identifiers.find(id); it != identifiers.end())
            return it->second;
        return std::nullopt;
    }

    Result<void> open(const std::string& location,
                      std::function<void(const std::string& reason)> failedLater) override {
        if (const auto it = refusals.find(location); it != refusals.end())
            return failure(it->second);
        opened.push_back(location);
        failLater = std::move(failedLater);
        return {};
    }
};

} // namespace palmcue::test
