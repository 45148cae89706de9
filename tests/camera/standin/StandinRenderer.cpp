// SPDX-License-Identifier: Apache-2.0
#include "StandinRenderer.h"

#include <algorithm>
#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

namespace palmcue::standin {
namespace {

int even(double value) {
    return std::max(2, static_cast<int>(value / 2) * 2);
}

// Raw caps of `width`x`height` in `format` (any format when unknown), square pixels, any rate.
GstCaps* rawCaps(GstVideoFormat format, int width, int height) {
    GstVideoInfo info;
    gst_video_info_set_format(
        &info, format == GST_VIDEO_FORMAT_UNKNOWN ? GST_VIDEO_FORMAT_I420 : format, width, height);
    GstCaps* caps = gst_video_info_to_caps(&info);
    GstStructure* s = gst_caps_get_structure(caps, 0);
    // Any rate: the picture's own (none for a still image); frames are pulled as needed.
    gst_structure_remove_field(s, "framerate");
    if (format == GST_VIDEO_FORMAT_UNKNOWN)
        gst_structure_remove_field(s, "format");
    return caps;
}

void setCaps(GstElement* pipeline, const char* name, GstCaps* caps) {
    GstElement* filter = gst_bin_get_by_name(GST_BIN(pipeline), name);
    g_object_set(filter, "caps", caps, nullptr);
    gst_object_unref(filter);
    gst_caps_unref(caps);
}

} // namespace

bool Renderer::open(const std::string& picture, GstCaps* caps, double scale, std::string& error) {
    reset();
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    const bool jpeg = gst_structure_has_name(s, "image/jpeg");
    int width = 0;
    int height = 0;
    gst_structure_get_int(s, "width", &width);
    gst_structure_get_int(s, "height", &height);
    GstVideoFormat format = GST_VIDEO_FORMAT_Y42B; // what a webcam's JPEG encoder samples
    if (!jpeg) {
        GstVideoInfo info;
        if (!gst_video_info_from_caps(&info, caps)) {
            error = "cannot render into these caps";
            return false;
        }
        format = GST_VIDEO_INFO_FORMAT(&info);
    }
    const bool smaller = scale > 0.0 && scale < 1.0;
    const int innerWidth = smaller ? even(width * scale) : width;
    const int innerHeight = smaller ? even(height * scale) : height;

    std::string description =
        std::string(picture.empty() ? "videotestsrc num-buffers=1 pattern=smpte"
                                    : "filesrc name=file ! decodebin") +
        " ! videoconvert ! videoscale add-borders=true ! capsfilter name=inner";
    if (smaller) {
        description += " ! videobox fill=black top=" + std::to_string(-(height - innerHeight) / 2) +
                       " bottom=" + std::to_string(-(height - innerHeight + 1) / 2) +
                       " left=" + std::to_string(-(width - innerWidth) / 2) +
                       " right=" + std::to_string(-(width - innerWidth + 1) / 2);
    }
    description += std::string(" ! videoconvert ! capsfilter name=size ! ") +
                   (jpeg ? "jpegenc quality=92 ! " : "") +
                   "appsink name=out sync=false max-buffers=2";
    GError* parseError = nullptr;
    pipeline_ = gst_parse_launch(description.c_str(), &parseError);
    if (!pipeline_) {
        error = parseError ? parseError->message : "cannot build the render pipeline";
        g_clear_error(&parseError);
        return false;
    }
    g_clear_error(&parseError);
    if (!picture.empty()) {
        GstElement* file = gst_bin_get_by_name(GST_BIN(pipeline_), "file");
        g_object_set(file, "location", picture.c_str(), nullptr);
        gst_object_unref(file);
    }
    setCaps(pipeline_, "inner", rawCaps(GST_VIDEO_FORMAT_UNKNOWN, innerWidth, innerHeight));
    GstCaps* frameCaps = rawCaps(format, width, height);
    if (jpeg) {
        // JPEG's samples are full range (JFIF): so must be the picture the encoder is given.
        gst_caps_set_simple(frameCaps, "colorimetry", G_TYPE_STRING, "1:4:0:0", nullptr);
    }
    setCaps(pipeline_, "size", frameCaps);
    sink_ = gst_bin_get_by_name(GST_BIN(pipeline_), "out");
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        error = pipelineError("cannot play " + picture);
        close();
        return false;
    }
    return true;
}

GstBuffer* Renderer::next(const std::atomic<bool>& cancelled, std::string& error) {
    if (!still_) {
        GstBuffer* frame = pull(cancelled, error);
        if (frame)
            return frame;
        if (!error.empty() || cancelled)
            return nullptr;
        // End of stream: one frame was a still picture, more were a video to loop.
        if (decoded_ == 1) {
            still_ = last_;
            last_ = nullptr;
            close();
        } else if (!gst_element_seek_simple(
                       pipeline_, GST_FORMAT_TIME,
                       GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0) ||
                   !(frame = pull(cancelled, error))) {
            if (error.empty() && !cancelled)
                error = "the video does not loop";
            return nullptr;
        } else {
            return frame;
        }
    }
    return gst_buffer_copy(still_); // shares the memory; the copy takes the timestamps
}

void Renderer::close() {
    if (sink_)
        gst_object_unref(sink_);
    sink_ = nullptr;
    if (pipeline_) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
    }
    pipeline_ = nullptr;
}

void Renderer::reset() {
    close();
    gst_clear_buffer(&still_);
    gst_clear_buffer(&last_);
    decoded_ = 0;
}

GstBuffer* Renderer::pull(const std::atomic<bool>& cancelled, std::string& error) {
    if (!sink_) {
        error = "the picture is not open";
        return nullptr;
    }
    for (int waited = 0; !cancelled; waited += 100) {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), 100 * GST_MSECOND);
        if (sample) {
            GstBuffer* buffer = gst_buffer_ref(gst_sample_get_buffer(sample));
            gst_sample_unref(sample);
            ++decoded_;
            if (last_)
                gst_buffer_unref(last_);
            last_ = gst_buffer_ref(buffer);
            GstBuffer* copy = gst_buffer_copy(buffer);
            gst_buffer_unref(buffer);
            return copy;
        }
        if (gst_app_sink_is_eos(GST_APP_SINK(sink_)))
            return nullptr;
        error = pipelineError({});
        if (!error.empty())
            return nullptr;
        if (waited > 20000) {
            error = "no frame decoded in 20 s";
            return nullptr;
        }
    }
    return nullptr;
}

std::string Renderer::pipelineError(const std::string& fallback) {
    if (!pipeline_)
        return fallback;
    GstBus* bus = gst_element_get_bus(pipeline_);
    GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    gst_object_unref(bus);
    if (!message)
        return fallback;
    GError* gerror = nullptr;
    gst_message_parse_error(message, &gerror, nullptr);
    std::string text = gerror ? gerror->message : fallback;
    g_clear_error(&gerror);
    gst_message_unref(message);
    return text;
}

} // namespace palmcue::standin
