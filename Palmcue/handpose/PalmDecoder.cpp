// SPDX-License-Identifier: Apache-2.0
#include "handpose/PalmDecoder.h"

#include <algorithm>
#include <cmath>

namespace palmcue::handpose {
namespace {

double iou(const PalmDetection& a, const PalmDetection& b) {
    const double x0 = std::max(a.xMin, b.xMin);
    const double y0 = std::max(a.yMin, b.yMin);
    const double x1 = std::min(a.xMin + a.width, b.xMin + b.width);
    const double y1 = std::min(a.yMin + a.height, b.yMin + b.height);
    const double overlap = std::max(0.0, x1 - x0) * std::max(0.0, y1 - y0);
    const double total = a.width * a.height + b.width * b.height - overlap;
    return total > 0.0 ? overlap / total : 0.0;
}

} // namespace

PalmDecoder::PalmDecoder() {
    // SSD anchors of the full palm model: a 24×24 grid (stride 8) with 2 anchors per cell and a
    // 12×12 grid (stride 16) with 6, all at cell centres and of unit size.
    struct Layer {
        int grid, perCell;
    };
    for (const Layer layer : {Layer{24, 2}, Layer{12, 6}})
        for (int y = 0; y < layer.grid; ++y)
            for (int x = 0; x < layer.grid; ++x)
                for (int k = 0; k < layer.perCell; ++k)
                    anchors_.push_back({(x + 0.5) / layer.grid, (y + 0.5) / layer.grid});
    candidates_.reserve(kAnchorCount);
    remaining_.reserve(kAnchorCount);
    result_.reserve(kAnchorCount);
}

const std::vector<PalmDetection>& PalmDecoder::decode(std::span<const float> regressors,
                                                      std::span<const float> logits) {
    candidates_.clear();
    result_.clear();
    bestScore_ = 0.0f;
    if (regressors.size() < std::size_t(kAnchorCount) * kValuesPerAnchor ||
        logits.size() < std::size_t(kAnchorCount))
        return result_;
    constexpr double scale = kInputSize;
    for (int i = 0; i < kAnchorCount; ++i) {
        const float logit = std::clamp(logits[i], -100.0f, 100.0f);
        const float score = 1.0f / (1.0f + std::exp(-logit));
        bestScore_ = std::max(bestScore_, score);
        if (!(score >= kScoreThreshold))
            continue;
        const float* raw = regressors.data() + std::size_t(i) * kValuesPerAnchor;
        const Anchor& anchor = anchors_[i];
        PalmDetection palm;
        palm.score = score;
        const double cx = raw[0] / scale + anchor.x;
        const double cy = raw[1] / scale + anchor.y;
        palm.width = raw[2] / scale;
        palm.height = raw[3] / scale;
        palm.xMin = cx - palm.width / 2;
        palm.yMin = cy - palm.height / 2;
        for (int k = 0; k < 7; ++k)
            palm.keypoints[k] = {raw[4 + 2 * k] / scale + anchor.x,
                                 raw[5 + 2 * k] / scale + anchor.y};
        if (!std::isfinite(cx) || !std::isfinite(cy) || !(palm.width > 0) || !(palm.height > 0))
            continue;
        candidates_.push_back(palm);
    }
    std::stable_sort(
        candidates_.begin(), candidates_.end(),
        [](const PalmDetection& a, const PalmDetection& b) { return a.score > b.score; });

    // Weighted suppression: every box overlapping the best one votes for the merged box and
    // keypoints in proportion to its score; the merged palm keeps the best score.
    while (!candidates_.empty()) {
        const PalmDetection best = candidates_.front();
        remaining_.clear();
        PalmDetection merged{};
        double weight = 0.0;
        for (const PalmDetection& other : candidates_) {
            if (iou(best, other) <= kIouThreshold) {
                remaining_.push_back(other);
                continue;
            }
            const double w = other.score;
            weight += w;
            merged.xMin += w * other.xMin;
            merged.yMin += w * other.yMin;
            merged.width += w * (other.xMin + other.width);   // right edge, for now
            merged.height += w * (other.yMin + other.height); // bottom edge, for now
            for (int k = 0; k < 7; ++k) {
                merged.keypoints[k].x += w * other.keypoints[k].x;
                merged.keypoints[k].y += w * other.keypoints[k].y;
            }
        }
        if (weight > 0.0) {
            merged.xMin /= weight;
            merged.yMin /= weight;
            merged.width = merged.width / weight - merged.xMin;
            merged.height = merged.height / weight - merged.yMin;
            for (auto& point : merged.keypoints) {
                point.x /= weight;
                point.y /= weight;
            }
            merged.score = best.score;
            result_.push_back(merged);
        } else { // degenerate box: overlaps nothing, not even itself
            result_.push_back(best);
            remaining_.erase(remaining_.begin());
        }
        candidates_.swap(remaining_);
    }
    return result_;
}

} // namespace palmcue::handpose
