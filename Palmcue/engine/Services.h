// SPDX-License-Identifier: Apache-2.0
// The services the gesture engine relies on: hand-pose detection, camera capture,
// application launching and time. The engine sees only these interfaces; the real
// implementations live in handpose/, camera/, apps/ and desktop/, and the tests use fakes.
#pragma once

#include "engine/Result.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace palmcue {

class LivePreview;

class SerialQueue;

// ---------------------------------------------------------------------------------------------
// Hand pose

// The 21 hand joints, in the order the landmark model reports them.
enum class JointName : int {
    Wrist = 0,
    ThumbCMC,
    ThumbMP,
    ThumbIP,
    ThumbTip,
    IndexMCP,
    IndexPIP,
    IndexDIP,
    IndexTip,
    MiddleMCP,
    MiddlePIP,
    MiddleDIP,
    MiddleTip,
    RingMCP,
    RingPIP,
    RingDIP,
    RingTip,
    LittleMCP,
    LittlePIP,
    LittleDIP,
    LittleTip,
};
inline constexpr int kJointCount = 21;

const char* jointNameText(JointName joint);

struct Location {
    double x = 0.0;
    double y = 0.0;
};

// One joint of a detected hand. The location is normalised to 0..1 across the image with the
// origin at the lower-left corner and y growing upward.
struct RecognizedPoint {
    Location location;
    float confidence = 0.0f;
};

// One detected hand. A joint the detector could not place is absent: looking it up fails.
class HandObservation {
public:
    float confidence = 0.0f;
    // Width / height of the analysed picture. Locations are normalised per axis, so distances
    // and angles are measured after scaling x by this.
    double aspectRatio = 1.0;
    std::array<std::optional<RecognizedPoint>, kJointCount> joints{};

    std::optional<RecognizedPoint> recognizedPoint(JointName joint) const {
        return joints[static_cast<int>(joint)];
    }
    void setPoint(JointName joint, RecognizedPoint point) {
        joints[static_cast<int>(joint)] = point;
    }
};

// A tightly or loosely packed 32-bit BGRA picture, origin at the top-left corner.
struct ImageView {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int bytesPerRow = 0;
};

// Why hand-pose detection gave no answer: it could not run at all (no model, an unusable
// frame), or it ran and reported an error.
enum class HandPoseFault { PerformFailed, RequestFailed };

// The hands found in one picture, most confident first; none is an answer too.
using HandPoseResult = Result<std::vector<HandObservation>, HandPoseFault>;

// Hand-pose detection, one picture at a time. Called on the detection thread only. A service
// may follow a hand from one picture to the next; reset() makes the next picture start afresh
// (a new camera session, or a picture that could not be used).
class HandPoseService {
public:
    virtual ~HandPoseService() = default;
    virtual HandPoseResult detect(const ImageView& image, int maximumHandCount) = 0;
    virtual void reset() {}
};

// ---------------------------------------------------------------------------------------------
// Camera

// The picture of one captured frame, in whatever layout the camera delivered it. Conversion
// to BGRA happens only for frames that are analysed, on the detection thread.
class PixelBuffer {
public:
    virtual ~PixelBuffer() = default;
    // The picture as BGRA. Implementations that must convert write into `scratch`, which the
    // caller keeps between frames so that its memory is reused.
    virtual Result<ImageView> bgra(std::vector<std::uint8_t>& scratch) const = 0;
};

// One delivered frame; a frame may come without a picture.
struct SampleBuffer {
    std::shared_ptr<const PixelBuffer> imageBuffer;
};

// Receives the frames of a capture session, on the queue the session was given.
class SampleBufferDelegate {
public:
    virtual ~SampleBufferDelegate() = default;
    virtual void captureOutput(const SampleBuffer& sampleBuffer) = 0;
};

enum class CameraAuthorization { Authorized, Denied };

// One camera session, built by `CameraService::makeSession`.
class CaptureSession {
public:
    virtual ~CaptureSession() = default;
    // Frames go to `delegate` on `queue`. A frame that arrives while one is already waiting on
    // the queue is dropped (see SerialQueue::postFrame). Main thread, before startRunning().
    virtual void setSampleBufferDelegate(SampleBufferDelegate* delegate, SerialQueue* queue) = 0;
    // Blocking; runs on a background thread until the camera delivers its first frame, or
    // fails with the reason the camera could not be started.
    virtual Result<void> startRunning() = 0;
    // Main thread.
    virtual void stopRunning() = 0;
    virtual bool isRunning() const = 0; // main thread
    // The live picture for the preview panel; owned by the session.
    virtual LivePreview* previewLayer() = 0;
    // Called on the main thread when the camera fails while running (gone for good, taken by
    // another program, backend error). Set once, before startRunning().
    virtual void setFailureHandler(std::function<void(const std::string& reason)> handler) = 0;
    // Called on the main thread while running when the picture stops and the session waits
    // for it to come back by itself (a camera unplugged for a moment, one that pauses), with
    // the reason; and with none when the picture is back. A wait that lasts too long ends in
    // the failure handler. Set once, before startRunning().
    virtual void
    setInterruptionHandler(std::function<void(const std::optional<std::string>& reason)> handler) {
        (void)handler; // a session that never waits never calls it
    }
    // The camera format the session asked for, as the debug line names it ("1280x720 MJPEG
    // 30 fps"); empty when there is none to name (a file shown as a camera). Main thread.
    virtual std::string activeFormat() const { return {}; }
};

// Why no session could be built: there is no camera, the camera cannot be used, or the only
// camera gives no colour picture (an infrared one).
enum class CameraFault { NoCamera, CameraError, NoColourCamera };
using SessionBuild = Result<std::unique_ptr<CaptureSession>, CameraFault>;

class CameraService {
public:
    virtual ~CameraService() = default;
    virtual CameraAuthorization authorizationStatus() = 0;
    // The answer may arrive on any thread.
    virtual void requestAccess(std::function<void(bool granted)> answer) = 0;
    // Builds a session on the camera in use with its input and frame output added. Main thread.
    virtual SessionBuild makeSession() = 0;
};

// ---------------------------------------------------------------------------------------------
// Application launching

// Finds the application for a mapping text and opens it. Main thread.
class ApplicationLauncher {
public:
    // Nothing has the mapped name, or what has it refused to open.
    enum class Fault { NotFound, Failed };
    virtual ~ApplicationLauncher() = default;
    // `failedLater` runs on the main thread if the program turns out not to start after
    // `open` has succeeded (for example, its executable cannot be run).
    virtual Result<void, Fault>
    open(const std::string& appName,
         std::function<void(const std::string& reason)> failedLater) = 0;
};

// ---------------------------------------------------------------------------------------------
// Time

// Hold and cooldown times are measured on a monotonic clock so that setting the system clock
// does not stretch a cooldown or make a hold run backwards; wall time is only for the log text.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::steady_clock::time_point now() const = 0;
    // The local time of day as the launch log shows it.
    virtual std::string logTimeText() const = 0;
};

} // namespace palmcue
