// SPDX-License-Identifier: Apache-2.0
// The cameras as Qt lists them from the stand-in webcam: the default one (never an infrared
// camera while a colour one exists), finding a named one, the same one after a replug, and the
// list --list-cameras prints.
#include "camera/CameraDevices.h"

#include "StandinFixture.h"

#include <QMediaDevices>
#include <gmock/gmock.h>

namespace palmcue::camera::test {
namespace {

using standin::PixelFormat;
using ::testing::HasSubstr;

class CameraDevicesTest : public StandinCameraTest {
protected:
    QCameraDevice plugCamera(const std::string& name, std::vector<standin::Mode> modes,
                             bool isDefault = false) {
        standin::CameraSetup setup;
        setup.path = "/dev/video-standin" + std::to_string(plugged_++);
        setup.name = name;
        setup.modes = std::move(modes);
        setup.isDefault = isDefault;
        plug(setup);
        for (const QCameraDevice& camera : QMediaDevices::videoInputs()) {
            if (camera.description() == QString::fromStdString(name))
                return camera;
        }
        ADD_FAILURE() << name << " is not listed";
        return {};
    }

    int plugged_ = 0;
};

TEST_F(CameraDevicesTest, AnInfraredCameraIsNeverTheDefaultWhileAColourOneExists) {
    const QCameraDevice infrared =
        plugCamera("Integrated IR Camera", standin::infraredModes(), /*isDefault=*/true);
    EXPECT_FALSE(givesColour(infrared));
    EXPECT_EQ(defaultCamera(QMediaDevices::videoInputs(), QMediaDevices::defaultVideoInput()),
              infrared); // alone, it is the one there is

    const QCameraDevice colour = plugCamera("Integrated Camera", standin::typicalWebcamModes());
    EXPECT_TRUE(givesColour(colour));
    const QList<QCameraDevice> cameras = QMediaDevices::videoInputs();
    ASSERT_EQ(QMediaDevices::defaultVideoInput(), infrared);
    EXPECT_EQ(defaultCamera(cameras, QMediaDevices::defaultVideoInput()), colour);

    const QString listing = describeCameras(cameras, colour);
    const QString irId = QString::fromUtf8(infrared.id());
    const QString colourId = QString::fromUtf8(colour.id());
    EXPECT_EQ(listing, irId +
                           QStringLiteral(": Integrated IR Camera  [infrared: greyscale only]\n"
                                          "    640x360 Y8 30 fps  [chosen]\n") +
                           colourId +
                           QStringLiteral(": Integrated Camera  [default]\n"
                                          "    640x480 YUYV 30 fps  [chosen]\n"
                                          "    1280x720 YUYV 10 fps\n"
                                          "    640x480 MJPEG 30 fps\n"
                                          "    1280x720 MJPEG 30 fps\n"
                                          "    1920x1080 MJPEG 30 fps"));
}

TEST_F(CameraDevicesTest, ACameraIsNamedByItsIdOrAPartOfItsNameThatIsItsAlone) {
    const std::vector<standin::Mode> modes = {{PixelFormat::YUY2, 640, 480, {30}}};
    const QCameraDevice laptop = plugCamera("Laptop Webcam", modes);
    const QCameraDevice usb = plugCamera("USB Webcam C920", modes);
    const QCameraDevice pro = plugCamera("USB Webcam C920 Pro", modes);
    const QList<QCameraDevice> cameras = QMediaDevices::videoInputs();

    EXPECT_EQ(*findCamera(cameras, QString::fromUtf8(usb.id())), usb);
    EXPECT_EQ(*findCamera(cameras, QStringLiteral("laptop")), laptop);
    // A whole name is that camera, even where it is part of another's.
    EXPECT_EQ(*findCamera(cameras, QStringLiteral("usb webcam c920")), usb);
    EXPECT_EQ(*findCamera(cameras, QStringLiteral("Pro")), pro);

    const auto several = findCamera(cameras, QStringLiteral("C920"));
    ASSERT_FALSE(several);
    EXPECT_THAT(several.error(), HasSubstr("'C920' names more than one camera"));
    EXPECT_THAT(several.error(), HasSubstr(usb.id().toStdString() + ": USB Webcam C920\n"));
    EXPECT_THAT(several.error(), ::testing::Not(HasSubstr("Laptop")));
    const auto none = findCamera(cameras, QStringLiteral("Studio"));
    ASSERT_FALSE(none);
    EXPECT_THAT(none.error(), HasSubstr("no camera 'Studio'; the cameras are:\n  " +
                                        laptop.id().toStdString() + ": Laptop Webcam\n"));
    EXPECT_EQ(findCamera({}, QStringLiteral("0")).error(), "no camera '0'; no camera is connected");

    // Plugged back in, the camera is listed under a new id, and still found.
    standin::unplug("/dev/video-standin1");
    ASSERT_TRUE(waitForCameras(2));
    EXPECT_TRUE(sameCamera(QMediaDevices::videoInputs(), usb).isNull());
    const QCameraDevice again = plugCamera("USB Webcam C920", modes);
    EXPECT_NE(again.id(), usb.id());
    EXPECT_EQ(sameCamera(QMediaDevices::videoInputs(), usb), again);
}

} // namespace
} // namespace palmcue::camera::test
