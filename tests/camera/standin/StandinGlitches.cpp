// SPDX-License-Identifier: Apache-2.0
#include "StandinGlitches.h"

namespace palmcue::standin {

bool GlitchPlayer::before(const std::vector<Glitch>& glitches, int index,
                          const std::atomic<bool>& cancelled, const std::atomic<bool>& plugged,
                          std::optional<std::pair<int, int>>& resize) {
    for (const Glitch& glitch : glitches) {
        if (glitch.atFrame != index)
            continue;
        switch (glitch.kind) {
        case Glitch::Kind::Resize:
            resize = std::make_pair(glitch.width, glitch.height);
            break;
        case Glitch::Kind::Corrupt:
            corruptLeft_ = glitch.count;
            break;
        case Glitch::Kind::Truncate:
            truncateLeft_ = glitch.count;
            break;
        case Glitch::Kind::Pause: {
            const gint64 until =
                g_get_monotonic_time() + glitch.durationMs * G_TIME_SPAN_MILLISECOND;
            while (g_get_monotonic_time() < until) {
                if (cancelled || !plugged)
                    return false;
                g_usleep(5 * 1000);
            }
            break;
        }
        }
    }
    return true;
}

GstBuffer* GlitchPlayer::after(GstBuffer* frame, bool jpeg) {
    if (truncateLeft_ > 0 && jpeg) {
        --truncateLeft_;
        GstBuffer* half =
            gst_buffer_copy_region(frame, GST_BUFFER_COPY_ALL, 0, gst_buffer_get_size(frame) / 2);
        gst_buffer_unref(frame);
        return half;
    }
    if (corruptLeft_ > 0) {
        --corruptLeft_;
        // A new buffer: the frame's memory is the still picture's, shared by every frame.
        const gsize size = gst_buffer_get_size(frame);
        GstBuffer* noise = gst_buffer_new_allocate(nullptr, size, nullptr);
        gst_buffer_copy_into(noise, frame, GST_BUFFER_COPY_METADATA, 0, -1);
        GstMapInfo map;
        if (gst_buffer_map(noise, &map, GST_MAP_WRITE)) {
            for (gsize i = 0; i < map.size; ++i) {
                noise_ = noise_ * 1103515245u + 12345u;
                map.data[i] = static_cast<guint8>(noise_ >> 16);
            }
            // Still a JPEG to whoever looks at its first bytes, but not one that decodes.
            if (jpeg && map.size > 4) {
                map.data[0] = 0xFF;
                map.data[1] = 0xD8;
            }
            gst_buffer_unmap(noise, &map);
        }
        gst_buffer_unref(frame);
        return noise;
    }
    return frame;
}

} // namespace palmcue::standin
