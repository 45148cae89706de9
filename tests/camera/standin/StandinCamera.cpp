// SPDX-License-Identifier: Apache-2.0
// The stand-in webcam: a device provider, its devices and the live source element they create,
// which delivers the frames of a Renderer at the negotiated rate, with the camera's glitches.
#include "StandinCamera.h"

#include "StandinGlitches.h"
#include "StandinRenderer.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <memory>

GST_DEBUG_CATEGORY_STATIC(palmcue_standin_debug);
#define GST_CAT_DEFAULT palmcue_standin_debug

namespace palmcue::standin {
namespace {

// The state of one plugged camera, shared by its device and every element made from it.
struct Camera {
    explicit Camera(CameraSetup s) : setup(std::move(s)) {}
    const CameraSetup setup;
    std::atomic<bool> plugged{true};
    std::atomic<bool> firstFrameReleased{false};
    std::atomic<int> framesDelivered{0};
    std::atomic<int> negotiatedFormat{-1};
    std::atomic<int> negotiatedWidth{0};
    std::atomic<int> negotiatedHeight{0};
    std::atomic<int> negotiatedRate{0};
};
using CameraRef = std::shared_ptr<Camera>;

// Set by registerInProcess(): cameras come from plug() only, not from the environment.
std::atomic<bool> controlledInProcess{false};

GstStructure* modeStructure(const Mode& mode) {
    GstStructure* s = mode.format == PixelFormat::MJPEG
                          ? gst_structure_new_empty("image/jpeg")
                          : gst_structure_new("video/x-raw", "format", G_TYPE_STRING,
                                              formatName(mode.format), nullptr);
    gst_structure_set(s, "width", G_TYPE_INT, mode.width, "height", G_TYPE_INT, mode.height,
                      "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    if (mode.framesPerSecond.size() == 1) {
        gst_structure_set(s, "framerate", GST_TYPE_FRACTION, mode.framesPerSecond.front(), 1,
                          nullptr);
    } else {
        GValue list = G_VALUE_INIT;
        g_value_init(&list, GST_TYPE_LIST);
        for (int rate : mode.framesPerSecond) {
            GValue fraction = G_VALUE_INIT;
            g_value_init(&fraction, GST_TYPE_FRACTION);
            gst_value_set_fraction(&fraction, rate, 1);
            gst_value_list_append_and_take_value(&list, &fraction);
        }
        gst_structure_take_value(s, "framerate", &list);
    }
    return s;
}

GstCaps* capsOf(const CameraSetup& setup) {
    GstCaps* caps = gst_caps_new_empty();
    for (const Mode& mode : setup.modes)
        gst_caps_append_structure(caps, modeStructure(mode));
    return caps;
}

} // namespace
} // namespace palmcue::standin

// ---------------------------------------------------------------------------------------------
// The source element

using palmcue::standin::Camera;
using palmcue::standin::CameraRef;

struct PalmcueStandinSrc {
    GstPushSrc parent;
    CameraRef* camera;                        // set by the device that made it
    palmcue::standin::Renderer* renderer;     // streaming thread only
    palmcue::standin::GlitchPlayer* glitches; // streaming thread only
    std::atomic<bool>* cancelled;
    GstClockTime frameDuration;
    GstClockTime firstTimestamp;
    guint64 frameIndex;
};
struct PalmcueStandinSrcClass {
    GstPushSrcClass parent_class;
};

G_DEFINE_TYPE(PalmcueStandinSrc, palmcue_standin_src, GST_TYPE_PUSH_SRC)

static GstStaticPadTemplate standinSrcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format=(string){ YUY2, NV12, I420, GRAY8 }; "
                    "image/jpeg"));

static void palmcue_standin_src_init(PalmcueStandinSrc* self) {
    self->camera = nullptr;
    self->renderer = new palmcue::standin::Renderer;
    self->glitches = new palmcue::standin::GlitchPlayer;
    self->cancelled = new std::atomic<bool>(false);
    self->frameDuration = GST_CLOCK_TIME_NONE;
    self->firstTimestamp = GST_CLOCK_TIME_NONE;
    self->frameIndex = 0;
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}

static void palmcueStandinSrcFinalize(GObject* object) {
    auto* self = reinterpret_cast<PalmcueStandinSrc*>(object);
    delete self->renderer;
    delete self->glitches;
    delete self->camera;
    delete self->cancelled;
    G_OBJECT_CLASS(palmcue_standin_src_parent_class)->finalize(object);
}

static GstCaps* palmcueStandinSrcGetCaps(GstBaseSrc* base, GstCaps* filter) {
    auto* self = reinterpret_cast<PalmcueStandinSrc*>(base);
    GstCaps* caps = self->camera ? palmcue::standin::capsOf((*self->camera)->setup)
                                 : gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(base));
    if (filter) {
        GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

static gboolean palmcueStandinSrcSetCaps(GstBaseSrc* base, GstCaps* caps) {
    auto* self = reinterpret_cast<PalmcueStandinSrc*>(base);
    if (!self->camera) {
        GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("No camera behind this element."), (nullptr));
        return FALSE;
    }
    Camera& camera = **self->camera;
    if (camera.setup.busy) {
        // The words v4l2src uses when another program holds the device.
        GST_ELEMENT_ERROR(self, RESOURCE, BUSY, ("Device '%s' is busy", camera.setup.path.c_str()),
                          ("the stand-in camera is set to be busy"));
        return FALSE;
    }
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    int width = 0;
    int height = 0;
    int rateN = 0;
    int rateD = 1;
    gst_structure_get_int(s, "width", &width);
    gst_structure_get_int(s, "height", &height);
    if (!gst_structure_get_fraction(s, "framerate", &rateN, &rateD) || rateN <= 0) {
        GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, ("No frame rate negotiated."), (nullptr));
        return FALSE;
    }
    int format = static_cast<int>(palmcue::standin::PixelFormat::MJPEG);
    if (gst_structure_has_name(s, "video/x-raw")) {
        const char* name = gst_structure_get_string(s, "format");
        for (auto candidate :
             {palmcue::standin::PixelFormat::YUY2, palmcue::standin::PixelFormat::NV12,
              palmcue::standin::PixelFormat::I420, palmcue::standin::PixelFormat::GRAY8}) {
            if (name && g_str_equal(name, palmcue::standin::formatName(candidate)))
                format = static_cast<int>(candidate);
        }
    }

    std::string error;
    if (!self->renderer->open(camera.setup.picture, caps, camera.setup.pictureScale, error)) {
        GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ, ("Could not open the picture."),
                          ("%s: %s", camera.setup.picture.c_str(), error.c_str()));
        return FALSE;
    }
    camera.negotiatedFormat = format;
    camera.negotiatedWidth = width;
    camera.negotiatedHeight = height;
    camera.negotiatedRate = rateN / rateD;
    self->frameDuration = gst_util_uint64_scale_int(GST_SECOND, rateD, rateN);
    GST_INFO_OBJECT(self, "negotiated %" GST_PTR_FORMAT, caps);
    return TRUE;
}

static gboolean palmcueStandinSrcStart(GstBaseSrc* base) {
    auto* self = reinterpret_cast<PalmcueStandinSrc*>(base);
    self->renderer->reset();
    *self->glitches = {};
    self->firstTimestamp = GST_CLOCK_TIME_NONE;
    self->frameIndex = 0;
    return TRUE;
}

static gboolean palmcueStandinSrcStop(GstBaseSrc* base) {
    reinterpret_cast<PalmcueStandinSrc*>(base)->renderer->reset();
    return TRUE;
}

static gboolean palmcueStandinSrcUnlock(GstBaseSrc* base) {
    *reinterpret_cast<PalmcueStandinSrc*>(base)->cancelled = true;
    return TRUE;
}

static gboolean palmcueStandinSrcUnlockStop(GstBaseSrc* base) {
    *reinterpret_cast<PalmcueStandinSrc*>(base)->cancelled = false;
    return TRUE;
}

static gboolean palmcueStandinSrcQuery(GstBaseSrc* base, GstQuery* query) {
    auto* self = reinterpret_cast<PalmcueStandinSrc*>(base);
    if (GST_QUERY_TYPE(query) == GST_QUERY_LATENCY &&
        GST_CLOCK_TIME_IS_VALID(self->frameDuration)) {
        // Like a webcam: a frame is complete one frame time after its capture began.
        gst_query_set_latency(query, TRUE, self->frameDuration, 4 * self->frameDuration);
        return TRUE;
    }
    return GST_BASE_SRC_CLASS(palmcue_standin_src_parent_class)->query(base, query);
}

static void palmcueStandinSrcGetTimes(GstBaseSrc*, GstBuffer* buffer, GstClockTime* start,
                                      GstClockTime* end) {
    // Live: the base class waits until each frame's time has come.
    *start = GST_BUFFER_PTS(buffer);
    *end = GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer);
}

// Now, as running time of the element's pipeline; 0 before it has a clock.
static GstClockTime runningTimeNow(GstElement* element) {
    GstClock* clock = gst_element_get_clock(element);
    if (!clock)
        return 0;
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    const GstClockTime base = gst_element_get_base_time(element);
    return now > base ? now - base : 0;
}

// The camera's frames become `width`x`height` from now on: MJPEG ones by their pictures alone,
// raw ones with new caps.
static bool resizeFrames(PalmcueStandinSrc* self, int width, int height) {
    Camera& camera = **self->camera;
    GstCaps* caps = gst_pad_get_current_caps(GST_BASE_SRC_PAD(self));
    if (!caps)
        return false;
    GstCaps* resized = gst_caps_copy(caps);
    gst_caps_unref(caps);
    gst_caps_set_simple(resized, "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, nullptr);
    std::string error;
    const bool done =
        camera.negotiatedFormat == int(palmcue::standin::PixelFormat::MJPEG)
            ? self->renderer->open(camera.setup.picture, resized, camera.setup.pictureScale, error)
            : gst_base_src_set_caps(GST_BASE_SRC(self), resized);
    gst_caps_unref(resized);
    if (!done)
        GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, ("Could not change the frame size."),
                          ("to %dx%d: %s", width, height, error.c_str()));
    return done;
}

static GstFlowReturn palmcueStandinSrcCreate(GstPushSrc* push, GstBuffer** out) {
    auto* self = reinterpret_cast<PalmcueStandinSrc*>(push);
    Camera& camera = **self->camera;
    if (!camera.plugged) {
        GST_ELEMENT_ERROR(self, RESOURCE, READ, ("Could not read from resource."),
                          ("Device '%s' has been disconnected", camera.setup.path.c_str()));
        return GST_FLOW_ERROR;
    }
    // A camera that takes its time to start: the first frame comes late, or once released.
    const gint64 due = g_get_monotonic_time() + camera.setup.startDelayMs * G_TIME_SPAN_MILLISECOND;
    while (self->frameIndex == 0 && ((camera.setup.holdFirstFrame && !camera.firstFrameReleased) ||
                                     g_get_monotonic_time() < due)) {
        if (*self->cancelled)
            return GST_FLOW_FLUSHING;
        if (!camera.plugged)
            return palmcueStandinSrcCreate(push, out); // fails as unplugged
        g_usleep(5 * 1000);
    }
    std::optional<std::pair<int, int>> resize;
    if (!self->glitches->before(camera.setup.glitches, camera.framesDelivered, *self->cancelled,
                                camera.plugged, resize))
        return *self->cancelled ? GST_FLOW_FLUSHING : palmcueStandinSrcCreate(push, out);
    if (resize && !resizeFrames(self, resize->first, resize->second))
        return GST_FLOW_NOT_NEGOTIATED;
    std::string error;
    GstBuffer* frame = self->renderer->next(*self->cancelled, error);
    if (frame)
        frame = self->glitches->after(frame, camera.negotiatedFormat ==
                                                 int(palmcue::standin::PixelFormat::MJPEG));
    if (!frame) {
        if (*self->cancelled)
            return GST_FLOW_FLUSHING;
        GST_ELEMENT_ERROR(self, RESOURCE, READ, ("Could not render the picture."),
                          ("%s: %s", camera.setup.picture.c_str(), error.c_str()));
        return GST_FLOW_ERROR;
    }

    const GstClockTime now = runningTimeNow(GST_ELEMENT(self));
    if (!GST_CLOCK_TIME_IS_VALID(self->firstTimestamp))
        self->firstTimestamp = now;
    GstClockTime timestamp = self->firstTimestamp + self->frameIndex * self->frameDuration;
    if (timestamp + self->frameDuration < now) {
        // Nobody took frames for a while: skip the missed ones, as a camera's sensor does.
        self->frameIndex = (now - self->firstTimestamp) / self->frameDuration;
        timestamp = self->firstTimestamp + self->frameIndex * self->frameDuration;
    }
    GST_BUFFER_PTS(frame) = timestamp;
    GST_BUFFER_DTS(frame) = GST_CLOCK_TIME_NONE;
    GST_BUFFER_DURATION(frame) = self->frameDuration;
    GST_BUFFER_OFFSET(frame) = self->frameIndex;
    ++self->frameIndex;
    ++camera.framesDelivered;
    *out = frame;
    return GST_FLOW_OK;
}

static void palmcue_standin_src_class_init(PalmcueStandinSrcClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = palmcueStandinSrcFinalize;
    auto* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &standinSrcTemplate);
    gst_element_class_set_static_metadata(element, "Palm&Cue stand-in camera", "Source/Video",
                                          "A webcam that shows a picture file",
                                          "Palm&Cue developers");
    auto* base = GST_BASE_SRC_CLASS(klass);
    base->get_caps = palmcueStandinSrcGetCaps;
    base->set_caps = palmcueStandinSrcSetCaps;
    base->start = palmcueStandinSrcStart;
    base->stop = palmcueStandinSrcStop;
    base->unlock = palmcueStandinSrcUnlock;
    base->unlock_stop = palmcueStandinSrcUnlockStop;
    base->query = palmcueStandinSrcQuery;
    base->get_times = palmcueStandinSrcGetTimes;
    GST_PUSH_SRC_CLASS(klass)->create = palmcueStandinSrcCreate;
}

// ---------------------------------------------------------------------------------------------
// The device

struct PalmcueStandinDevice {
    GstDevice parent;
    CameraRef* camera;
};
struct PalmcueStandinDeviceClass {
    GstDeviceClass parent_class;
};

G_DEFINE_TYPE(PalmcueStandinDevice, palmcue_standin_device, GST_TYPE_DEVICE)

static void palmcue_standin_device_init(PalmcueStandinDevice* self) {
    self->camera = nullptr;
}

static void palmcueStandinDeviceFinalize(GObject* object) {
    delete reinterpret_cast<PalmcueStandinDevice*>(object)->camera;
    G_OBJECT_CLASS(palmcue_standin_device_parent_class)->finalize(object);
}

static GstElement* palmcueStandinDeviceCreateElement(GstDevice* device, const gchar* name) {
    auto* self = reinterpret_cast<PalmcueStandinDevice*>(device);
    auto* element = static_cast<PalmcueStandinSrc*>(
        g_object_new(palmcue_standin_src_get_type(), "name", name, nullptr));
    element->camera = new CameraRef(*self->camera);
    return GST_ELEMENT(element);
}

static void palmcue_standin_device_class_init(PalmcueStandinDeviceClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = palmcueStandinDeviceFinalize;
    GST_DEVICE_CLASS(klass)->create_element = palmcueStandinDeviceCreateElement;
}

static GstDevice* newStandinDevice(CameraRef camera) {
    GstStructure* properties = gst_structure_new("palmcuestandin", "device.path", G_TYPE_STRING,
                                                 camera->setup.path.c_str(), "device.api",
                                                 G_TYPE_STRING, "palmcue-standin", nullptr);
    if (camera->setup.isDefault)
        gst_structure_set(properties, "is-default", G_TYPE_BOOLEAN, TRUE, nullptr);
    GstCaps* caps = palmcue::standin::capsOf(camera->setup);
    auto* device = static_cast<PalmcueStandinDevice*>(g_object_new(
        palmcue_standin_device_get_type(), "display-name", camera->setup.name.c_str(),
        "device-class", "Video/Source", "caps", caps, "properties", properties, nullptr));
    gst_caps_unref(caps);
    gst_structure_free(properties);
    device->camera = new CameraRef(std::move(camera));
    return GST_DEVICE(device);
}

// ---------------------------------------------------------------------------------------------
// The provider

struct PalmcueStandinProvider {
    GstDeviceProvider parent;
    GThread* plugWatch;
    std::atomic<bool>* stopWatch;
};
struct PalmcueStandinProviderClass {
    GstDeviceProviderClass parent_class;
};

G_DEFINE_TYPE(PalmcueStandinProvider, palmcue_standin_provider, GST_TYPE_DEVICE_PROVIDER)

static void palmcue_standin_provider_init(PalmcueStandinProvider* self) {
    self->plugWatch = nullptr;
    self->stopWatch = new std::atomic<bool>(false);
}

static void palmcueStandinProviderFinalize(GObject* object) {
    delete reinterpret_cast<PalmcueStandinProvider*>(object)->stopWatch;
    G_OBJECT_CLASS(palmcue_standin_provider_parent_class)->finalize(object);
}

static GList* palmcueStandinProviderProbe(GstDeviceProvider* provider) {
    GList* devices = nullptr;
    GST_OBJECT_LOCK(provider);
    for (GList* item = provider->devices; item; item = item->next)
        devices = g_list_prepend(devices, gst_object_ref(item->data));
    GST_OBJECT_UNLOCK(provider);
    return g_list_reverse(devices);
}

static PalmcueStandinDevice* findDevice(GstDeviceProvider* provider, const std::string& path) {
    PalmcueStandinDevice* found = nullptr;
    GST_OBJECT_LOCK(provider);
    for (GList* item = provider->devices; item && !found; item = item->next) {
        auto* device = static_cast<PalmcueStandinDevice*>(item->data);
        if ((*device->camera)->setup.path == path)
            found = static_cast<PalmcueStandinDevice*>(gst_object_ref(device));
    }
    GST_OBJECT_UNLOCK(provider);
    return found;
}

static void unplugFrom(GstDeviceProvider* provider, const std::string& path) {
    if (PalmcueStandinDevice* device = findDevice(provider, path)) {
        gst_device_provider_device_remove(provider, GST_DEVICE(device));
        (*device->camera)->plugged = false;
        gst_object_unref(device);
    }
}

static void plugInto(GstDeviceProvider* provider, const palmcue::standin::CameraSetup& setup) {
    unplugFrom(provider, setup.path);
    // The provider takes the floating reference.
    gst_device_provider_device_add(provider, newStandinDevice(std::make_shared<Camera>(setup)));
}

// "MJPEG:1280x720@30,YUY2:640x480@30"; none when the text is not such a list.
static std::optional<std::vector<palmcue::standin::Mode>> parseModes(const char* text) {
    using palmcue::standin::PixelFormat;
    std::vector<palmcue::standin::Mode> modes;
    gchar** items = g_strsplit(text, ",", -1);
    for (gchar** item = items; *item; ++item) {
        char name[16] = {};
        palmcue::standin::Mode mode;
        int rate = 0;
        if (std::sscanf(*item, " %15[A-Z0-9]:%dx%d@%d", name, &mode.width, &mode.height, &rate) !=
                4 ||
            mode.width <= 0 || mode.height <= 0 || rate <= 0) {
            g_strfreev(items);
            return std::nullopt;
        }
        bool known = false;
        for (auto format : {PixelFormat::YUY2, PixelFormat::NV12, PixelFormat::I420,
                            PixelFormat::GRAY8, PixelFormat::MJPEG}) {
            if (g_str_equal(name, palmcue::standin::formatName(format))) {
                mode.format = format;
                known = true;
            }
        }
        if (!known) {
            g_strfreev(items);
            return std::nullopt;
        }
        mode.framesPerSecond = {rate};
        modes.push_back(mode);
    }
    g_strfreev(items);
    return modes.empty() ? std::nullopt : std::make_optional(modes);
}

static palmcue::standin::CameraSetup environmentCamera(int index) {
    palmcue::standin::CameraSetup setup;
    setup.path = "/dev/video-standin" + std::to_string(index);
    setup.name = "Stand-in Camera " + std::to_string(index + 1);
    setup.isDefault = index == 0;
    if (const char* modes = g_getenv("PALMCUE_STANDIN_MODES")) {
        if (auto parsed = parseModes(modes))
            setup.modes = std::move(*parsed);
        else
            g_warning("PALMCUE_STANDIN_MODES: not a list of FORMAT:WIDTHxHEIGHT@FPS: %s", modes);
    }
    if (index == 0 && g_strcmp0(g_getenv("PALMCUE_STANDIN_INFRARED"), "1") == 0) {
        setup.name = "Stand-in IR Camera";
        setup.modes = palmcue::standin::infraredModes();
    }
    if (const char* picture = g_getenv("PALMCUE_STANDIN_PICTURE"))
        setup.picture = picture;
    if (const char* scale = g_getenv("PALMCUE_STANDIN_PICTURE_SCALE"))
        setup.pictureScale = g_ascii_strtod(scale, nullptr);
    setup.busy = g_strcmp0(g_getenv("PALMCUE_STANDIN_BUSY"), "1") == 0;
    if (const char* delay = g_getenv("PALMCUE_STANDIN_START_DELAY_MS"))
        setup.startDelayMs = std::atoi(delay);
    return setup;
}

// Plugs the first camera in while the plug file exists and out while it does not.
static gpointer watchPlugFile(gpointer data) {
    auto* self = static_cast<PalmcueStandinProvider*>(data);
    auto* provider = GST_DEVICE_PROVIDER(self);
    const std::string file = g_getenv("PALMCUE_STANDIN_PLUG_FILE");
    const palmcue::standin::CameraSetup setup = environmentCamera(0);
    PalmcueStandinDevice* existing = findDevice(provider, setup.path);
    bool plugged = existing != nullptr;
    if (existing)
        gst_object_unref(existing);
    while (!*self->stopWatch) {
        const bool present = g_file_test(file.c_str(), G_FILE_TEST_EXISTS);
        if (present && !plugged)
            plugInto(provider, setup);
        else if (!present && plugged)
            unplugFrom(provider, setup.path);
        plugged = present;
        g_usleep(100 * 1000);
    }
    return nullptr;
}

// The cameras of the environment are there from the provider's creation: devices added while
// a monitor starts the provider would be announced to it twice (listed, then "added").
static void palmcueStandinProviderConstructed(GObject* object) {
    G_OBJECT_CLASS(palmcue_standin_provider_parent_class)->constructed(object);
    if (palmcue::standin::controlledInProcess)
        return;
    auto* provider = GST_DEVICE_PROVIDER(object);
    const char* count = g_getenv("PALMCUE_STANDIN_CAMERAS");
    const int cameras = count ? std::atoi(count) : 1;
    // With a plug file, the first camera comes and goes with it (see watchPlugFile).
    const char* plugFile = g_getenv("PALMCUE_STANDIN_PLUG_FILE");
    for (int i = 0; i < cameras; ++i) {
        if (i > 0 || !plugFile || g_file_test(plugFile, G_FILE_TEST_EXISTS))
            plugInto(provider, environmentCamera(i));
    }
}

static gboolean palmcueStandinProviderStart(GstDeviceProvider* provider) {
    auto* self = reinterpret_cast<PalmcueStandinProvider*>(provider);
    if (palmcue::standin::controlledInProcess || self->plugWatch ||
        !g_getenv("PALMCUE_STANDIN_PLUG_FILE"))
        return TRUE;
    *self->stopWatch = false;
    self->plugWatch = g_thread_new("standin-plug", watchPlugFile, self);
    return TRUE;
}

static void palmcueStandinProviderStop(GstDeviceProvider* provider) {
    auto* self = reinterpret_cast<PalmcueStandinProvider*>(provider);
    if (self->plugWatch) {
        *self->stopWatch = true;
        g_thread_join(self->plugWatch);
        self->plugWatch = nullptr;
    }
}

static void palmcue_standin_provider_class_init(PalmcueStandinProviderClass* klass) {
    G_OBJECT_CLASS(klass)->constructed = palmcueStandinProviderConstructed;
    G_OBJECT_CLASS(klass)->finalize = palmcueStandinProviderFinalize;
    auto* provider = GST_DEVICE_PROVIDER_CLASS(klass);
    provider->probe = palmcueStandinProviderProbe;
    provider->start = palmcueStandinProviderStart;
    provider->stop = palmcueStandinProviderStop;
    gst_device_provider_class_set_static_metadata(
        provider, "Palm&Cue stand-in cameras", "Source/Video", "Webcams that show a picture file",
        "Palm&Cue developers");
}

static gboolean standinPluginInit(GstPlugin* plugin) {
    GST_DEBUG_CATEGORY_INIT(palmcue_standin_debug, "palmcuestandin", 0, "Palm&Cue stand-in camera");
    return gst_element_register(plugin, "palmcuestandinsrc", GST_RANK_NONE,
                                palmcue_standin_src_get_type()) &&
           gst_device_provider_register(plugin, "palmcuestandinprovider", GST_RANK_PRIMARY,
                                        palmcue_standin_provider_get_type());
}

#ifdef PALMCUE_STANDIN_PLUGIN
#define PACKAGE "palmcue"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, palmcuestandin, "Palm&Cue stand-in cameras",
                  standinPluginInit, "1.0", GST_LICENSE_UNKNOWN, "palmcue",
                  "https://github.com/palmcue")
#endif

// ---------------------------------------------------------------------------------------------
// The control functions

namespace palmcue::standin {
namespace {

GstDeviceProvider* provider() {
    // Device providers are singletons: this is the one the device monitors use.
    return gst_device_provider_factory_get_by_name("palmcuestandinprovider");
}

std::shared_ptr<Camera> cameraAt(const std::string& path) {
    GstDeviceProvider* p = provider();
    if (!p)
        return nullptr;
    PalmcueStandinDevice* device = findDevice(p, path);
    gst_object_unref(p);
    if (!device)
        return nullptr;
    std::shared_ptr<Camera> camera = *device->camera;
    gst_object_unref(device);
    return camera;
}

} // namespace

const char* formatName(PixelFormat format) {
    switch (format) {
    case PixelFormat::YUY2:
        return "YUY2";
    case PixelFormat::NV12:
        return "NV12";
    case PixelFormat::I420:
        return "I420";
    case PixelFormat::GRAY8:
        return "GRAY8";
    case PixelFormat::MJPEG:
        return "MJPEG";
    }
    return "?";
}

std::vector<Mode> typicalWebcamModes() {
    return {{PixelFormat::YUY2, 640, 480, {30, 15}},
            {PixelFormat::YUY2, 1280, 720, {10}},
            {PixelFormat::MJPEG, 640, 480, {30, 15}},
            {PixelFormat::MJPEG, 1280, 720, {30, 15}},
            {PixelFormat::MJPEG, 1920, 1080, {30, 15}}};
}

std::vector<Mode> infraredModes() {
    return {{PixelFormat::GRAY8, 640, 360, {30, 15}}};
}

void registerInProcess() {
    static const bool registered = [] {
        controlledInProcess = true;
        if (!gst_is_initialized())
            gst_init(nullptr, nullptr);
        return gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "palmcuestandin",
                                          "Palm&Cue stand-in cameras", standinPluginInit, "1.0",
                                          GST_LICENSE_UNKNOWN, "palmcue", "palmcue",
                                          "https://github.com/palmcue");
    }();
    if (!registered)
        g_error("the stand-in camera could not be registered");
}

void plug(const CameraSetup& setup) {
    GstDeviceProvider* p = provider();
    g_assert(p);
    plugInto(p, setup);
    gst_object_unref(p);
}

void unplug(const std::string& path) {
    if (GstDeviceProvider* p = provider()) {
        unplugFrom(p, path);
        gst_object_unref(p);
    }
}

void unplugAll() {
    GstDeviceProvider* p = provider();
    if (!p)
        return;
    GList* devices = palmcueStandinProviderProbe(p);
    for (GList* item = devices; item; item = item->next)
        unplugFrom(p, (*static_cast<PalmcueStandinDevice*>(item->data)->camera)->setup.path);
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(p);
}

void releaseFirstFrame(const std::string& path) {
    if (const auto camera = cameraAt(path))
        camera->firstFrameReleased = true;
}

std::optional<Negotiated> negotiated(const std::string& path) {
    const auto camera = cameraAt(path);
    if (!camera || camera->negotiatedFormat < 0)
        return std::nullopt;
    return Negotiated{static_cast<PixelFormat>(camera->negotiatedFormat.load()),
                      camera->negotiatedWidth, camera->negotiatedHeight, camera->negotiatedRate};
}

int framesDelivered(const std::string& path) {
    const auto camera = cameraAt(path);
    return camera ? camera->framesDelivered.load() : 0;
}

} // namespace palmcue::standin
