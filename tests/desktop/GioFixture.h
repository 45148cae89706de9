// SPDX-License-Identifier: Apache-2.0
// A private set of XDG data folders with test desktop entries, put in place before main()
// runs: GIO reads XDG_DATA_DIRS and XDG_DATA_HOME once per process.
#pragma once

#include <string>

namespace palmcue::test {

struct GioFixture {
    std::string root;
    std::string systemApps; // $XDG_DATA_DIRS/applications
    std::string userApps;   // $XDG_DATA_HOME/applications

    std::string marker(const std::string& name) const { return root + "/" + name + ".marker"; }
    std::string file(const std::string& name) const { return root + "/" + name; }
};

// The fixture, set up on first use (from a static initializer of this test binary).
const GioFixture& gioFixture();

} // namespace palmcue::test
