// The finger classifier on synthetic hands: poses at several rotations, left and right hands,
// the confidence threshold and the rules for joints that cannot be looked up.
#include "engine/FingerClassifier.h"

#include "support/EngineFakes.h"

#include <gtest/gtest.h>

using namespace palmcue;
using namespace palmcue::test;

namespace {

using Flags = FingerFlags;

std::string describe(const Flags& f) {
    std::string text;
    for (bool b : f)
        text += b ? '1' : '0';
    return text;
}

struct Pose {
    const char* name;
    Flags raised;
};

constexpr Pose kPoses[] = {
    {"thumb", {true, false, false, false, false}},
    {"index", {false, true, false, false, false}},
    {"middle", {false, false, true, false, false}},
    {"ring", {false, false, false, true, false}},
    {"pinky", {false, false, false, false, true}},
    {"fist, thumb across", {false, false, false, false, false}},
    {"open hand", {true, true, true, true, true}},
    {"four fingers, thumb folded", {false, true, true, true, true}},
    {"V sign", {false, true, true, false, false}},
    {"call sign", {true, false, false, false, true}},
    {"rock sign", {false, true, false, false, true}},
};

} // namespace

TEST(FingerClassifier, ReadsEveryPoseWhateverTheRotationAndHand) {
    for (const Pose& pose : kPoses) {
        for (double rotation : {-60.0, 0.0, 60.0}) {
            for (bool mirrored : {false, true}) {
                for (double aspect : {1.0, 16.0 / 9.0}) {
                    HandObservation hand = syntheticHand(pose.raised, rotation, mirrored);
                    // Squeeze x as a wide picture's normalised coordinates would.
                    for (auto& joint : hand.joints)
                        joint->location.x = 0.5 + (joint->location.x - 0.5) / aspect;
                    hand.aspectRatio = aspect;
                    EXPECT_EQ(describe(classifyFingers(hand)), describe(pose.raised))
                        << pose.name << " at " << rotation << " degrees"
                        << (mirrored ? ", mirrored" : "") << ", aspect " << aspect;
                }
            }
        }
    }
}

TEST(FingerClassifier, ThumbUpWithTheFistTurnedSideways) {
    // The thumb points straight up, the curled fingers point sideways.
    for (double rotation : {-45.0, 45.0}) {
        const HandObservation hand =
            syntheticHand({true, false, false, false, false}, rotation, rotation > 0);
        EXPECT_EQ(describe(classifyFingers(hand)), "10000") << rotation;
        EXPECT_EQ(getSingleRaised(classifyFingers(hand)), 0);
    }
}

TEST(FingerClassifier, ThumbRestingAgainstTheHandIsNotRaised) {
    HandObservation hand = syntheticHand({false, true, false, false, false});
    // Thumb straight but laid along the index finger's base.
    const Location indexMcp = hand.recognizedPoint(JointName::IndexMCP)->location;
    const Location mp = hand.recognizedPoint(JointName::ThumbMP)->location;
    hand.setPoint(JointName::ThumbIP,
                  {{(mp.x + indexMcp.x) / 2, (mp.y + indexMcp.y) / 2 + 0.01}, 0.9f});
    hand.setPoint(JointName::ThumbTip, {{indexMcp.x + 0.005, indexMcp.y + 0.02}, 0.9f});
    EXPECT_EQ(describe(classifyFingers(hand)), "01000");
}

TEST(FingerClassifier, FingerPointingAtTheCameraIsNotRaised) {
    HandObservation hand = syntheticHand({false, true, false, false, false});
    // Foreshortened: the whole straight index finger spans a fifth of the palm in the picture.
    const Location mcp = hand.recognizedPoint(JointName::IndexMCP)->location;
    hand.setPoint(JointName::IndexPIP, {{mcp.x, mcp.y + 0.01}, 0.9f});
    hand.setPoint(JointName::IndexDIP, {{mcp.x, mcp.y + 0.02}, 0.9f});
    hand.setPoint(JointName::IndexTip, {{mcp.x, mcp.y + 0.03}, 0.9f});
    EXPECT_EQ(describe(classifyFingers(hand)), "00000");
}

TEST(FingerClassifier, ConfidenceMustBeAboveTheThresholdInSinglePrecision) {
    const Flags open{true, true, true, true, true};
    HandObservation hand = syntheticHand(open);
    hand.joints[static_cast<int>(JointName::IndexTip)]->confidence = 0.2f;
    hand.joints[static_cast<int>(JointName::ThumbIP)]->confidence = 0.2f;
    EXPECT_EQ(describe(classifyFingers(hand)), "00111");
    hand.joints[static_cast<int>(JointName::IndexTip)]->confidence = std::nextafter(0.2f, 1.0f);
    EXPECT_EQ(describe(classifyFingers(hand)), "01111");

    EXPECT_EQ(describe(classifyFingers(syntheticHand(open, 0, false, 0.2f))), "00000");
}

TEST(FingerClassifier, FailedLookupsEndTheClassification) {
    const Flags open{true, true, true, true, true};
    const auto without = [&](JointName joint) {
        HandObservation hand = syntheticHand(open);
        hand.joints[static_cast<int>(joint)].reset();
        return describe(classifyFingers(hand));
    };
    // The thumb and the palm it is measured against: nothing is classified.
    for (JointName joint : {JointName::ThumbTip, JointName::ThumbIP, JointName::ThumbMP,
                            JointName::Wrist, JointName::ThumbCMC, JointName::MiddleMCP})
        EXPECT_EQ(without(joint), "00000") << jointNameText(joint);
    // A finger's own joint: the fingers before it keep their flags, it and the rest are false.
    EXPECT_EQ(without(JointName::RingTip), "11100");
    EXPECT_EQ(without(JointName::RingDIP), "11100");
    EXPECT_EQ(without(JointName::LittleMCP), "11110");
    EXPECT_EQ(without(JointName::IndexPIP), "10000") << "the thumb is judged before the index";
}

TEST(FingerClassifier, DegenerateHandsAreFolded) {
    HandObservation hand; // every joint at the same place
    for (auto& joint : hand.joints)
        joint = RecognizedPoint{{0.5, 0.5}, 0.9f};
    EXPECT_EQ(describe(classifyFingers(hand)), "00000");
    hand = syntheticHand({true, true, true, true, true});
    hand.aspectRatio = std::nan("");
    EXPECT_EQ(describe(classifyFingers(hand)), "11111") << "a bad aspect ratio falls back to 1";
}

TEST(FingerClassifier, SingleRaisedFingerOnlyForExactlyOne) {
    EXPECT_EQ(getSingleRaised({false, false, false, false, true}), 4);
    EXPECT_EQ(getSingleRaised({true, false, false, false, false}), 0);
    EXPECT_FALSE(getSingleRaised({false, false, false, false, false}));
    EXPECT_FALSE(getSingleRaised({false, true, true, false, false}));
    EXPECT_FALSE(getSingleRaised({true, true, true, true, true}));
}
