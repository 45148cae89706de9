// SPDX-License-Identifier: Apache-2.0
// What the tests of the real camera path share: the stand-in camera registered in this process
// before Qt Multimedia starts, unplugged again after every test, and a test picture whose
// colours say where each part of it went.
#pragma once

#include "StandinCamera.h"
#include "engine/Services.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <array>
#include <atomic>
#include <gtest/gtest.h>
#include <vector>

namespace palmcue::camera::test {

// Red top left, green top right, blue bottom left, yellow bottom right.
extern const std::array<QColor, 4> kQuadrantColours;

class StandinCameraTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Plugs `setup` in and waits until Qt lists it.
    void plug(const standin::CameraSetup& setup);
    // Waits until Qt lists `count` cameras.
    static bool waitForCameras(int count);

    // A 16:9 picture in the four kQuadrantColours, written as a PNG into the test's folder.
    QString quadrantPicture();

    QTemporaryDir dir_;
};

// Where each of the four quadrant colours is in `image` (BGRA), sampled at the quadrants'
// centres, and whether each is within `tolerance` of the colour that belongs there.
::testing::AssertionResult showsQuadrants(const ImageView& image, int tolerance);

} // namespace palmcue::camera::test
