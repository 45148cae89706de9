// SPDX-License-Identifier: Apache-2.0
// palmcue-bench-modes [--decodes N] [--scales S,S...] [--verbose]
// For each mode of a typical laptop webcam (the stand-in webcam's list), what it costs before
// the hand-pose step and what the hand-pose step makes of it:
// - decode: CPU per frame of GStreamer's jpegdec, which Qt's camera pipeline puts after an
//   MJPEG camera and which runs on every delivered frame (raw modes have none);
// - convert: CPU of the conversion to BGRA that each analysed frame gets;
// - recognition: each labelled photo of ../shared/hands rendered into a frame of the mode by
//   the stand-in webcam's own renderer (scaled into the frame with black borders, 4:2:2 JPEG at
//   quality 92 for MJPEG), decoded and converted as the program does, and judged by the
//   program's hand-pose step and classifier: single fingers right out of the photos scored, and
//   hands found. At scale 1 the picture fills the frame's height; at 0.5 it takes half of it,
//   as a hand twice as far from the camera.
#include "BenchSupport.h"
#include "StandinRenderer.h"
#include "camera/FrameConversion.h"
#include "engine/FingerTable.h"
#include "engine/FrameVerdict.h"
#include "handpose/MediaPipeHandPose.h"

#include <QFile>
#include <QStringList>
#include <cstdio>
#include <ctime>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/video/video.h>
#include <string>
#include <utility>
#include <vector>

namespace {

bool verbose = false;

using palmcue::camera::FrameLayout;
using palmcue::camera::PlaneView;
using Format = QVideoFrameFormat::PixelFormat;

struct Mode {
    bool jpeg;
    int width;
    int height;
    const char* name;
};
// The stand-in webcam's typical list, at 30 fps where it offers it.
const Mode kModes[] = {{false, 640, 480, "640x480 YUYV 30 fps"},
                       {false, 1280, 720, "1280x720 YUYV 10 fps"},
                       {true, 640, 480, "640x480 MJPEG 30 fps"},
                       {true, 1280, 720, "1280x720 MJPEG 30 fps"},
                       {true, 1920, 1080, "1920x1080 MJPEG 30 fps"}};

struct Photo {
    std::string file;
    std::string expect; // finger name, "-" or "?"
};

std::vector<Photo> labelledPhotos(const std::string& dir) {
    std::vector<Photo> photos;
    QFile labels(QString::fromStdString(dir + "/LABELS.tsv"));
    if (!labels.open(QIODevice::ReadOnly))
        return photos;
    bool header = true;
    for (const QByteArray& line : labels.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (std::exchange(header, false) || fields.size() < 3)
            continue;
        photos.push_back({dir + "/" + fields[0].toStdString(), fields[2].toStdString()});
    }
    return photos;
}

// Keeps the compiler from dropping a computation whose result is unused.
template <typename T> void keep(const T& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

GstCaps* modeCaps(const Mode& mode) {
    return mode.jpeg ? gst_caps_new_simple("image/jpeg", "width", G_TYPE_INT, mode.width, "height",
                                           G_TYPE_INT, mode.height, "framerate", GST_TYPE_FRACTION,
                                           30, 1, nullptr)
                     : gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "YUY2", "width",
                                           G_TYPE_INT, mode.width, "height", G_TYPE_INT,
                                           mode.height, "framerate", GST_TYPE_FRACTION, 30, 1,
                                           "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
}

// One camera frame of `mode` showing `picture` at `scale`; null (and why) when it cannot be made.
GstBuffer* cameraFrame(const Mode& mode, const std::string& picture, double scale) {
    palmcue::standin::Renderer renderer;
    GstCaps* caps = modeCaps(mode);
    std::string error;
    const std::atomic<bool> cancelled{false};
    GstBuffer* frame =
        renderer.open(picture, caps, scale, error) ? renderer.next(cancelled, error) : nullptr;
    gst_caps_unref(caps);
    if (!frame)
        std::fprintf(stderr, "palmcue-bench-modes: %s: %s\n", picture.c_str(), error.c_str());
    return frame;
}

// jpegdec as Qt's camera pipeline runs it: frames in, raw pictures out.
class JpegDecoder {
public:
    explicit JpegDecoder(const Mode& mode) {
        pipeline_ = gst_parse_launch(
            "appsrc name=in format=time ! jpegdec ! appsink name=out sync=false", nullptr);
        in_ = gst_bin_get_by_name(GST_BIN(pipeline_), "in");
        out_ = gst_bin_get_by_name(GST_BIN(pipeline_), "out");
        GstCaps* caps = modeCaps(mode);
        gst_app_src_set_caps(GST_APP_SRC(in_), caps);
        gst_caps_unref(caps);
        gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    }
    ~JpegDecoder() {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(in_);
        gst_object_unref(out_);
        gst_object_unref(pipeline_);
    }
    GstSample* decode(GstBuffer* jpeg) {
        GST_BUFFER_PTS(jpeg) = timestamp_;
        timestamp_ += GST_SECOND / 30;
        gst_app_src_push_buffer(GST_APP_SRC(in_), gst_buffer_ref(jpeg));
        return gst_app_sink_try_pull_sample(GST_APP_SINK(out_), 5 * GST_SECOND);
    }

private:
    GstElement* pipeline_;
    GstElement* in_;
    GstElement* out_;
    GstClockTime timestamp_ = 0;
};

Format qtFormat(GstVideoFormat format) {
    switch (format) {
    case GST_VIDEO_FORMAT_YUY2:
        return QVideoFrameFormat::Format_YUYV;
    case GST_VIDEO_FORMAT_Y42B:
        return QVideoFrameFormat::Format_YUV422P;
    case GST_VIDEO_FORMAT_I420:
        return QVideoFrameFormat::Format_YUV420P;
    default:
        return QVideoFrameFormat::Format_Invalid;
    }
}

// The raw picture of a frame as the program gets it, converted to BGRA into `scratch`.
struct Picture {
    GstSample* sample = nullptr; // decoded MJPEG, or null for a raw frame
    GstVideoInfo info{};
    GstBuffer* buffer = nullptr;

    palmcue::Result<palmcue::ImageView> bgra(std::vector<std::uint8_t>& scratch) {
        GstVideoFrame frame;
        if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ))
            return palmcue::failure("cannot map the frame");
        std::vector<PlaneView> planes;
        for (guint i = 0; i < GST_VIDEO_FRAME_N_PLANES(&frame); ++i) {
            const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, i);
            const int rows = GST_VIDEO_FRAME_COMP_HEIGHT(&frame, i);
            planes.push_back(
                {static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, i)),
                 std::size_t(stride) * std::size_t(rows), stride});
        }
        const FrameLayout layout{
            qtFormat(GST_VIDEO_INFO_FORMAT(&info)), GST_VIDEO_INFO_WIDTH(&info),
            GST_VIDEO_INFO_HEIGHT(&info), QVideoFrameFormat::ColorSpace_BT601,
            sample ? QVideoFrameFormat::ColorRange_Full : QVideoFrameFormat::ColorRange_Video};
        auto view = palmcue::camera::convertToBgra(layout, planes, scratch);
        gst_video_frame_unmap(&frame);
        return view;
    }
    ~Picture() {
        if (sample)
            gst_sample_unref(sample);
    }
};

// Fills `picture` from a camera frame of `mode`; false when it cannot be decoded.
bool decodeFrame(const Mode& mode, GstBuffer* frame, JpegDecoder* decoder, Picture& picture) {
    if (!mode.jpeg) {
        GstCaps* caps = modeCaps(mode);
        gst_video_info_from_caps(&picture.info, caps);
        gst_caps_unref(caps);
        picture.buffer = frame;
        return true;
    }
    picture.sample = decoder->decode(frame);
    if (!picture.sample ||
        !gst_video_info_from_caps(&picture.info, gst_sample_get_caps(picture.sample)))
        return false;
    picture.buffer = gst_sample_get_buffer(picture.sample);
    return true;
}

struct Costs {
    double decodeMs = 0;
    double convertMs = 0;
};

// CPU per frame of decoding (all threads of the process: jpegdec runs on the source's) and of
// the conversion to BGRA, over `count` frames of the hand photo.
Costs frameCosts(const Mode& mode, const std::string& photo, int count) {
    Costs costs;
    GstBuffer* frame = cameraFrame(mode, photo, 1.0);
    if (!frame)
        return costs;
    std::vector<std::uint8_t> scratch;
    {
        JpegDecoder decoder(mode);
        Picture warm;
        decodeFrame(mode, frame, &decoder, warm);
        if (mode.jpeg) {
            const double before = palmcue::bench::processCpuSeconds();
            for (int i = 0; i < count; ++i) {
                Picture picture;
                decodeFrame(mode, frame, &decoder, picture);
            }
            costs.decodeMs = (palmcue::bench::processCpuSeconds() - before) * 1e3 / count;
        }
        if (const auto first = warm.bgra(scratch); !first) {
            std::fprintf(stderr, "palmcue-bench-modes: %s\n", first.error().c_str());
        } else {
            const double before = threadCpuMs();
            for (int i = 0; i < count; ++i)
                keep(warm.bgra(scratch));
            costs.convertMs = (threadCpuMs() - before) / count;
        }
    }
    gst_buffer_unref(frame);
    return costs;
}

struct Recognition {
    int right = 0;
    int scored = 0;
    int hands = 0;
    int photos = 0;
};

Recognition recognise(const Mode& mode, const std::vector<Photo>& photos, double scale,
                      palmcue::HandPoseService& pose) {
    Recognition result;
    JpegDecoder decoder(mode);
    std::vector<std::uint8_t> scratch;
    for (const Photo& photo : photos) {
        GstBuffer* frame = cameraFrame(mode, photo.file, scale);
        if (!frame)
            continue;
        Picture picture;
        if (decodeFrame(mode, frame, &decoder, picture)) {
            if (const auto view = picture.bgra(scratch)) {
                const auto verdict = palmcue::judgeFrame(pose, *view);
                ++result.photos;
                if (verdict && verdict->hand)
                    ++result.hands;
                const std::string got = verdict && verdict->single
                                            ? std::string(palmcue::kFingerNames[*verdict->single])
                                            : "-";
                if (photo.expect != "?") {
                    ++result.scored;
                    result.right += got == photo.expect;
                }
                if (verbose)
                    std::printf("  %s scale %.2f %s: %s, expected %s\n", mode.name, scale,
                                photo.file.c_str(), got.c_str(), photo.expect.c_str());
            }
        }
        gst_buffer_unref(frame);
    }
    return result;
}

} // namespace

int main(int argc, char** argv) {
    int decodes = 300;
    std::vector<double> scales = {1.0, 0.5};
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--verbose") {
            verbose = true;
            continue;
        }
        if (i + 1 == argc)
            break;
        ++i;
        if (option == "--decodes") {
            decodes = std::max(1, std::atoi(argv[i]));
        } else if (option == "--scales") {
            scales.clear();
            for (const QString& scale : QString::fromLocal8Bit(argv[i]).split(u','))
                scales.push_back(scale.toDouble());
        }
    }
    gst_init(&argc, &argv);
    const std::string hands = PALMCUE_SHARED_DIR "/hands";
    const std::vector<Photo> photos = labelledPhotos(hands);
    if (photos.empty()) {
        std::fprintf(stderr, "palmcue-bench-modes: no labelled photos in %s\n", hands.c_str());
        return 1;
    }
    palmcue::handpose::MediaPipeHandPose pose(palmcue::handpose::MediaPipeHandPose::Options{});
    if (const auto loaded = pose.load(); !loaded) {
        std::fprintf(stderr, "palmcue-bench-modes: %s\n", loaded.error().c_str());
        return 1;
    }
    std::printf("%-24s %10s %11s", "mode", "decode ms", "convert ms");
    for (double scale : scales)
        std::printf("   scale %.2f: right/scored hands/photos", scale);
    std::printf("\n");
    for (const Mode& mode : kModes) {
        const Costs costs = frameCosts(mode, hands + "/one_hagrid_01.jpg", decodes);
        std::printf("%-24s %10.2f %11.2f", mode.name, costs.decodeMs, costs.convertMs);
        for (double scale : scales) {
            const Recognition r = recognise(mode, photos, scale, pose);
            std::printf("   %25d/%d %5d/%d", r.right, r.scored, r.hands, r.photos);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    std::printf("load average at the end: %s\n", palmcue::bench::loadAverage().c_str());
    return 0;
}
