// SPDX-License-Identifier: Apache-2.0
// Only a finger raised on purpose reads as a single finger: the real models on the shared
// photos turned so that the finger points sideways or down, and landmark sets of everyday poses
// (a chin resting on a hand, a touchpad, a cup, a hand hanging down) never give one, while the
// photos tilted as people hold a hand up still read their finger.
#include "ModelFiles.h"
#include "engine/FingerClassifier.h"
#include "handpose/MediaPipeHandPose.h"
#include "support/EngineFakes.h"
#include "support/SharedData.h"

#include <QFileInfo>
#include <cmath>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace palmcue::handpose::test {
namespace {

using palmcue::test::syntheticHand;

// The photo turned clockwise by `degrees` on a white canvas large enough to hold it all.
cv::Mat turned(const cv::Mat& bgr, double degrees) {
    const cv::Point2f centre(bgr.cols / 2.0f, bgr.rows / 2.0f);
    cv::Mat rotation = cv::getRotationMatrix2D(centre, -degrees, 1.0);
    const cv::Rect2f bounds = cv::RotatedRect(centre, bgr.size(), float(degrees)).boundingRect2f();
    rotation.at<double>(0, 2) += bounds.width / 2.0 - centre.x;
    rotation.at<double>(1, 2) += bounds.height / 2.0 - centre.y;
    cv::Mat out;
    cv::warpAffine(bgr, out, rotation, bounds.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                   cv::Scalar(255, 255, 255));
    return out;
}

// What the app reads from a picture; no hand gives an all-unknown reading.
FingerReading read(MediaPipeHandPose& pose, const cv::Mat& bgr, bool& found) {
    pose.reset(); // each picture on its own
    cv::Mat bgra;
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    const auto hands = pose.detect({bgra.data, bgra.cols, bgra.rows, int(bgra.step[0])}, 1);
    found = hands && !hands->empty();
    return found ? classifyFingers(hands->front()) : FingerReading{};
}

// One letter a finger (initial when raised, lower case when extended elsewhere, "?" unknown,
// "." folded), then why each straight finger did not count.
std::string describe(const FingerReading& reading) {
    std::string text, why;
    for (int i = 0; i < kFingerCount; ++i) {
        const FingerState state = reading.states[i];
        text += state == FingerState::Raised     ? "TIMRP"[i]
                : state == FingerState::Extended ? "timrp"[i]
                : state == FingerState::Unknown  ? '?'
                                                 : '.';
        const NotRaised reason = reading.why[i];
        if (reason != NotRaised::No && reason != NotRaised::Bent)
            why +=
                " " + std::string(kFingerNames[i]) + " " + std::string(notRaisedText(reason)) + ";";
    }
    return text + why;
}

std::string singleText(const FingerReading& reading) {
    const auto single = getSingleRaised(reading);
    return single ? std::string(kFingerNames[*single]) : "-";
}

// Everyday poses are built from the synthetic hand (palm length 0.18, wrist at 0.5, 0.3).
// Straightens `finger` (0 thumb, from its MP joint; 1..4 from the knuckle) `length` palm
// lengths long, tilted `tilt` degrees clockwise from the picture's up.
void straighten(HandObservation& hand, int finger, double tilt, double length) {
    const int knuckle = finger == 0 ? static_cast<int>(JointName::ThumbMP)
                                    : static_cast<int>(JointName::IndexMCP) + 4 * (finger - 1);
    const int joints = finger == 0 ? 2 : 3;
    const Location at = hand.joints[knuckle]->location;
    const double step = length * 0.18 / joints, a = tilt * M_PI / 180.0;
    for (int j = 1; j <= joints; ++j)
        hand.joints[knuckle + j]->location = {at.x + j * step * std::sin(a),
                                              at.y + j * step * std::cos(a)};
}

// The hand seen at a slant: its extent along the picture's height shrinks to `share`.
void foreshorten(HandObservation& hand, double share) {
    const double y0 = hand.joints[0]->location.y;
    for (auto& joint : hand.joints)
        joint->location.y = y0 + (joint->location.y - y0) * share;
}

struct EverydayPose {
    const char* name;
    std::function<HandObservation()> hand;
};

const EverydayPose kEverydayPoses[] = {
    {"chin on the hand, index along the jaw",
     [] {
         HandObservation hand = syntheticHand({}, -10);
         straighten(hand, 1, 65, 0.95);
         return hand;
     }},
    {"chin on the hand, index along the other jaw",
     [] {
         HandObservation hand = syntheticHand({}, 10, true);
         straighten(hand, 1, -60, 0.95);
         return hand;
     }},
    {"chin on the thumb, index up the cheek",
     [] {
         HandObservation hand = syntheticHand({}, 0);
         straighten(hand, 1, -20, 0.95);
         straighten(hand, 0, 80, 0.6);
         return hand;
     }},
    {"index flat on a touchpad, the hand at the bottom",
     [] {
         HandObservation hand = syntheticHand({false, true, false, false, false}, 175);
         foreshorten(hand, 0.6);
         return hand;
     }},
    {"hand around a cup, little finger off it",
     [] {
         return syntheticHand({false, false, false, false, true}, 90);
     }},
    {"cup lifted to drink, little finger off it",
     [] {
         return syntheticHand({false, false, false, false, true}, 60, true);
     }},
    {"hand around a cup, index off it",
     [] {
         return syntheticHand({false, true, false, false, false}, -80);
     }},
    {"hand hanging at the side, index pointing down",
     [] {
         return syntheticHand({false, true, false, false, false}, 170);
     }},
    {"hand hanging at the side, middle pointing down",
     [] {
         return syntheticHand({false, false, true, false, false}, 195, true);
     }},
};

TEST(RaisedOnPurpose, FingersNotHeldUpNeverGiveASingleFinger) {
    int poses = 0, singles = 0;
    const auto report = [&](const std::string& pose, const std::string& what,
                            const FingerReading& reading) {
        ++poses;
        singles += getSingleRaised(reading).has_value();
        std::printf("%-52s %-8s %s\n", pose.c_str(), singleText(reading).c_str(), what.c_str());
        EXPECT_FALSE(getSingleRaised(reading)) << pose << ": " << what;
    };
    for (const EverydayPose& pose : kEverydayPoses) {
        const FingerReading reading = classifyFingers(pose.hand());
        report(pose.name, describe(reading), reading);
    }

    // One long finger raised, turned to point sideways or down; a thumbs-up turned to point
    // down (held out sideways, at 90 or 270 degrees, a thumb still counts).
    if (!palmcue::test::sharedHandsDir() || !modelDir()) {
        std::printf("(photos skipped: ../shared/hands or the hand models are absent)\n");
        return;
    }
    MediaPipeHandPose pose(MediaPipeHandPose::Options{*modelDir()});
    for (const auto& photo : palmcue::test::labelledPhotos()) {
        const bool thumb = photo.expect == QLatin1String("Thumb");
        if (photo.expect != QLatin1String("Index") && !thumb)
            continue; // no other long finger is raised alone in the photos
        const cv::Mat bgr = cv::imread(photo.file.toStdString(), cv::IMREAD_COLOR);
        ASSERT_FALSE(bgr.empty()) << photo.file.toStdString();
        for (const int degrees : {90, 135, 180, 225, 270}) {
            if (thumb && (degrees == 90 || degrees == 270))
                continue;
            bool found = false;
            const FingerReading reading = read(pose, turned(bgr, degrees), found);
            report(QFileInfo(photo.file).fileName().toStdString() + " turned " +
                       std::to_string(degrees),
                   found ? describe(reading) : "no hand", reading);
        }
    }
    std::printf("%d poses, %d read as a single finger\n", poses, singles);
}

TEST(RaisedOnPurpose, SingleFingerPhotosTiltedThirtyDegreesReadTheirFinger) {
    PALMCUE_SKIP_WITHOUT_SHARED_HANDS();
    PALMCUE_SKIP_WITHOUT_MODELS();
    MediaPipeHandPose pose(MediaPipeHandPose::Options{*modelDir()});
    int photos = 0;
    for (const auto& photo : palmcue::test::labelledPhotos()) {
        if (photo.expect != QLatin1String("Index") && photo.expect != QLatin1String("Thumb"))
            continue;
        const cv::Mat bgr = cv::imread(photo.file.toStdString(), cv::IMREAD_COLOR);
        ASSERT_FALSE(bgr.empty()) << photo.file.toStdString();
        for (const int degrees : {-30, 30}) {
            ++photos;
            bool found = false;
            const FingerReading reading = read(pose, turned(bgr, degrees), found);
            EXPECT_EQ(singleText(reading), photo.expect.toStdString())
                << QFileInfo(photo.file).fileName().toStdString() << " tilted " << degrees << ": "
                << (found ? describe(reading) : "no hand");
        }
    }
    EXPECT_GT(photos, 0);
}

} // namespace
} // namespace palmcue::handpose::test
