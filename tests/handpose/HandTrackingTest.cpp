// SPDX-License-Identifier: Apache-2.0
// Following a hand from frame to frame: the region the landmarks give for the next frame, and
// the real models on the shared photos held still, jumping across the frame, leaving it, and
// after a reset.
#include "ModelFiles.h"
#include "engine/FingerClassifier.h"
#include "handpose/HandRegion.h"
#include "handpose/MediaPipeHandPose.h"
#include "support/SharedData.h"

#include <QFileInfo>
#include <array>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <numbers>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace palmcue::handpose::test {
namespace {

// An open hand, fingers up, wrist at the origin, in pixels (y down); palm length 100.
std::array<PalmPoint, kJointCount> uprightHand() {
    std::array<PalmPoint, kJointCount> joints{};
    joints[0] = {0, 0};
    const double baseX[5] = {-40, -30, 0, 25, 50};
    for (int f = 0; f < 5; ++f)
        for (int k = 0; k < 4; ++k)
            joints[1 + 4 * f + k] = {baseX[f] * (1 + 0.1 * k), -(f == 0 ? 30 : 100) - 30.0 * k};
    return joints;
}

TEST(HandRegion, FromLandmarksTurnsWithTheHandAndCoversItsFingers) {
    const auto upright = uprightHand();
    const HandRegion straight = HandRegion::fromLandmarks(upright);
    EXPECT_NEAR(straight.rotation, 0.0, 0.1);
    // Twice the palm with the lower finger joints, which reach 130 px up from the wrist.
    EXPECT_NEAR(straight.size, 2 * 130, 1);
    // Its middle lies beyond the palm's middle, and the region reaches past the fingertips.
    EXPECT_LT(straight.centerY, -70);
    EXPECT_LT(straight.centerY - straight.size / 2, upright[12].y);

    for (const double degrees : {30.0, 90.0, -135.0, 180.0}) {
        const double a = degrees * std::numbers::pi / 180, c = std::cos(a), s = std::sin(a);
        std::array<PalmPoint, kJointCount> turned{};
        for (int j = 0; j < kJointCount; ++j)
            turned[j] = {500 + c * upright[j].x - s * upright[j].y,
                         300 + s * upright[j].x + c * upright[j].y};
        const HandRegion region = HandRegion::fromLandmarks(turned);
        const double off =
            std::remainder(region.rotation - straight.rotation - a, 2 * std::numbers::pi);
        EXPECT_NEAR(off, 0.0, 1e-9) << degrees;
        EXPECT_NEAR(region.size, straight.size, 1e-6) << degrees;
        EXPECT_NEAR(region.centerX, 500 + c * straight.centerX - s * straight.centerY, 1e-6);
        EXPECT_NEAR(region.centerY, 300 + s * straight.centerX + c * straight.centerY, 1e-6);
    }
}

struct Look {
    bool hand = false;
    bool palmRan = false;
    std::optional<int> single;
    cv::Rect box; // around the joints, in frame pixels
};

Look look(MediaPipeHandPose& pose, const cv::Mat& bgr) {
    cv::Mat bgra;
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    const auto hands = pose.detect({bgra.data, bgra.cols, bgra.rows, int(bgra.step[0])}, 1);
    EXPECT_TRUE(hands) << hands.error();
    Look seen;
    seen.palmRan = pose.lastStageTimes().palmRan;
    if (hands && !hands->empty()) {
        seen.hand = true;
        seen.single = getSingleRaised(classifyFingers(hands->front()));
        std::vector<cv::Point> points;
        for (const auto& joint : hands->front().joints)
            points.emplace_back(int(joint->location.x * bgr.cols),
                                int((1 - joint->location.y) * bgr.rows));
        seen.box = cv::boundingRect(points);
    }
    return seen;
}

// The photo scaled to the frame's height, at the left or the right edge of a grey 1280x720
// frame.
cv::Mat placed(const cv::Mat& photo, bool right) {
    cv::Mat frame(720, 1280, CV_8UC3, cv::Scalar(128, 128, 128));
    cv::Mat scaled;
    const double scale = std::min(720.0 / photo.rows, 600.0 / photo.cols);
    cv::resize(photo, scaled, {}, scale, scale, cv::INTER_AREA);
    scaled.copyTo(frame(cv::Rect(right ? 1280 - scaled.cols : 0, 0, scaled.cols, scaled.rows)));
    return frame;
}

std::string text(const Look& seen) {
    std::string out = seen.palmRan ? "palm+" : "";
    out += !seen.hand ? "none" : seen.single ? std::string(kFingerNames[*seen.single]) : "hand";
    return out;
}

TEST(HandTracking, FollowsAStillHandAndFindsAMovedOneAtOnce) {
    PALMCUE_SKIP_WITHOUT_SHARED_HANDS();
    PALMCUE_SKIP_WITHOUT_MODELS();
    MediaPipeHandPose pose({*modelDir(), 1});
    const cv::Mat empty(720, 1280, CV_8UC3, cv::Scalar(128, 128, 128));
    int photos = 0, firstRight = 0, followedRight = 0;
    std::printf("%-24s %-8s %-12s %-12s %-12s %-12s %-12s %s\n", "photo", "expect", "found",
                "still", "still", "jumped", "left", "after reset");
    for (const auto& photo : palmcue::test::labelledPhotos()) {
        const auto expect = photo.expect.toStdString();
        if (expect == "?" || expect == "-" || photo.note.contains(QStringLiteral("small")))
            continue;
        const cv::Mat bgr = cv::imread(photo.file.toStdString(), cv::IMREAD_COLOR);
        ASSERT_FALSE(bgr.empty());
        pose.reset();
        const Look found = look(pose, placed(bgr, false));
        if (!found.hand)
            continue; // what finds hands in photos is tested elsewhere
        ++photos;
        const Look still1 = look(pose, placed(bgr, false));
        const Look still2 = look(pose, placed(bgr, false));
        const Look jumped = look(pose, placed(bgr, true));
        // The hand leaves and the person stays: the hand painted over in the scene's colour.
        cv::Mat gone = placed(bgr, false);
        const cv::Rect& box = found.box;
        const int grow = std::max(box.width, box.height) / 4;
        cv::rectangle(gone,
                      {box.x - grow, box.y - grow, box.width + 2 * grow, box.height + 2 * grow},
                      cv::mean(gone), cv::FILLED);
        look(pose, placed(bgr, false)); // followed where it was painted over
        const Look left = look(pose, gone);
        const Look nothing = look(pose, empty);
        pose.reset();
        const Look afresh = look(pose, placed(bgr, true));
        std::printf("%-24s %-8s %-12s %-12s %-12s %-12s %-12s %s\n",
                    QFileInfo(photo.file).fileName().toStdString().c_str(), expect.c_str(),
                    text(found).c_str(), text(still1).c_str(), text(still2).c_str(),
                    text(jumped).c_str(), text(left).c_str(), text(afresh).c_str());
        auto right = [&](const Look& seen) {
            return seen.single && kFingerNames[*seen.single] == expect;
        };
        firstRight += right(found);
        followedRight += right(still1) + right(still2);
        const std::string name = photo.file.toStdString();
        EXPECT_TRUE(found.palmRan) << name;
        // Held still, the hand is followed: no palm detection.
        EXPECT_TRUE(still1.hand && !still1.palmRan) << name;
        EXPECT_TRUE(still2.hand && !still2.palmRan) << name;
        // Gone from where it was, it is looked for in that same frame, and found.
        EXPECT_TRUE(jumped.hand && jumped.palmRan) << name;
        // No ghost of the hand once it has gone.
        EXPECT_FALSE(left.hand) << name;
        EXPECT_TRUE(left.palmRan) << name;
        EXPECT_FALSE(nothing.hand) << name;
        EXPECT_TRUE(afresh.palmRan) << name;
    }
    std::printf("single finger right: %d of %d found, %d of %d followed\n", firstRight, photos,
                followedRight, 2 * photos);
    ASSERT_GT(photos, 0);
    // Following the hand reads its finger at least as well as finding it.
    EXPECT_GE(followedRight, 2 * firstRight);
}

} // namespace
} // namespace palmcue::handpose::test
