#include "camera/StartAttempt.h"

namespace palmcue::camera {

bool StartAttempt::answer(Outcome outcome, std::string error) {
    // Only the main thread answers, so an attempt still pending here can change only to
    // TimedOut, and a waiter that timed out never reads error_.
    if (outcome_.load(std::memory_order_acquire) != Outcome::Pending)
        return false;
    error_ = std::move(error);
    Outcome expected = Outcome::Pending;
    if (!outcome_.compare_exchange_strong(expected, outcome, std::memory_order_acq_rel))
        return false;
    answered_.release();
    return true;
}

StartAttempt::Outcome StartAttempt::wait(std::chrono::milliseconds timeout, std::string& error) {
    Outcome outcome = Outcome::Pending;
    if (answered_.try_acquire_for(timeout)) {
        outcome = outcome_.load(std::memory_order_acquire);
    } else if (outcome_.compare_exchange_strong(outcome, Outcome::TimedOut,
                                                std::memory_order_acq_rel)) {
        return Outcome::TimedOut;
    }
    // Answered, possibly just as the time ran out: `outcome` holds the answer either way.
    if (outcome == Outcome::Failed)
        error = error_;
    return outcome;
}

} // namespace palmcue::camera
