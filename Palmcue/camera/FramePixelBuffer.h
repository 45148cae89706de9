// SPDX-License-Identifier: Apache-2.0
// The picture of one camera or video frame as it travels to the detection thread. It holds the
// QVideoFrame itself, which shares the camera's buffer rather than copying it, so a frame that
// is never analysed costs nothing beyond what the preview needs; an analysed one is mapped and
// converted to BGRA once, on the detection thread.
#pragma once

#include "engine/Services.h"

#include <QVideoFrame>
#include <memory>
#include <string>

namespace palmcue::camera {

class FramePixelBuffer : public PixelBuffer {
public:
    // Never fails: a frame that cannot be used gives a buffer whose bgra() reports why. Formats
    // without a direct conversion are converted by Qt here, on the thread that received the
    // frame, because Qt's conversion may need that thread's graphics context.
    static std::shared_ptr<const PixelBuffer> capture(const QVideoFrame& frame);

    Result<ImageView> bgra(std::vector<std::uint8_t>& scratch) const override;

private:
    explicit FramePixelBuffer(QVideoFrame frame) : frame_(std::move(frame)) {}
    explicit FramePixelBuffer(std::string error) : error_(std::move(error)) {}

    QVideoFrame frame_;
    std::string error_; // the frame could not be captured
};

} // namespace palmcue::camera
