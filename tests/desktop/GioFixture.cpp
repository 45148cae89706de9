// SPDX-License-Identifier: Apache-2.0
#include "GioFixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace palmcue::test {

namespace {

void writeFile(const std::string& path, const std::string& text, bool executable = false) {
    std::ofstream(path) << text;
    if (executable)
        std::filesystem::permissions(path, std::filesystem::perms::owner_all |
                                               std::filesystem::perms::group_read |
                                               std::filesystem::perms::group_exec);
}

std::string entry(const std::string& name, const std::string& exec, const std::string& extra = {}) {
    std::string text = "[Desktop Entry]\nType=Application\n";
    if (!name.empty())
        text += "Name=" + name + "\n";
    return text + "Exec=" + exec + "\n" + extra;
}

GioFixture build() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/palmcue-gio-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");

    GioFixture f;
    f.root = pattern;
    f.systemApps = f.root + "/system/applications";
    f.userApps = f.root + "/home/applications";
    std::filesystem::create_directories(f.systemApps);
    std::filesystem::create_directories(f.userApps);
    setenv("XDG_DATA_DIRS", (f.root + "/system").c_str(), 1);
    setenv("XDG_DATA_HOME", (f.root + "/home").c_str(), 1);

    const auto writeMarker = [&f](const std::string& marker) {
        return "/bin/sh -c \"echo launched > '" + f.marker(marker) + "'\"";
    };
    writeFile(f.file("fail.sh"), "#!/bin/sh\nexit 127\n", true);
    writeFile(f.file("bad-interpreter.sh"), "#!/nonexistent/interpreter\n", true);
    writeFile(f.file("red.ppm"), std::string("P6\n2 2\n255\n") + std::string("\xff\0\0", 3) +
                                     std::string("\xff\0\0", 3) + std::string("\xff\0\0", 3) +
                                     std::string("\xff\0\0", 3));

    const std::string& s = f.systemApps;
    writeFile(s + "/palmcue-test-marker.desktop",
              entry("Marker Tool", writeMarker("system"), "Icon=" + f.file("red.ppm") + "\n"));
    writeFile(f.userApps + "/palmcue-test-marker.desktop",
              entry("Marker Tool", writeMarker("user"), "Icon=palmcue-no-such-icon\n"));
    writeFile(s + "/palmcue-test-fails.desktop", entry("Failing Tool", f.file("fail.sh")));
    writeFile(s + "/palmcue-test-bad-interpreter.desktop",
              entry("Bad Interpreter", f.file("bad-interpreter.sh")));
    writeFile(s + "/palmcue-test-noname.desktop", entry("", "/bin/true"));
    writeFile(s + "/palmcue-test-missing.desktop",
              entry("Missing Program", "/nonexistent/palmcue-no-such-program"));
    writeFile(s + "/palmcue-test-hidden.desktop", entry("Hidden", "/bin/true", "Hidden=true\n"));
    writeFile(s + "/palmcue-test-nodisplay.desktop",
              entry("No Display", "/bin/true", "NoDisplay=true\n"));
    writeFile(s + "/palmcue-test-elsewhere.desktop",
              entry("Elsewhere", "/bin/true", "OnlyShowIn=NoSuchDesktop;\n"));
    writeFile(s + "/palmcue-test-link.desktop",
              "[Desktop Entry]\nType=Link\nName=Link\nURL=file:///\n");
    writeFile(s + "/palmcue-test-broken.desktop", "this is not a desktop entry\n\x01\x02");
    return f;
}

// Removes the folders when the test binary ends.
struct Cleanup {
    ~Cleanup() {
        std::error_code ignored;
        std::filesystem::remove_all(gioFixture().root, ignored);
    }
};

} // namespace

const GioFixture& gioFixture() {
    static const GioFixture fixture = build();
    return fixture;
}

// Before main(), hence before Qt or GLib read the environment.
[[maybe_unused]] static const GioFixture& kEarly = gioFixture();
[[maybe_unused]] static Cleanup kCleanup;

} // namespace palmcue::test
