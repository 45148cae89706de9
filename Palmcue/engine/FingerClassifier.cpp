#include "engine/FingerClassifier.h"

#include <algorithm>
#include <cmath>

// A finger counts as raised when a person would see it extended away from the palm. Every
// test is a distance relative to the palm's length or an angle between finger segments, so
// the answer does not change with the hand's rotation in the picture, with its size, or
// between left and right hands, mirrored or not. Where the geometry is unclear (a finger
// pointing at the camera, a half-bent finger) the finger counts as folded: a missed gesture
// costs the user a second try, a wrong single finger opens an application they did not want.

namespace palmcue {
namespace {

// A long finger is straight when its two joints together bend by less than this. A finger
// curled into a fist bends by well over 90 degrees at the middle joint alone.
constexpr double kMaxFingerCurlDegrees = 60.0;
// A straight finger is at least half as long as the palm even when tilted 60 degrees out of
// the picture plane; a shorter one points at the camera and tells nothing reliable.
constexpr double kMinFingerLengthToPalm = 0.5;
// The thumb is extended when it bends by less than this at its last two joints.
constexpr double kMaxThumbCurlDegrees = 50.0;
// The extended thumb's tip stands clear of the index knuckle: farther from it than the
// thumb's own base joint is, and by a margin of the palm's size. A thumb folded across the
// fist or resting against the hand keeps its tip near the index finger's base.
constexpr double kMinThumbTipClearanceToPalm = 0.35;

struct Vec {
    double x = 0.0;
    double y = 0.0;
};

Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
double length(Vec v) { return std::hypot(v.x, v.y); }
double distance(Vec a, Vec b) { return length(a - b); }

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

bool thumbExtended(Vec cmc, Vec mp, Vec ip, Vec tip, Vec indexMCP, double palm) {
    const double curl = angleDegrees(mp - cmc, ip - mp) + angleDegrees(ip - mp, tip - ip);
    const bool straight = curl < kMaxThumbCurlDegrees;
    const bool clear = distance(tip, indexMCP) >
                       distance(mp, indexMCP) + kMinThumbTipClearanceToPalm * palm;
    return straight && clear;
}

} // namespace

FingerFlags classifyFingers(const HandObservation& observation) {
    FingerFlags flags{};
    const Joints joints(observation);

    // The thumb and the palm it is judged against. A failed lookup here leaves every finger
    // folded; a joint below the confidence threshold only leaves the thumb folded.
    Vec tip, ip, mp, wrist, cmc, indexMCP, middleMCP;
    bool tipOk, ipOk, mpOk, wristOk, cmcOk, indexOk, middleOk;
    if (!joints.get(JointName::ThumbTip, tip, tipOk) || !joints.get(JointName::ThumbIP, ip, ipOk) ||
        !joints.get(JointName::ThumbMP, mp, mpOk) || !joints.get(JointName::Wrist, wrist, wristOk) ||
        !joints.get(JointName::ThumbCMC, cmc, cmcOk) ||
        !joints.get(JointName::IndexMCP, indexMCP, indexOk) ||
        !joints.get(JointName::MiddleMCP, middleMCP, middleOk))
        return flags;
    const double palm = distance(wrist, middleMCP);
    if (!(palm > 0.0) || !wristOk || !middleOk)
        return flags; // no palm to measure against
    if (tipOk && ipOk && mpOk && cmcOk && indexOk)
        flags[0] = thumbExtended(cmc, mp, ip, tip, indexMCP, palm);

    for (int k = 1; k < kFingerCount; ++k) {
        const LongFinger& finger = kLongFingers[k - 1];
        Vec fTip, fMcp, fPip, fDip;
        bool fTipOk, fMcpOk, fPipOk, fDipOk;
        if (!joints.get(finger.tip, fTip, fTipOk) || !joints.get(finger.mcp, fMcp, fMcpOk) ||
            !joints.get(finger.pip, fPip, fPipOk) || !joints.get(finger.dip, fDip, fDipOk))
            return flags;
        if (fTipOk && fMcpOk && fPipOk && fDipOk)
            flags[k] = longFingerExtended(wrist, fMcp, fPip, fDip, fTip, palm);
    }
    return flags;
}

std::optional<int> getSingleRaised(const FingerFlags& flags) {
    if (std::count(flags.begin(), flags.end(), true) != 1)
        return std::nullopt;
    return static_cast<int>(std::find(flags.begin(), flags.end(), true) - flags.begin());
}

} // namespace palmcue
