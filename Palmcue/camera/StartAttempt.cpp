// SPDX-License-Identifier: Apache-2.0
#include "camera/StartAttempt.h"

namespace palmcue::camera {

bool StartAttempt::answer(Result<void> started) {
    // Only the main thread answers, so an attempt still pending here can change only to
    // TimedOut, and a waiter that timed out never reads error_.
    if (outcome_.load(std::memory_order_acquire) != Outcome::Pending)
        return false;
    error_ = started.error();
    Outcome expected = Outcome::Pending;
    if (!outcome_.compare_exchange_strong(expected, started ? Outcome::Running : Outcome::Failed,
                                          std::memory_order_acq_rel))
        return false;
    answered_.release();
    return true;
}

Result<void, StartAttempt::Fault> StartAttempt::wait(std::chrono::milliseconds timeout) {
    Outcome outcome = Outcome::Pending;
    if (answered_.try_acquire_for(timeout)) {
        outcome = outcome_.load(std::memory_order_acquire);
    } else if (outcome_.compare_exchange_strong(outcome, Outcome::TimedOut,
                                                std::memory_order_acq_rel)) {
        return failure(Fault::TimedOut, {});
    }
    // Answered, possibly just as the time ran out: `outcome` holds the answer either way.
    if (outcome == Outcome::Failed)
        return failure(Fault::Failed, error_);
    return {};
}

} // namespace palmcue::camera
