// SPDX-License-Identifier: Apache-2.0
// The camera format a session asks for, chosen from format lists as Qt reads them from a
// webcam (the stand-in's).
#include "camera/CameraFormat.h"

#include "StandinFixture.h"

#include <QCameraDevice>
#include <QMediaDevices>

namespace palmcue::camera::test {
namespace {

using standin::Mode;
using standin::PixelFormat;

class CameraFormatTest : public StandinCameraTest {
protected:
    // The format chosen for a camera offering `modes`, as the debug line names it.
    std::string choiceFor(std::vector<Mode> modes) {
        standin::CameraSetup setup;
        setup.modes = std::move(modes);
        plug(setup);
        const QList<QCameraDevice> inputs = QMediaDevices::videoInputs();
        EXPECT_EQ(inputs.size(), 1);
        const std::string choice =
            inputs.isEmpty()
                ? ""
                : describeCameraFormat(chooseCameraFormat(inputs.front().videoFormats()));
        standin::unplugAll();
        EXPECT_TRUE(waitForCameras(0));
        return choice;
    }
};

TEST_F(CameraFormatTest, ATypicalLaptopWebcamRunsRaw640x480At30) {
    // MJPEG at 640x480 too, and at 1280x720 and 1920x1080, all needing decoding.
    EXPECT_EQ(choiceFor(standin::typicalWebcamModes()), "640x480 YUYV 30 fps");
}

TEST_F(CameraFormatTest, SmoothRateComesBeforeSize) {
    EXPECT_EQ(
        choiceFor({{PixelFormat::YUY2, 1280, 720, {10}}, {PixelFormat::MJPEG, 1280, 720, {30}}}),
        "1280x720 MJPEG 30 fps");
    // Below 25 fps everywhere: then the size decides.
    EXPECT_EQ(choiceFor({{PixelFormat::YUY2, 640, 480, {15}},
                         {PixelFormat::YUY2, 1280, 720, {10}},
                         {PixelFormat::YUY2, 1920, 1080, {5}}}),
              "640x480 YUYV 15 fps");
}

TEST_F(CameraFormatTest, SmallestSizeOf480LinesAndNeverAbove1080p) {
    EXPECT_EQ(
        choiceFor({{PixelFormat::NV12, 1920, 1080, {30}}, {PixelFormat::NV12, 960, 540, {30}}}),
        "960x540 NV12 30 fps");
    EXPECT_EQ(choiceFor({{PixelFormat::MJPEG, 640, 360, {30}},
                         {PixelFormat::MJPEG, 1280, 720, {30}},
                         {PixelFormat::MJPEG, 848, 480, {30}}}),
              "848x480 MJPEG 30 fps");
    // Only fewer lines: the most of them.
    EXPECT_EQ(choiceFor({{PixelFormat::YUY2, 352, 288, {30}}, {PixelFormat::YUY2, 320, 240, {30}}}),
              "352x288 YUYV 30 fps");
    EXPECT_EQ(
        choiceFor({{PixelFormat::MJPEG, 3840, 2160, {30}}, {PixelFormat::MJPEG, 1920, 1080, {30}}}),
        "1920x1080 MJPEG 30 fps");
    // Only larger sizes: the smallest of them.
    EXPECT_EQ(
        choiceFor({{PixelFormat::MJPEG, 3840, 2160, {30}}, {PixelFormat::MJPEG, 2560, 1440, {30}}}),
        "2560x1440 MJPEG 30 fps");
}

TEST_F(CameraFormatTest, RawBeforeMjpegAtEqualSizeAndRate) {
    EXPECT_EQ(
        choiceFor({{PixelFormat::MJPEG, 1280, 720, {30}}, {PixelFormat::YUY2, 1280, 720, {30}}}),
        "1280x720 YUYV 30 fps");
    EXPECT_EQ(
        choiceFor({{PixelFormat::MJPEG, 1280, 720, {30}}, {PixelFormat::I420, 1280, 720, {30}}}),
        "1280x720 I420 30 fps");
    // The rate nearest 30 decides before the format does.
    EXPECT_EQ(
        choiceFor({{PixelFormat::NV12, 1280, 720, {25}}, {PixelFormat::MJPEG, 1280, 720, {30}}}),
        "1280x720 MJPEG 30 fps");
    EXPECT_EQ(
        choiceFor({{PixelFormat::NV12, 1280, 720, {60}}, {PixelFormat::NV12, 1280, 720, {30}}}),
        "1280x720 NV12 30 fps");
}

TEST_F(CameraFormatTest, NoFormatsNoChoice) {
    EXPECT_TRUE(chooseCameraFormat({}).isNull());
    EXPECT_EQ(describeCameraFormat(QCameraFormat()), "");
}

} // namespace
} // namespace palmcue::camera::test
