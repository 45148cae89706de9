// SPDX-License-Identifier: Apache-2.0
// GStreamer tracer hooks: functions GStreamer calls at given points of every pipeline in the
// process (an element posting a message, a bin gaining an element...), on whichever thread
// gets there, for as long as the process runs.
#pragma once

namespace palmcue::camera {

// Calls `callback` (cast with G_CALLBACK; its arguments are those GStreamer documents for the
// hook) at the hook named `hook`, such as "element-post-message-pre". Initialises GStreamer
// if that has not happened yet.
void addGstTracerHook(const char* hook, void (*callback)());

} // namespace palmcue::camera
