// SPDX-License-Identifier: Apache-2.0
// The finger classifier on synthetic hands: poses at several rotations, left and right hands,
// the confidence threshold, hands at the picture's edges, and the rules for joints that cannot
// be looked up. Readings are written one character a finger: 1 raised, 0 folded, ? unknown,
// x extended but not pointing up.
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

std::string describe(const FingerReading& reading) {
    std::string text;
    for (FingerState state : reading.states)
        text += state == FingerState::Raised     ? '1'
                : state == FingerState::Folded   ? '0'
                : state == FingerState::Extended ? 'x'
                                                 : '?';
    return text;
}

// The published flags of a hand: an unknown finger shows as not raised.
std::string flagsOf(const HandObservation& hand) {
    return describe(classifyFingers(hand).flags());
}

std::string readingOf(const HandObservation& hand) {
    return describe(classifyFingers(hand));
}

FingerReading reading(const std::string& text) {
    FingerReading r;
    for (int i = 0; i < kFingerCount; ++i)
        r.states[i] = text[i] == '1'   ? FingerState::Raised
                      : text[i] == '0' ? FingerState::Folded
                      : text[i] == 'x' ? FingerState::Extended
                                       : FingerState::Unknown;
    return r;
}

RecognizedPoint& joint(HandObservation& hand, JointName name) {
    return *hand.joints[static_cast<int>(name)];
}

// Moves the whole hand across the picture, in normalised units.
void shift(HandObservation& hand, double dx, double dy) {
    for (auto& point : hand.joints) {
        point->location.x += dx;
        point->location.y += dy;
    }
}

// The hand as a wide picture's normalised coordinates show it: x squeezed by `aspect`.
HandObservation squeezed(HandObservation hand, double aspect) {
    for (auto& joint : hand.joints)
        joint->location.x = 0.5 + (joint->location.x - 0.5) / aspect;
    hand.aspectRatio = aspect;
    return hand;
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

TEST(FingerClassifier, ReadsEveryPoseTiltedEitherWayWhateverTheHand) {
    for (const Pose& pose : kPoses) {
        for (double rotation : {-30.0, 0.0, 30.0}) {
            for (bool mirrored : {false, true}) {
                for (double aspect : {1.0, 16.0 / 9.0}) {
                    const HandObservation hand =
                        squeezed(syntheticHand(pose.raised, rotation, mirrored), aspect);
                    EXPECT_EQ(readingOf(hand), describe(pose.raised))
                        << pose.name << " at " << rotation << " degrees"
                        << (mirrored ? ", mirrored" : "") << ", aspect " << aspect;
                }
            }
        }
    }
}

TEST(FingerClassifier, AFingerCountsOnlyPointingUp) {
    // The index alone, turned (degrees counter-clockwise); in a wide picture too, where the
    // squeezed x would make a finger pointing sideways look upright.
    struct Case {
        double rotation;
        const char* reading;
        NotRaised why;
    };
    const Case index[] = {{45, "01000", NotRaised::No},       {-45, "01000", NotRaised::No},
                          {55, "0x000", NotRaised::Sideways}, {-90, "0x000", NotRaised::Sideways},
                          {135, "0x000", NotRaised::Down},    {180, "0x000", NotRaised::Down}};
    // The thumb leans out of the hand (46.5 degrees clockwise when upright): up or held out
    // sideways it counts, pointing down it does not.
    const Case thumb[] = {{45, "10000", NotRaised::No},
                          {-40, "10000", NotRaised::No},
                          {-60, "x0000", NotRaised::Down},
                          {180, "x0000", NotRaised::Down}};
    const auto check = [](const Flags& raised, const Case& c, int finger) {
        for (bool mirrored : {false, true}) {
            for (double aspect : {1.0, 16.0 / 9.0}) {
                const double rotation = mirrored ? -c.rotation : c.rotation;
                const FingerReading reading =
                    classifyFingers(squeezed(syntheticHand(raised, rotation, mirrored), aspect));
                SCOPED_TRACE(::testing::Message()
                             << kFingerNames[finger] << " at " << rotation
                             << (mirrored ? ", mirrored" : "") << ", aspect " << aspect);
                EXPECT_EQ(describe(reading), c.reading);
                EXPECT_EQ(reading.why[finger], c.why);
                EXPECT_EQ(getSingleRaised(reading),
                          c.why == NotRaised::No ? std::optional<int>(finger) : std::nullopt);
            }
        }
    };
    for (const Case& c : index)
        check({false, true, false, false, false}, c, 1);
    for (const Case& c : thumb)
        check({true, false, false, false, false}, c, 0);
}

TEST(FingerClassifier, ThumbUpWithTheFistTurnedSideways) {
    // The thumb points straight up, the curled fingers point sideways.
    for (double rotation : {-45.0, 45.0}) {
        const HandObservation hand =
            syntheticHand({true, false, false, false, false}, rotation, rotation < 0);
        EXPECT_EQ(readingOf(hand), "10000") << rotation;
        EXPECT_EQ(getSingleRaised(classifyFingers(hand)), 0);
    }
}

TEST(FingerClassifier, AnExtendedFingerNotPointingUpRulesOutASingleFinger) {
    // A V sign tilted so far that the index points sideways: the middle finger is not alone.
    const HandObservation hand = syntheticHand({false, true, true, false, false}, 50, true);
    EXPECT_EQ(readingOf(hand), "0x100");
    EXPECT_EQ(flagsOf(hand), "00100");
    EXPECT_FALSE(getSingleRaised(classifyFingers(hand)));
    EXPECT_FALSE(getSingleRaised(reading("0x100")));
    EXPECT_FALSE(getSingleRaised(reading("x0001")));
}

TEST(FingerClassifier, ThumbRestingAgainstTheHandIsNotRaised) {
    HandObservation hand = syntheticHand({false, true, false, false, false});
    // Thumb straight but laid along the index finger's base.
    const Location indexMcp = hand.recognizedPoint(JointName::IndexMCP)->location;
    const Location mp = hand.recognizedPoint(JointName::ThumbMP)->location;
    hand.setPoint(JointName::ThumbIP,
                  {{(mp.x + indexMcp.x) / 2, (mp.y + indexMcp.y) / 2 + 0.01}, 0.9f});
    hand.setPoint(JointName::ThumbTip, {{indexMcp.x + 0.005, indexMcp.y + 0.02}, 0.9f});
    EXPECT_EQ(readingOf(hand), "01000");
    EXPECT_EQ(classifyFingers(hand).why[0], NotRaised::Touching);
}

TEST(FingerClassifier, FingerPointingAtTheCameraIsNotRaised) {
    HandObservation hand = syntheticHand({false, true, false, false, false});
    // Foreshortened: the whole straight index finger spans a fifth of the palm in the picture.
    const Location mcp = hand.recognizedPoint(JointName::IndexMCP)->location;
    hand.setPoint(JointName::IndexPIP, {{mcp.x, mcp.y + 0.01}, 0.9f});
    hand.setPoint(JointName::IndexDIP, {{mcp.x, mcp.y + 0.02}, 0.9f});
    hand.setPoint(JointName::IndexTip, {{mcp.x, mcp.y + 0.03}, 0.9f});
    EXPECT_EQ(readingOf(hand), "00000");
    EXPECT_EQ(classifyFingers(hand).why[1], NotRaised::TowardCamera);
}

TEST(FingerClassifier, ConfidenceMustBeAboveTheThresholdInSinglePrecision) {
    const Flags open{true, true, true, true, true};
    HandObservation hand = syntheticHand(open);
    joint(hand, JointName::IndexTip).confidence = 0.2f;
    joint(hand, JointName::ThumbIP).confidence = 0.2f;
    EXPECT_EQ(flagsOf(hand), "00111");
    EXPECT_EQ(readingOf(hand), "??111") << "a finger without its usable joints is not judged";
    joint(hand, JointName::IndexTip).confidence = std::nextafter(0.2f, 1.0f);
    EXPECT_EQ(flagsOf(hand), "01111");

    EXPECT_EQ(flagsOf(syntheticHand(open, 0, false, 0.2f)), "00000");
    EXPECT_EQ(readingOf(syntheticHand(open, 0, false, 0.2f)), "?????");
}

TEST(FingerClassifier, FailedLookupsEndTheClassification) {
    const Flags open{true, true, true, true, true};
    const auto without = [&](JointName joint) {
        HandObservation hand = syntheticHand(open);
        hand.joints[static_cast<int>(joint)].reset();
        return flagsOf(hand);
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

    // The fingers left out are unknown, so no single finger stands out among the rest.
    HandObservation hand = syntheticHand({false, true, false, false, false});
    hand.joints[static_cast<int>(JointName::MiddleTip)].reset();
    EXPECT_EQ(readingOf(hand), "01???");
    EXPECT_FALSE(getSingleRaised(classifyFingers(hand)));
    hand.joints[static_cast<int>(JointName::Wrist)].reset();
    EXPECT_EQ(readingOf(hand), "?????");
}

TEST(FingerClassifier, DegenerateHandsAreFolded) {
    HandObservation hand; // every joint at the same place
    for (auto& point : hand.joints)
        point = RecognizedPoint{{0.5, 0.5}, 0.9f};
    EXPECT_EQ(flagsOf(hand), "00000");
    EXPECT_EQ(readingOf(hand), "?????") << "no palm to measure against";
    hand = syntheticHand({true, true, true, true, true});
    hand.aspectRatio = std::nan("");
    EXPECT_EQ(flagsOf(hand), "11111") << "a bad aspect ratio falls back to 1";
}

TEST(FingerClassifier, WristBelowThePictureStillReads) {
    // A hand held close to the camera: the wrist is below the picture and the detector trusts
    // its place little, but the palm and the fingers are in view.
    for (bool mirrored : {false, true}) {
        HandObservation hand = syntheticHand({false, true, false, false, false}, 0, mirrored);
        shift(hand, 0, -0.33);
        ASSERT_LT(joint(hand, JointName::Wrist).location.y, 0.0);
        joint(hand, JointName::Wrist).confidence = 0.0f;
        EXPECT_EQ(readingOf(hand), "01000");
        EXPECT_EQ(getSingleRaised(classifyFingers(hand)), 1);
        // The thumb's base is lost too: a thumb against the fingers still reads folded, one
        // held clear of them cannot be told.
        joint(hand, JointName::ThumbCMC).confidence = 0.0f;
        EXPECT_EQ(readingOf(hand), "01000");
        HandObservation thumb = syntheticHand({true, false, false, false, false}, 0, mirrored);
        shift(thumb, 0, -0.33);
        joint(thumb, JointName::ThumbCMC).confidence = 0.0f;
        EXPECT_EQ(readingOf(thumb), "?0000");
    }
}

TEST(FingerClassifier, FingertipOutsideThePicture) {
    // The raised index finger reaches out of the top of the picture; the folded fingers are in it.
    HandObservation hand = syntheticHand({false, true, false, false, false});
    shift(hand, 0, 0.45);
    ASSERT_GT(joint(hand, JointName::IndexTip).location.y, 1.0);
    ASSERT_GT(joint(hand, JointName::IndexDIP).location.y, 1.0);
    EXPECT_EQ(readingOf(hand), "01000") << "a trusted tip just outside reads as usual";
    EXPECT_EQ(getSingleRaised(classifyFingers(hand)), 1);

    joint(hand, JointName::IndexTip).confidence = 0.1f; // too far out to trust
    EXPECT_EQ(readingOf(hand), "0?000");
    EXPECT_FALSE(getSingleRaised(classifyFingers(hand)));

    // A V sign with the middle fingertip too far out: never the index finger alone.
    hand = syntheticHand({false, true, true, false, false});
    joint(hand, JointName::MiddleTip).confidence = 0.0f;
    EXPECT_EQ(flagsOf(hand), "01000");
    EXPECT_EQ(readingOf(hand), "01?00");
    EXPECT_FALSE(getSingleRaised(classifyFingers(hand)));
}

TEST(FingerClassifier, FoldedOnlyWhereTheBendIsInThePicture) {
    // The hand reaches over the left edge: the ring and little fingers bend outside the picture.
    // Placed there with full confidence, they still cannot be seen to be folded.
    HandObservation hand = syntheticHand({false, true, false, false, false});
    shift(hand, -0.48, 0);
    ASSERT_LT(joint(hand, JointName::RingPIP).location.x, 0.0);
    ASSERT_GT(joint(hand, JointName::MiddleDIP).location.x, 0.0);
    EXPECT_EQ(readingOf(hand), "010??");
    EXPECT_FALSE(getSingleRaised(classifyFingers(hand)));

    // The palm at the bottom edge: the curled ring and little fingertips lie outside but their
    // bends are in view, so they are folded; the folded thumb lies outside and is unknown.
    hand = syntheticHand({false, true, false, false, false});
    shift(hand, 0, -0.47);
    for (JointName tip : {JointName::RingTip, JointName::LittleTip, JointName::ThumbIP})
        ASSERT_LT(joint(hand, tip).location.y, 0.0) << jointNameText(tip);
    for (JointName bend : {JointName::RingDIP, JointName::LittleDIP})
        ASSERT_GT(joint(hand, bend).location.y, 0.0) << jointNameText(bend);
    EXPECT_EQ(readingOf(hand), "?1000");

    // A folded thumb whose tip lies outside the picture is unknown; a raised one is raised.
    for (bool thumbUp : {false, true}) {
        hand = syntheticHand({thumbUp, true, false, false, false}, 90.0);
        const double tipX = joint(hand, JointName::ThumbTip).location.x;
        shift(hand, 1.0 - tipX + 0.005, 0);
        EXPECT_EQ(readingOf(hand).substr(0, 1), thumbUp ? "1" : "?");
    }
}

TEST(FingerClassifier, SingleRaisedFingerOnlyForExactlyOne) {
    EXPECT_EQ(getSingleRaised(reading("00001")), 4);
    EXPECT_EQ(getSingleRaised(reading("10000")), 0);
    EXPECT_FALSE(getSingleRaised(reading("00000")));
    EXPECT_FALSE(getSingleRaised(reading("01100")));
    EXPECT_FALSE(getSingleRaised(reading("11111")));
}

TEST(FingerClassifier, AnUnknownFingerRulesOutASingleFinger) {
    // The unknown finger might be raised too: a wrong single finger would open an application.
    EXPECT_FALSE(getSingleRaised(reading("01?00")));
    EXPECT_FALSE(getSingleRaised(reading("?1000")));
    EXPECT_FALSE(getSingleRaised(reading("0000?")));
    EXPECT_FALSE(getSingleRaised(FingerReading{}));
    EXPECT_EQ(describe(reading("01?0?").flags()), "01000") << "unknown shows as not raised";
    EXPECT_TRUE(reading("01?00").anyUnknown());
    EXPECT_FALSE(reading("01000").anyUnknown());
}
