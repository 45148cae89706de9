// Opens every application it is asked for.
#pragma once

#include "engine/Services.h"

namespace palmcue::test {

class FakeLauncher : public ApplicationLauncher {
public:
    Attempt open(const std::string&, std::function<void(const std::string&)>) override {
        return {Result::Opened, {}};
    }
};

} // namespace palmcue::test
