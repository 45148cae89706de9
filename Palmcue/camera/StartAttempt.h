// SPDX-License-Identifier: Apache-2.0
// One blocking start of a capture session: a worker thread waits while the main thread finds
// out how the start went. The answer travels through an atomic and a semaphore, so the waiting
// thread sleeps until it is answered (or its time is up) without polling and without a lock.
#pragma once

#include "engine/Result.h"

#include <atomic>
#include <chrono>
#include <semaphore>
#include <string>

namespace palmcue::camera {

class StartAttempt {
public:
    // Main thread only: the camera runs, or why it cannot. The first answer counts; false when
    // the attempt was already answered or its waiter has given up.
    bool answer(Result<void> started);

    // Why a start gave no running camera: the reason it failed, or no answer in time.
    enum class Fault { Failed, TimedOut };

    // The waiting thread. Blocks until answered or until `timeout` has passed, in which case the
    // attempt is TimedOut.
    Result<void, Fault> wait(std::chrono::milliseconds timeout);

private:
    enum class Outcome { Pending, Running, Failed, TimedOut };

    std::atomic<Outcome> outcome_{Outcome::Pending};
    std::string error_; // written before a Failed outcome is published, read after it is seen
    std::binary_semaphore answered_{0};
};

} // namespace palmcue::camera
