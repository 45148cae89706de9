// SPDX-License-Identifier: Apache-2.0
#include "handpose/DetectionCosts.h"

#include <algorithm>

namespace palmcue::handpose {

void DetectionCosts::record(std::chrono::nanoseconds wall, std::chrono::nanoseconds cpu,
                            bool hand) {
    const double ms = std::chrono::duration<double, std::milli>(wall).count();
    const auto bin = std::size_t(std::clamp(ms / kBinMs, 0.0, double(kBins - 1)));
    bins_[bin].fetch_add(1, std::memory_order_relaxed);
    cpuNs_.fetch_add(cpu.count(), std::memory_order_relaxed);
    framesWithHand_.fetch_add(hand ? 1 : 0, std::memory_order_relaxed);
    frames_.fetch_add(1, std::memory_order_relaxed);
}

DetectionCosts::Totals DetectionCosts::totals() const {
    Totals totals;
    totals.frames = frames_.load(std::memory_order_relaxed);
    totals.framesWithHand = framesWithHand_.load(std::memory_order_relaxed);
    totals.cpu = std::chrono::nanoseconds(cpuNs_.load(std::memory_order_relaxed));
    totals.histogram.reserve(kBins);
    for (const auto& bin : bins_)
        totals.histogram.push_back(bin.load(std::memory_order_relaxed));
    return totals;
}

DetectionCosts::Totals DetectionCosts::Totals::since(const Totals& earlier) const {
    Totals delta = *this;
    delta.frames -= earlier.frames;
    delta.framesWithHand -= earlier.framesWithHand;
    delta.cpu -= earlier.cpu;
    for (std::size_t i = 0; i < delta.histogram.size() && i < earlier.histogram.size(); ++i)
        delta.histogram[i] -= earlier.histogram[i];
    return delta;
}

double DetectionCosts::Totals::percentileMs(double p) const {
    std::uint64_t count = 0;
    for (const std::uint32_t n : histogram)
        count += n;
    if (count == 0)
        return 0.0;
    // The smallest bin whose running count reaches ceil(p × count).
    const auto wanted = std::max<std::uint64_t>(1, std::uint64_t(p * double(count) + 0.999999));
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < histogram.size(); ++i) {
        seen += histogram[i];
        if (seen >= wanted)
            return double(i + 1) * kBinMs;
    }
    return double(histogram.size()) * kBinMs;
}

} // namespace palmcue::handpose
