// SPDX-License-Identifier: Apache-2.0
#include "StandinFixture.h"

#include "support/SharedData.h"

#include <QCameraDevice>
#include <QMediaDevices>
#include <cstdlib>

namespace palmcue::camera::test {
namespace {

// Before the first test, and so before Qt Multimedia first looks for cameras.
class StandinEnvironment : public ::testing::Environment {
public:
    void SetUp() override { standin::registerInProcess(); }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new StandinEnvironment);

} // namespace

const std::array<QColor, 4> kQuadrantColours = {QColor(220, 40, 40), QColor(40, 200, 60),
                                                QColor(40, 60, 220), QColor(230, 210, 40)};

void StandinCameraTest::SetUp() {
    ASSERT_TRUE(dir_.isValid());
}

void StandinCameraTest::TearDown() {
    standin::unplugAll();
    waitForCameras(0);
}

void StandinCameraTest::plug(const standin::CameraSetup& setup) {
    const int before = static_cast<int>(QMediaDevices::videoInputs().size());
    standin::plug(setup);
    ASSERT_TRUE(waitForCameras(before + 1)) << "Qt does not list the stand-in camera";
}

bool StandinCameraTest::waitForCameras(int count) {
    return palmcue::test::waitUntil(
        [count] { return QMediaDevices::videoInputs().size() == count; });
}

QString StandinCameraTest::quadrantPicture() {
    QImage image(640, 360, QImage::Format_RGB32);
    const int w = image.width() / 2;
    const int h = image.height() / 2;
    for (int q = 0; q < 4; ++q) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                image.setPixelColor(x + (q % 2) * w, y + (q / 2) * h, kQuadrantColours[q]);
        }
    }
    const QString path = dir_.filePath(QStringLiteral("quadrants.png"));
    EXPECT_TRUE(image.save(path));
    return path;
}

::testing::AssertionResult showsQuadrants(const ImageView& image, int tolerance) {
    if (!image.data || image.width < 4 || image.height < 4)
        return ::testing::AssertionFailure() << "no picture";
    for (int q = 0; q < 4; ++q) {
        const int x = image.width / 4 + (q % 2) * image.width / 2;
        const int y = image.height / 4 + (q / 2) * image.height / 2;
        const std::uint8_t* pixel =
            image.data + static_cast<std::size_t>(y) * image.bytesPerRow + x * 4;
        const QColor seen(pixel[2], pixel[1], pixel[0]);
        const QColor& wanted = kQuadrantColours[q];
        if (std::abs(seen.red() - wanted.red()) > tolerance ||
            std::abs(seen.green() - wanted.green()) > tolerance ||
            std::abs(seen.blue() - wanted.blue()) > tolerance)
            return ::testing::AssertionFailure()
                   << "quadrant " << q << " at (" << x << "," << y << ") is "
                   << seen.name().toStdString() << ", not " << wanted.name().toStdString();
    }
    return ::testing::AssertionSuccess();
}

} // namespace palmcue::camera::test
