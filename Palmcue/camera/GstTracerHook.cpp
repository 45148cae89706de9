// SPDX-License-Identifier: Apache-2.0
#include "camera/GstTracerHook.h"

#include <gst/gst.h>

// A tracer does nothing by itself; it only holds hooks.
struct PalmcueTracer {
    GstTracer parent;
};
struct PalmcueTracerClass {
    GstTracerClass parent_class;
};

G_DEFINE_TYPE(PalmcueTracer, palmcue_tracer, GST_TYPE_TRACER)

static void palmcue_tracer_init(PalmcueTracer*) {}
static void palmcue_tracer_class_init(PalmcueTracerClass*) {}

namespace palmcue::camera {

void addGstTracerHook(const char* hook, void (*callback)()) {
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    // Kept for the life of the process, as the hook is.
    auto* tracer = static_cast<GstTracer*>(g_object_new(palmcue_tracer_get_type(), nullptr));
    gst_tracing_register_hook(tracer, hook, callback);
}

} // namespace palmcue::camera
