// SPDX-License-Identifier: Apache-2.0
// Hand-pose detection with the MediaPipe palm-detection and hand-landmark models, run on
// XNNPACK through our own TFLite importer. A hand is followed from frame to frame: the landmark
// model looks where the last frame's landmarks put the hand, and only when it sees no hand there
// does palm detection look at the letterboxed frame (and, when that finds no hand, once more at
// the frame shrunk, for hands held close), then the landmark model at a rotated crop around the
// most confident palm. Each joint's confidence says how far its location can be trusted.
#pragma once

#include "engine/Services.h"
#include "handpose/DetectionCosts.h"
#include "handpose/HandModels.h"

#include <cstddef>
#include <memory>
#include <string>

namespace palmcue::handpose {

class MediaPipeHandPose : public HandPoseService {
public:
    static constexpr const char* kPalmModelFile = HandModels::kPalmModelFile;
    static constexpr const char* kLandmarkModelFile = HandModels::kLandmarkModelFile;
    // Below this landmark-model presence score the crop is taken to hold no hand.
    static constexpr float kPresenceThreshold = 0.5f;

    // $PALMCUE_MODEL_DIR; else <exe dir>/../share/palmcue/models when present (installed);
    // else the build tree's models folder.
    static std::string defaultModelDir();

    struct Options {
        std::string modelDir = defaultModelDir();
        // Threads per frame. One costs the least CPU per frame and needs nobody else to be
        // scheduled, so it keeps its pace when other programs load the cores; a pool (above 1)
        // finishes a frame sooner on a quiet machine, for tools that analyse files.
        int threads = 1;
    };

    // Wall time of the stages of the last detect(), in milliseconds.
    struct StageTimes {
        double palm = 0.0;     // palm-detection network (both looks, when there were two)
        double landmark = 0.0; // landmark network
        double prePost = 0.0;  // colour, letterbox, decoding, crop, projection
        bool palmRan = false;  // whether the palm detector looked at this frame
    };

    explicit MediaPipeHandPose(Options options);
    ~MediaPipeHandPose() override;

    // Never throws. The models are loaded and the networks built at the first call.
    HandPoseResult detect(const ImageView& image, int maximumHandCount) override;
    // The next frame is looked at afresh: no hand is followed into it.
    void reset() override;

    // Loads the models now rather than at the first frame.
    Result<void> load();

    const StageTimes& lastStageTimes() const;
    // Every detect() that ran the models so far; readable from any thread.
    const DetectionCosts& costs() const { return costs_; }

private:
    HandPoseResult detectOrExplain(const ImageView& image, int maximumHandCount);

    class Pipeline;
    std::unique_ptr<Pipeline> pipeline_;
    DetectionCosts costs_;
};

} // namespace palmcue::handpose
