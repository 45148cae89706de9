// SPDX-License-Identifier: Apache-2.0
// Starting a capture session as the engine does: the blocking start on Qt's global pool.
#pragma once

#include "engine/Mailbox.h"
#include "engine/Services.h"
#include "support/SharedData.h"

#include <atomic>
#include <string>

namespace palmcue::camera::test {

// Runs startRunning() on a pool thread and processes events until it answers (a start always
// answers within its own deadline). Returns what it returned; `error` gets its reason. Through
// runInBackground(), whose hand-over ThreadSanitizer sees.
inline bool startOnPool(CaptureSession& session, std::string& error) {
    std::atomic<int> result{-1};
    runInBackground([&] {
        const Result<void> started = session.startRunning();
        error = started.error();
        result = started ? 1 : 0;
    });
    palmcue::test::waitUntil([&] { return result.load() >= 0; }, 60000);
    return result.load() == 1;
}

} // namespace palmcue::camera::test
