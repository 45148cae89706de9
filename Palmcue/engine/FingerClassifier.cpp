// SPDX-License-Identifier: Apache-2.0
#include "engine/FingerClassifier.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

// A finger counts as raised when a person would see it extended away from the palm and
// pointing up: a finger held up to the camera on purpose, not one resting along a jaw, lying on
// a touchpad, off a cup or hanging down. Whether it is extended is judged by distances relative
// to the palm's length and angles between finger segments, which do not change with the hand's
// rotation, its size, or between left and right hands, mirrored or not; only its direction is
// judged against the picture's up. Where the geometry is unclear (a finger pointing at the
// camera, a half-bent finger) the finger counts as folded: a missed gesture costs the user a
// second try, a wrong single finger opens an application they did not want. For the same
// reason a finger whose joints cannot be trusted (too far outside the picture) is unknown
// rather than folded, and an unknown finger, or an extended one that does not point up, rules
// out a single raised finger.

namespace palmcue {
namespace {

// A long finger is straight when its two joints together bend by less than this. A finger
// curled into a fist bends by well over 90 degrees; a relaxed but extended one by less than 60.
constexpr double kMaxFingerCurlDegrees = 70.0;
// A straight finger is clearly longer than this share of the palm even when tilted well out of
// the picture plane; a shorter one points at the camera and tells nothing reliable.
constexpr double kMinFingerLengthToPalm = 0.45;
// The thumb is extended when it bends by less than this at its two outer joints together; a
// thumb folded across the palm bends sharply at its base knuckle.
constexpr double kMaxThumbBendDegrees = 80.0;
// An extended thumb stands clear of the other fingers: its tip is farther than this share of
// the palm (about a finger's width and a half) from every joint of them. A thumb tucked over
// the fist, resting against the hand or touching a fingertip is not.
constexpr double kMinThumbClearanceToPalm = 0.3;

// An extended long finger is raised when its knuckle-to-tip direction lies within this angle
// of the picture's up, measured in the picture's proportions. On the shared photos of one
// raised index finger it lies 1 to 11 degrees off upright and at most 41 with the photos turned
// 30 degrees either way; turned 90 degrees, pointing sideways, 77 to 101. 50 keeps every photo
// turned up to 30 degrees, 9 degrees to spare, and none turned 90 degrees or more (a finger
// along a jaw or off a cup points sideways, one on a touchpad or hanging down points down). At
// 45 the turned photos kept 4 degrees to spare; at 60, 10 of 20 photos turned 60 degrees still
// read their finger, at 50, 2.
constexpr double kMaxFingerTiltDegrees = 50.0;
// The thumb's direction, from its MP joint to its tip, may lean further: a thumbs-up leans out
// from the hand, 16 to 43 degrees on the shared photos and up to 72 with them turned 30
// degrees, and a thumb held out sideways counts too. One pointing below horizontal does not:
// those photos turned 135 to 225 degrees lie 95 or more off.
constexpr double kMaxThumbTiltDegrees = 90.0;

struct Vec {
    double x = 0.0;
    double y = 0.0;
};

Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y};
}
double length(Vec v) {
    return std::hypot(v.x, v.y);
}
double distance(Vec a, Vec b) {
    return length(a - b);
}

// The angle between two directions, 0..180 degrees; 180 for a zero-length direction, so that
// a degenerate segment never reads as straight.
double angleDegrees(Vec a, Vec b) {
    const double la = length(a);
    const double lb = length(b);
    if (!(la > 0.0) || !(lb > 0.0))
        return 180.0;
    const double cosine = std::clamp((a.x * b.x + a.y * b.y) / (la * lb), -1.0, 1.0);
    return std::acos(cosine) * 180.0 / M_PI;
}

// One joint, in the picture's proportions. `usable`: confident enough to judge a finger by.
struct Joint {
    Vec at;
    bool usable = false;
    bool inPicture = false;
};

// Looks joints up and puts them into the picture's proportions.
class Joints {
public:
    explicit Joints(const HandObservation& observation)
        : observation_(observation),
          aspect_(observation.aspectRatio > 0.0 && std::isfinite(observation.aspectRatio)
                      ? observation.aspectRatio
                      : 1.0) {}

    // Nothing when the lookup fails.
    std::optional<Joint> get(JointName name) const {
        const auto point = observation_.recognizedPoint(name);
        if (!point)
            return std::nullopt;
        const Location& at = point->location;
        return Joint{{at.x * aspect_, at.y},
                     point->confidence > kJointConfidenceThreshold,
                     at.x >= 0.0 && at.x <= 1.0 && at.y >= 0.0 && at.y <= 1.0};
    }

private:
    const HandObservation& observation_;
    double aspect_;
};

struct LongFinger {
    JointName tip, mcp, pip, dip;
};

constexpr LongFinger kLongFingers[] = {
    {JointName::IndexTip, JointName::IndexMCP, JointName::IndexPIP, JointName::IndexDIP},
    {JointName::MiddleTip, JointName::MiddleMCP, JointName::MiddlePIP, JointName::MiddleDIP},
    {JointName::RingTip, JointName::RingMCP, JointName::RingPIP, JointName::RingDIP},
    {JointName::LittleTip, JointName::LittleMCP, JointName::LittlePIP, JointName::LittleDIP},
};

// No when the long finger is extended, else why not.
NotRaised longFingerShape(Vec wrist, Vec mcp, Vec pip, Vec dip, Vec tip, double palm) {
    const double curl = angleDegrees(pip - mcp, dip - pip) + angleDegrees(dip - pip, tip - dip);
    const bool straight = curl < kMaxFingerCurlDegrees;
    const bool reachesOut = distance(wrist, tip) > distance(wrist, pip);
    if (!straight || !reachesOut)
        return NotRaised::Bent;
    const bool longEnough = distance(mcp, tip) > kMinFingerLengthToPalm * palm;
    return longEnough ? NotRaised::No : NotRaised::TowardCamera;
}

// Where an extended finger points: No within `maxTilt` degrees of the picture's up (y grows
// upward), else sideways, or down once its tip is below its knuckle.
NotRaised aim(Vec knuckle, Vec tip, double maxTilt) {
    const double tilt = angleDegrees(tip - knuckle, {0.0, 1.0});
    if (tilt < maxTilt)
        return NotRaised::No;
    return tilt > 90.0 ? NotRaised::Down : NotRaised::Sideways;
}

// A finger the picture cuts off is one the landmark model did not see, and it tends to place
// such a finger curled up just outside the edge; read as folded, a raised finger cut off beside
// another raised one left that one standing alone. So a finger reads folded only when the joints
// where it bends (a long finger's middle two, the thumb's IP joint and tip) are in the picture,
// while a straight finger may reach out of it. On the shared photos cut at each edge (2064
// crops) this turned 41 of 115 wrong single fingers into none, for 36 of 1481 right readings;
// letting the bend lie even 0.05 palm lengths outside brought back more wrong than right ones.
//
// An extended finger that does not point up is not raised, but it still rules out a single
// finger: the hand shows more than one. Counted as folded instead, it left the other finger of
// a call sign or a V sign standing alone in 252 of the shared photos turned in steps from -150
// to 180 degrees (1960 pictures), against 1 when it rules one out.
void judge(FingerReading& reading, int finger, NotRaised why, bool bendInPicture) {
    const bool extended =
        why == NotRaised::No || why == NotRaised::Sideways || why == NotRaised::Down;
    reading.states[finger] = why == NotRaised::No ? FingerState::Raised
                             : extended           ? FingerState::Extended
                             : bendInPicture      ? FingerState::Folded
                                                  : FingerState::Unknown;
    reading.why[finger] = reading.states[finger] == FingerState::Unknown ? NotRaised::No : why;
}

} // namespace

std::string_view notRaisedText(NotRaised reason) {
    switch (reason) {
    case NotRaised::No:
        break;
    case NotRaised::Bent:
        return "bent";
    case NotRaised::TowardCamera:
        return "pointing at the camera";
    case NotRaised::Touching:
        return "against the fingers";
    case NotRaised::Sideways:
        return "pointing sideways";
    case NotRaised::Down:
        return "pointing down";
    }
    return {};
}

FingerFlags FingerReading::flags() const {
    FingerFlags flags{};
    for (int i = 0; i < kFingerCount; ++i)
        flags[i] = states[i] == FingerState::Raised;
    return flags;
}

bool FingerReading::anyUnknown() const {
    return std::find(states.begin(), states.end(), FingerState::Unknown) != states.end();
}

FingerReading classifyFingers(const HandObservation& observation) {
    FingerReading reading;
    const Joints joints(observation);

    // The thumb and the palm the fingers are measured against. A failed lookup here leaves
    // every finger unknown; so does a middle knuckle too far outside the picture. The wrist's
    // confidence is not consulted: with the wrist just below the picture the model still places
    // it well enough to measure the palm by, and a hand held close to the camera is exactly that.
    const auto tip = joints.get(JointName::ThumbTip), ip = joints.get(JointName::ThumbIP),
               mp = joints.get(JointName::ThumbMP), wrist = joints.get(JointName::Wrist),
               cmc = joints.get(JointName::ThumbCMC), middleMCP = joints.get(JointName::MiddleMCP);
    if (!tip || !ip || !mp || !wrist || !cmc || !middleMCP || !middleMCP->usable)
        return reading;
    const double palm = distance(wrist->at, middleMCP->at);
    if (!(palm > 0.0))
        return reading; // no palm to measure against

    // The long fingers, in order. A finger is judged only when all four of its joints are
    // usable. A failed lookup leaves that finger and the ones after it unknown; their joints
    // then take no part in the thumb's clearance either.
    double thumbClearance = std::numeric_limits<double>::infinity();
    for (int k = 1; k < kFingerCount; ++k) {
        const LongFinger& finger = kLongFingers[k - 1];
        const std::optional<Joint> f[4] = {joints.get(finger.tip), joints.get(finger.mcp),
                                           joints.get(finger.pip), joints.get(finger.dip)};
        if (!f[0] || !f[1] || !f[2] || !f[3])
            break;
        bool judged = true;
        for (const auto& joint : f) {
            judged = judged && joint->usable;
            if (joint->usable)
                thumbClearance = std::min(thumbClearance, distance(tip->at, joint->at));
        }
        if (judged) {
            NotRaised why =
                longFingerShape(wrist->at, f[1]->at, f[2]->at, f[3]->at, f[0]->at, palm);
            if (why == NotRaised::No)
                why = aim(f[1]->at, f[0]->at, kMaxFingerTiltDegrees);
            judge(reading, k, why, f[2]->inPicture && f[3]->inPicture);
        }
    }

    if (tip->usable && ip->usable && mp->usable) {
        const bool clear = thumbClearance > kMinThumbClearanceToPalm * palm;
        if (cmc->usable) {
            const double bend = angleDegrees(mp->at - cmc->at, ip->at - mp->at) +
                                angleDegrees(ip->at - mp->at, tip->at - ip->at);
            const bool straight = bend < kMaxThumbBendDegrees;
            const NotRaised why = !straight ? NotRaised::Bent
                                  : !clear  ? NotRaised::Touching
                                            : aim(mp->at, tip->at, kMaxThumbTiltDegrees);
            judge(reading, 0, why, tip->inPicture && ip->inPicture);
        } else if (!clear) {
            // Its base below the picture, as with a hand held close, the thumb's bend cannot
            // be told, but a tip against the fingers is not raised however it bends.
            judge(reading, 0, NotRaised::Touching, tip->inPicture && ip->inPicture);
        }
    }
    return reading;
}

std::optional<int> getSingleRaised(const FingerReading& reading) {
    if (reading.anyUnknown() || std::find(reading.states.begin(), reading.states.end(),
                                          FingerState::Extended) != reading.states.end())
        return std::nullopt;
    const FingerFlags flags = reading.flags();
    if (std::count(flags.begin(), flags.end(), true) != 1)
        return std::nullopt;
    return static_cast<int>(std::find(flags.begin(), flags.end(), true) - flags.begin());
}

} // namespace palmcue
