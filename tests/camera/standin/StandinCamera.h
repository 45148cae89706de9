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
//   PALMCUE_STANDIN_CAMERAS    how many cameras (default 1); the first is the default one
//   PALMCUE_STANDIN_BUSY       1: every camera fails to start as a busy device does
//   PALMCUE_STANDIN_START_DELAY_MS   the first frame comes this late
//   PALMCUE_STANDIN_PLUG_FILE  the first camera is plugged in only while this file exists
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace palmcue::standin {

enum class PixelFormat { YUY2, NV12, I420, MJPEG };

// One entry of a camera's format list.
struct Mode {
    PixelFormat format = PixelFormat::YUY2;
    int width = 0;
    int height = 0;
    std::vector<int> framesPerSecond; // highest first, as webcams list them
};

// What a typical USB webcam offers: YUYV at 640x480@30, 1280x720@10 and 1920x1080@5, MJPEG at
// 1280x720@30 and 1920x1080@30, and the same sizes in NV12 and I420 at the YUYV rates.
std::vector<Mode> typicalWebcamModes();

struct CameraSetup {
    std::string path = "/dev/video-standin0"; // "device.path", which Qt uses as the camera id
    std::string name = "Stand-in Camera";
    std::vector<Mode> modes = typicalWebcamModes();
    std::string picture; // still image or video file; empty: colour bars
    bool isDefault = false;
    // Fails to start with GStreamer's resource-busy error, as a webcam in use elsewhere does.
    bool busy = false;
    int startDelayMs = 0; // the first frame comes this late after streaming starts
    // The first frame waits until releaseFirstFrame(): a start that takes as long as a test
    // needs.
    bool holdFirstFrame = false;
};

// What the camera's element last negotiated.
struct Negotiated {
    PixelFormat format = PixelFormat::YUY2;
    int width = 0;
    int height = 0;
    int framesPerSecond = 0;
};

const char* formatName(PixelFormat format); // "YUY2", "NV12", "I420", "MJPEG"

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
