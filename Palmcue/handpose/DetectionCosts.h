// SPDX-License-Identifier: Apache-2.0
// What the hand-pose step has cost since the detector was made: frames, CPU time and a
// histogram of wall times. Written by the detection thread, read from any other (the
// benchmarks sample it while the program runs); plain atomics, so a reading taken mid-frame
// may count that frame's parts unevenly, which a benchmark over hundreds of frames ignores.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

namespace palmcue::handpose {

class DetectionCosts {
public:
    static constexpr double kBinMs = 0.1;
    static constexpr std::size_t kBins = 10000; // up to 1 s; slower frames share the last bin

    struct Totals {
        std::uint64_t frames = 0;
        std::uint64_t framesWithHand = 0;
        std::chrono::nanoseconds cpu{0}; // every thread that worked on the frames
        std::vector<std::uint32_t> histogram;

        // The frames between `earlier` and this reading.
        Totals since(const Totals& earlier) const;
        // Wall time in milliseconds under which the share `p` of the frames finished (the
        // upper edge of its bin); 0 without frames.
        double percentileMs(double p) const;
    };

    // One frame: its wall time and the CPU time spent on it.
    void record(std::chrono::nanoseconds wall, std::chrono::nanoseconds cpu, bool hand);
    Totals totals() const;

private:
    std::atomic<std::uint64_t> frames_{0};
    std::atomic<std::uint64_t> framesWithHand_{0};
    std::atomic<std::int64_t> cpuNs_{0};
    std::array<std::atomic<std::uint32_t>, kBins> bins_{};
};

} // namespace palmcue::handpose
