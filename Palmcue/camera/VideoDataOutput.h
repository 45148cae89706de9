// SPDX-License-Identifier: Apache-2.0
// The frame output of a capture session: hands each frame to the sample-buffer delegate on
// the delegate's queue.
//
// Detaching must stop deliveries at once, although frames may already be waiting on the
// queue: every posted task carries the generation it was posted under and calls the delegate
// only if that generation is still current when it runs. The delegate object itself stays
// valid until its queue is torn down (the engine joins the queue before the delegate goes),
// which covers a task that passed the check just before the detach.
#pragma once

#include "engine/Services.h"

#include <atomic>
#include <memory>

namespace palmcue::camera {

class VideoDataOutput {
public:
    // Main thread. (nullptr, nullptr) detaches.
    void setSampleBufferDelegate(SampleBufferDelegate* delegate, SerialQueue* queue);

    // Main thread. Posts `sample` to the delegate's queue; false when there is no delegate or
    // the queue dropped the frame because one is already waiting.
    bool deliver(SampleBuffer sample);

    bool hasDelegate() const { return delegate_ && queue_; }

private:
    struct Shared {
        std::atomic<std::uint64_t> generation{0};
    };

    // Shared with the posted tasks, so that it outlives a session destroyed before they run.
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::uint64_t generation_ = 0;
    SampleBufferDelegate* delegate_ = nullptr;
    SerialQueue* queue_ = nullptr;
};

} // namespace palmcue::camera
