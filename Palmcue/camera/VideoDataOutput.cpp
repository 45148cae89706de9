// SPDX-License-Identifier: Apache-2.0
#include "camera/VideoDataOutput.h"

#include "engine/SerialQueue.h"

namespace palmcue::camera {

void VideoDataOutput::setSampleBufferDelegate(SampleBufferDelegate* delegate, SerialQueue* queue) {
    // Every change of delegate, not only a detach, retires the frames already posted.
    generation_ = shared_->generation.fetch_add(1, std::memory_order_acq_rel) + 1;
    delegate_ = delegate;
    queue_ = queue;
}

bool VideoDataOutput::deliver(SampleBuffer sample) {
    if (!hasDelegate())
        return false;
    return queue_->postFrame([shared = shared_, generation = generation_, delegate = delegate_,
                              sample = std::move(sample)] {
        if (shared->generation.load(std::memory_order_acquire) == generation)
            delegate->captureOutput(sample);
    });
}

} // namespace palmcue::camera
