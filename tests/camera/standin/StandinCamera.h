// SPDX-License-Identifier: Apache-2.0
// A stand-in webcam for tests and demos on machines without one: a GStreamer device provider
// whose cameras Qt Multimedia lists like real ones (class "Video/Source", a "device.path"
// property) and whose source element delivers a still picture or a video in whatever format
// was negotiated, at the negotiated rate.
//
// In a test process, registerInProcess() adds it before Qt Multimedia starts, and the test
// plugs and unplugs cameras itself. Built as a plugin file (libgstpalmcuestandin.so) and found
// through GST_PLUGIN_PATH, it offers the cameras its environment describes instead:
//   PALMCUE_STANDIN_PICTURE    still image or video shown (default: colour bars)
//   PALMCUE_STANDIN_PICTURE_SCALE   the picture's share of the frame, 0..1 (default 1)
//   PALMCUE_STANDIN_CAMERAS    how many cameras (default 1); the first is the default one
//   PALMCUE_STANDIN_MODES      the modes every camera offers instead of a laptop webcam's, as
//                              FORMAT:WIDTHxHEIGHT@FPS,... ("MJPEG:1280x720@30,YUY2:640x480@30")
//   PALMCUE_STANDIN_INFRARED   1: the first camera is an infrared one (greyscale modes only)
//   PALMCUE_STANDIN_BUSY       1: every camera fails to start as a busy device does
//   PALMCUE_STANDIN_START_DELAY_MS   the first frame comes this late
//   PALMCUE_STANDIN_PLUG_FILE  the first camera is plugged in only while this file exists
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace palmcue::standin {

enum class PixelFormat { YUY2, NV12, I420, GRAY8, MJPEG };

// One entry of a camera's format list.
struct Mode {
    PixelFormat format = PixelFormat::YUY2;
    int width = 0;
    int height = 0;
    std::vector<int> framesPerSecond; // highest first, as webcams list them
};

// What a typical laptop webcam offers: YUYV at 640x480@30 and 1280x720@10, MJPEG at 640x480,
// 1280x720 and 1920x1080, all @30.
std::vector<Mode> typicalWebcamModes();
// What the infrared camera beside it offers (for face login): greyscale 640x360 only.
std::vector<Mode> infraredModes();

// A fault of a running camera, at one of its frames, counted from the first frame the camera
// delivered since it was plugged in.
struct Glitch {
    enum class Kind {
        // From this frame on, frames of width x height. MJPEG frames simply are (the JPEG
        // header says so); raw frames come with new caps, as after a source change.
        Resize,
        Corrupt,  // `count` frames of noise: MJPEG ones cannot be decoded
        Truncate, // `count` MJPEG frames cut off halfway, as a transfer that lost its end
        Pause,    // nothing for `durationMs`, then frames again
    };
    Kind kind = Kind::Pause;
    int atFrame = 0;
    int width = 0;
    int height = 0;
    int count = 1;
    int durationMs = 0;
};

struct CameraSetup {
    std::string path = "/dev/video-standin0"; // "device.path", which Qt uses as the camera id
    std::string name = "Stand-in Camera";
    std::vector<Mode> modes = typicalWebcamModes();
    std::string picture;       // still image or video file; empty: colour bars
    double pictureScale = 1.0; // the picture's share of the frame; less is a hand further away
    bool isDefault = false;
    // Fails to start with GStreamer's resource-busy error, as a webcam in use elsewhere does.
    bool busy = false;
    int startDelayMs = 0; // the first frame comes this late after streaming starts
    // The first frame waits until releaseFirstFrame(): a start that takes as long as a test
    // needs.
    bool holdFirstFrame = false;
    std::vector<Glitch> glitches;
};

// What the camera's element last negotiated.
struct Negotiated {
    PixelFormat format = PixelFormat::YUY2;
    int width = 0;
    int height = 0;
    int framesPerSecond = 0;
};

const char* formatName(PixelFormat format); // "YUY2", "NV12", "I420", "GRAY8", "MJPEG"

// Initialises GStreamer if needed and registers the provider and its element statically.
// Call on the main thread before Qt Multimedia first looks at devices. Cameras then come only
// from plug().
void registerInProcess();

// Adds a camera as if it were plugged in; a camera already at setup.path is unplugged first.
void plug(const CameraSetup& setup);
// Removes the camera: elements streaming from it fail with a read error, as an unplugged
// webcam's do. Nothing happens if no camera has that path.
void unplug(const std::string& path);
void unplugAll();

// Lets the held first frame of the camera at `path` go.
void releaseFirstFrame(const std::string& path);

std::optional<Negotiated> negotiated(const std::string& path);
// Frames the camera at `path` has handed downstream since it was plugged.
int framesDelivered(const std::string& path);

} // namespace palmcue::standin
