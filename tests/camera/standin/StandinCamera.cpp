// SPDX-License-Identifier: Apache-2.0
// The stand-in webcam: a device provider, its devices and the live source element they create.
// Frames are rendered by a small internal pipeline (decode, scale with borders, convert, and
// encode for MJPEG) from the picture file into the negotiated caps; a still picture is
// rendered once and then repeated.
#include "StandinCamera.h"

#include <atomic>
#include <cstdlib>
#include <gst/app/gstappsink.h>
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

// ---------------------------------------------------------------------------------------------
// Rendering the picture into the negotiated format

class Renderer {
public:
    ~Renderer() { close(); }

    // Starts decoding `picture` (empty: colour bars) into frames of `caps`.
    bool open(const std::string& picture, GstCaps* caps, std::string& error) {
        close();
        GstVideoInfo info;
        const GstStructure* s = gst_caps_get_structure(caps, 0);
        const bool jpeg = gst_structure_has_name(s, "image/jpeg");
        int width = 0;
        int height = 0;
        gst_structure_get_int(s, "width", &width);
        gst_structure_get_int(s, "height", &height);
        if (jpeg) {
            gst_video_info_set_format(&info, GST_VIDEO_FORMAT_I420, width, height);
        } else if (!gst_video_info_from_caps(&info, caps)) {
            error = "cannot render into these caps";
            return false;
        }
        // Any rate: the picture's own (none for a still image); frames are pulled as needed.
        GstCaps* rawCaps = gst_video_info_to_caps(&info);
        gst_structure_remove_field(gst_caps_get_structure(rawCaps, 0), "framerate");

        const std::string description =
            std::string(picture.empty() ? "videotestsrc num-buffers=1 pattern=smpte"
                                        : "filesrc name=file ! decodebin") +
            " ! videoconvert ! videoscale add-borders=true ! videoconvert"
            " ! capsfilter name=size ! " +
            (jpeg ? "jpegenc quality=92 ! " : "") + "appsink name=out sync=false max-buffers=2";
        GError* parseError = nullptr;
        pipeline_ = gst_parse_launch(description.c_str(), &parseError);
        if (!pipeline_) {
            error = parseError ? parseError->message : "cannot build the render pipeline";
            g_clear_error(&parseError);
            gst_caps_unref(rawCaps);
            return false;
        }
        g_clear_error(&parseError);
        if (!picture.empty()) {
            GstElement* file = gst_bin_get_by_name(GST_BIN(pipeline_), "file");
            g_object_set(file, "location", picture.c_str(), nullptr);
            gst_object_unref(file);
        }
        GstElement* size = gst_bin_get_by_name(GST_BIN(pipeline_), "size");
        g_object_set(size, "caps", rawCaps, nullptr);
        gst_object_unref(size);
        gst_caps_unref(rawCaps);
        sink_ = gst_bin_get_by_name(GST_BIN(pipeline_), "out");
        if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            error = pipelineError("cannot play " + picture);
            close();
            return false;
        }
        return true;
    }

    // The next frame, a new buffer the caller owns; blocks while the picture is decoded.
    // `cancelled` ends the wait early.
    GstBuffer* next(const std::atomic<bool>& cancelled, std::string& error) {
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

    void close() {
        if (sink_)
            gst_object_unref(sink_);
        sink_ = nullptr;
        if (pipeline_) {
            gst_element_set_state(pipeline_, GST_STATE_NULL);
            gst_object_unref(pipeline_);
        }
        pipeline_ = nullptr;
    }

    void reset() {
        close();
        gst_clear_buffer(&still_);
        gst_clear_buffer(&last_);
        decoded_ = 0;
    }

private:
    // A frame, or null at the end of the stream (error empty) or on failure.
    GstBuffer* pull(const std::atomic<bool>& cancelled, std::string& error) {
        if (!sink_) {
            error = "the picture is not open";
            return nullptr;
        }
        for (int waited = 0; !cancelled; waited += 100) {
            GstSample* sample =
                gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), 100 * GST_MSECOND);
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

    std::string pipelineError(const std::string& fallback) {
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

    GstElement* pipeline_ = nullptr;
    GstElement* sink_ = nullptr;
    GstBuffer* still_ = nullptr;
    GstBuffer* last_ = nullptr;
    int decoded_ = 0;
};

} // namespace
} // namespace palmcue::standin

// ---------------------------------------------------------------------------------------------
// The source element

using palmcue::standin::Camera;
using palmcue::standin::CameraRef;

struct PalmcueStandinSrc {
    GstPushSrc parent;
    CameraRef* camera;                    // set by the device that made it
    palmcue::standin::Renderer* renderer; // streaming thread only
    std::atomic<bool>* cancelled;
    GstClockTime frameDuration;
    GstClockTime firstTimestamp;
    guint64 frameIndex;
};
struct PalmcueStandinSrcClass {
    GstPushSrcClass parent_class;
};

G_DEFINE_TYPE(PalmcueStandinSrc, palmcue_standin_src, GST_TYPE_PUSH_SRC)

static GstStaticPadTemplate standinSrcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("video/x-raw, format=(string){ YUY2, NV12, I420 }; "
                                            "image/jpeg"));

static void palmcue_standin_src_init(PalmcueStandinSrc* self) {
    self->camera = nullptr;
    self->renderer = new palmcue::standin::Renderer;
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
              palmcue::standin::PixelFormat::I420}) {
            if (name && g_str_equal(name, palmcue::standin::formatName(candidate)))
                format = static_cast<int>(candidate);
        }
    }

    std::string error;
    if (!self->renderer->open(camera.setup.picture, caps, error)) {
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
    std::string error;
    GstBuffer* frame = self->renderer->next(*self->cancelled, error);
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

static palmcue::standin::CameraSetup environmentCamera(int index) {
    palmcue::standin::CameraSetup setup;
    setup.path = "/dev/video-standin" + std::to_string(index);
    setup.name = "Stand-in Camera " + std::to_string(index + 1);
    setup.isDefault = index == 0;
    if (const char* picture = g_getenv("PALMCUE_STANDIN_PICTURE"))
        setup.picture = picture;
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
    case PixelFormat::MJPEG:
        return "MJPEG";
    }
    return "?";
}

std::vector<Mode> typicalWebcamModes() {
    std::vector<Mode> modes;
    for (PixelFormat raw : {PixelFormat::YUY2, PixelFormat::NV12, PixelFormat::I420}) {
        modes.push_back({raw, 640, 480, {30, 15}});
        modes.push_back({raw, 1280, 720, {10}});
        modes.push_back({raw, 1920, 1080, {5}});
    }
    modes.push_back({PixelFormat::MJPEG, 1280, 720, {30, 15}});
    modes.push_back({PixelFormat::MJPEG, 1920, 1080, {30, 15}});
    return modes;
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
