// SPDX-License-Identifier: Apache-2.0
// Reading the files that desktop entries point at, which may be anything: opening a FIFO
// blocks until someone writes to it, opening a device may act on the device, and a huge file
// eats memory. Only regular files are read, and only up to a size limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace palmcue::apps {

// What tells one version of a file from another without reading it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0; // nanoseconds
    std::int64_t changed = 0;  // nanoseconds (status change: also catches same-size rewrites)

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the regular file at `path` (symbolic links followed), found without
// opening it; nothing for anything else (missing, a folder, FIFO, socket or device).
std::optional<FileIdentity> regularFileIdentity(const std::string& path);

// The contents of the regular file at `path` when it holds at most `maxBytes`; nothing
// otherwise. Anything but a regular file is never opened; the open does not block even if
// the file was swapped for a FIFO after the check. `identity`, when given, receives the
// identity of the version read.
std::optional<std::string> readRegularFile(const std::string& path, std::size_t maxBytes,
                                           FileIdentity* identity = nullptr);

} // namespace palmcue::apps
