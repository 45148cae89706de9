#include "engine/FingerClassifier.h"

#include <algorithm>
#include <cmath>
#include <limits>

// A finger counts as raised when a person would see it extended away from the palm. Every
// test is a distance relative to the palm's length or an angle between finger segments, so
// the answer does not change with the hand's rotation in the picture, with its size, or
// between left and right hands, mirrored or not. Where the geometry is unclear (a finger
// pointing at the camera, a half-bent finger) the finger counts as folded: a missed gesture
// costs the user a second try, a wrong single finger opens an application they did not want.

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

bool confident(const RecognizedPoint& point) {
    return point.confidence > kJointConfidenceThreshold;
}

// Looks joints up and puts them into the picture's proportions.
class Joints {
public:
    explicit Joints(const HandObservation& observation)
        : observation_(observation),
          aspect_(observation.aspectRatio > 0.0 && std::isfinite(observation.aspectRatio)
                      ? observation.aspectRatio
                      : 1.0) {}

    // False when the lookup fails.
    bool get(JointName name, Vec& location, bool& isConfident) const {
        const auto point = observation_.recognizedPoint(name);
        if (!point)
            return false;
        location = {point->location.x * aspect_, point->location.y};
        isConfident = confident(*point);
        return true;
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

bool longFingerExtended(Vec wrist, Vec mcp, Vec pip, Vec dip, Vec tip, double palm) {
    const double curl = angleDegrees(pip - mcp, dip - pip) + angleDegrees(dip - pip, tip - dip);
    const bool straight = curl < kMaxFingerCurlDegrees;
    const bool reachesOut = distance(wrist, tip) > distance(wrist, pip);
    const bool longEnough = distance(mcp, tip) > kMinFingerLengthToPalm * palm;
    return straight && reachesOut && longEnough;
}

} // namespace

FingerFlags classifyFingers(const HandObservation& observation) {
    FingerFlags flags{};
    const Joints joints(observation);

    // The thumb and the palm the fingers are measured against. A failed lookup here leaves
    // every finger folded; a joint below the confidence threshold only leaves its finger folded.
    Vec tip, ip, mp, wrist, cmc, middleMCP;
    bool tipOk, ipOk, mpOk, wristOk, cmcOk, middleOk;
    if (!joints.get(JointName::ThumbTip, tip, tipOk) || !joints.get(JointName::ThumbIP, ip, ipOk) ||
        !joints.get(JointName::ThumbMP, mp, mpOk) ||
        !joints.get(JointName::Wrist, wrist, wristOk) ||
        !joints.get(JointName::ThumbCMC, cmc, cmcOk) ||
        !joints.get(JointName::MiddleMCP, middleMCP, middleOk))
        return flags;
    const double palm = distance(wrist, middleMCP);
    if (!(palm > 0.0) || !wristOk || !middleOk)
        return flags; // no palm to measure against

    // The long fingers, in order. A failed lookup leaves that finger and the ones after it
    // folded; their joints then take no part in the thumb's clearance either.
    double thumbClearance = std::numeric_limits<double>::infinity();
    for (int k = 1; k < kFingerCount; ++k) {
        const LongFinger& finger = kLongFingers[k - 1];
        Vec f[4];
        bool ok[4];
        if (!joints.get(finger.tip, f[0], ok[0]) || !joints.get(finger.mcp, f[1], ok[1]) ||
            !joints.get(finger.pip, f[2], ok[2]) || !joints.get(finger.dip, f[3], ok[3]))
            break;
        for (int j = 0; j < 4; ++j) {
            if (ok[j])
                thumbClearance = std::min(thumbClearance, distance(tip, f[j]));
        }
        if (ok[0] && ok[1] && ok[2] && ok[3])
            flags[k] = longFingerExtended(wrist, f[1], f[2], f[3], f[0], palm);
    }

    if (tipOk && ipOk && mpOk && cmcOk) {
        const double bend = angleDegrees(mp - cmc, ip - mp) + angleDegrees(ip - mp, tip - ip);
        flags[0] = bend < kMaxThumbBendDegrees && thumbClearance > kMinThumbClearanceToPalm * palm;
    }
    return flags;
}

std::optional<int> getSingleRaised(const FingerFlags& flags) {
    if (std::count(flags.begin(), flags.end(), true) != 1)
        return std::nullopt;
    return static_cast<int>(std::find(flags.begin(), flags.end(), true) - flags.begin());
}

} // namespace palmcue
