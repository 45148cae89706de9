// SPDX-License-Identifier: Apache-2.0
// Sessions of the Qt Multimedia camera on the stand-in webcam: what arrives at the detection
// queue for each pixel format a webcam delivers, and frames that keep coming after the start.
#include "StandinFixture.h"
#include "StartOnPool.h"
#include "camera/GstTracerHook.h"
#include "camera/QtCameraService.h"
#include "camera/SourceSession.h"
#include "engine/SerialQueue.h"
#include "support/SharedData.h"

#include <gst/gst.h>

namespace palmcue::camera::test {
namespace {

using palmcue::test::waitUntil;
using standin::PixelFormat;

// Keeps a BGRA copy of the first frame it is given and counts the rest.
class PictureDelegate : public SampleBufferDelegate {
public:
    void captureOutput(const SampleBuffer& sample) override {
        if (frames.load() == 0 && sample.imageBuffer) {
            if (const auto view = sample.imageBuffer->bgra(scratch_)) {
                const std::size_t bytes =
                    static_cast<std::size_t>(view->bytesPerRow) * view->height;
                pixels.assign(view->data, view->data + bytes);
                picture = {pixels.data(), view->width, view->height, view->bytesPerRow};
            } else {
                error = view.error();
            }
        }
        ++frames; // published last: the test reads the picture once it sees a frame
    }
    std::atomic<int> frames{0};
    std::vector<std::uint8_t> pixels;
    ImageView picture;
    std::string error;

private:
    std::vector<std::uint8_t> scratch_;
};

class QtCameraSessionTest : public StandinCameraTest {
protected:
    std::unique_ptr<CaptureSession> makeSession() {
        SessionBuild build = QtCameraService().makeSession();
        EXPECT_TRUE(build) << build.error();
        return build ? std::move(*build) : nullptr;
    }

    std::unique_ptr<PictureDelegate> delegateOwner_ = std::make_unique<PictureDelegate>();
    PictureDelegate& delegate_ = *delegateOwner_;
    SerialQueue queue_{QStringLiteral("test.detect")}; // joined before the delegate goes
};

class FormatTest : public QtCameraSessionTest, public ::testing::WithParamInterface<PixelFormat> {};

TEST_P(FormatTest, ArrivesAsTheCameraSawIt) {
    standin::CameraSetup setup;
    setup.modes = {{GetParam(), 640, 360, {30}}};
    setup.picture = quadrantPicture().toStdString();
    plug(setup);

    auto session = makeSession();
    ASSERT_TRUE(session);
    session->setSampleBufferDelegate(&delegate_, &queue_);
    std::string error;
    ASSERT_TRUE(startOnPool(*session, error)) << error;
    ASSERT_TRUE(waitUntil([&] { return delegate_.frames >= 1; }, 15000));

    const auto negotiated = standin::negotiated(setup.path);
    ASSERT_TRUE(negotiated);
    EXPECT_EQ(negotiated->format, GetParam());
    EXPECT_EQ(session->activeFormat(),
              std::string("640x360 ") +
                  (GetParam() == PixelFormat::YUY2    ? "YUYV"
                   : GetParam() == PixelFormat::MJPEG ? "MJPEG"
                                                      : standin::formatName(GetParam())) +
                  " 30 fps");
    ASSERT_TRUE(delegate_.error.empty()) << delegate_.error;
    EXPECT_EQ(delegate_.picture.width, 640);
    EXPECT_EQ(delegate_.picture.height, 360);
    // Chroma subsampling, range and matrix conversions and JPEG leave a few levels of error;
    // a wrong matrix, swapped planes or a mirrored or flipped picture leave far more.
    EXPECT_TRUE(showsQuadrants(delegate_.picture, 24));
    session->stopRunning();
}

INSTANTIATE_TEST_SUITE_P(WebcamFormats, FormatTest,
                         ::testing::Values(PixelFormat::YUY2, PixelFormat::NV12, PixelFormat::I420,
                                           PixelFormat::MJPEG),
                         [](const auto& info) { return standin::formatName(info.param); });

// Qt 6.4 builds the camera's branch of its pipeline when the camera is set on the capture
// session. A video sink set after that is swapped in while the pipeline is still on its way to
// PLAYING, and that move can pass the new sink over: it shows one frame and then waits in
// PAUSED. This hook holds such a swap up for longer than the move takes, so that a session
// built in that order loses the race every time instead of now and then under load.
void holdUpSwapIntoARunningPipeline(GObject*, GstClockTime, GstBin* bin, GstElement* element) {
    if (g_strcmp0(GST_OBJECT_NAME(bin), "videoOutput") == 0 && GST_OBJECT_PARENT(bin) &&
        g_strcmp0(GST_OBJECT_NAME(element), "videoSinkBin") == 0)
        g_usleep(300 * 1000);
}

TEST_F(QtCameraSessionTest, FramesKeepComingAfterTheFirst) {
    static const bool installed = [] {
        addGstTracerHook("bin-add-pre", G_CALLBACK(holdUpSwapIntoARunningPipeline));
        return true;
    }();
    ASSERT_TRUE(installed);
    standin::CameraSetup setup;
    setup.modes = {{PixelFormat::I420, 320, 180, {30}}};
    plug(setup);

    // Several sessions in a row: each one builds its pipeline anew.
    for (int round = 0; round < 3; ++round) {
        auto session = makeSession();
        ASSERT_TRUE(session);
        delegate_.frames = 0;
        session->setSampleBufferDelegate(&delegate_, &queue_);
        std::string error;
        ASSERT_TRUE(startOnPool(*session, error)) << error;
        if (!waitUntil([&] { return delegate_.frames >= 10; }, 15000)) {
            // Stopping a pipeline stuck this way can hang in GStreamer: the session is left.
            [[maybe_unused]] CaptureSession* left = session.release();
            FAIL() << "round " << round << ": " << delegate_.frames << " frames, then none";
        }
        session->stopRunning();
        session->setSampleBufferDelegate(nullptr, nullptr);
    }
}

} // namespace
} // namespace palmcue::camera::test
