// SPDX-License-Identifier: Apache-2.0
// Where the single-instance socket and its lock live: a folder that only this user can enter,
// with a path short enough for a Unix socket address (108 bytes with the terminating zero).
#pragma once

#include <QString>

namespace palmcue::shell {

struct InstanceFolder {
    QString path; // empty when no folder could be used; `error` says why
    QString error;

    QString socketPath() const;
    QString lockPath() const;

    // XDG_RUNTIME_DIR when it is a private folder of this user and short enough. Otherwise
    // "palmcue-<uid>" in `tempDir` (in /tmp when that path would be too long), created with
    // mode 0700; an existing one that another user owns or others may enter is refused, so
    // that nobody else can plant a socket there.
    static InstanceFolder choose(const QString& runtimeDir, const QString& tempDir);
    // From XDG_RUNTIME_DIR and the temporary folder (TMPDIR, else /tmp).
    static InstanceFolder forThisSession();
};

} // namespace palmcue::shell
