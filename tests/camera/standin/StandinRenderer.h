// SPDX-License-Identifier: Apache-2.0
// Renders the stand-in camera's picture into the frames of one negotiated format: a small
// internal pipeline decodes the picture file, scales it into the frame with black borders,
// converts it, and encodes it for MJPEG as a webcam does (4:2:2). A still picture is rendered
// once and then repeated, so that a running camera costs its reader no more than a real one.
#pragma once

#include <atomic>
#include <gst/gst.h>
#include <string>

namespace palmcue::standin {

class Renderer {
public:
    Renderer() = default;
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;
    ~Renderer() { reset(); }

    // Starts decoding `picture` (empty: colour bars) into frames of `caps`, the picture taking
    // `scale` (0..1] of the frame's height or width, centred: smaller is a hand further away.
    bool open(const std::string& picture, GstCaps* caps, double scale, std::string& error);

    // The next frame, a new buffer the caller owns; blocks while the picture is decoded.
    // `cancelled` ends the wait early.
    GstBuffer* next(const std::atomic<bool>& cancelled, std::string& error);

    void reset();

private:
    void close();
    // A frame, or null at the end of the stream (error empty) or on failure.
    GstBuffer* pull(const std::atomic<bool>& cancelled, std::string& error);
    std::string pipelineError(const std::string& fallback);

    GstElement* pipeline_ = nullptr;
    GstElement* sink_ = nullptr;
    GstBuffer* still_ = nullptr;
    GstBuffer* last_ = nullptr;
    int decoded_ = 0;
};

} // namespace palmcue::standin
