// Picks which of a network's runtimes to run next from how long each took lately: the one with
// the shortest median of its last few timings, with every kRetryEvery-th choice going to another
// one so that a variant that lost under load is tried again when the load goes away.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <vector>

namespace palmcue::handpose {

class VariantChooser {
public:
    static constexpr int kRetryEvery = 16;
    // A median of a few timings shrugs off a single preempted run, unlike a mean.
    static constexpr std::size_t kWindow = 5;

    explicit VariantChooser(std::size_t variants);

    // The variant to run now; each one is tried once before any is judged.
    std::size_t choose();
    void report(std::size_t variant, std::chrono::nanoseconds duration);

private:
    struct History {
        std::array<std::chrono::nanoseconds, kWindow> recent{};
        std::size_t count = 0; // timings reported so far
        std::chrono::nanoseconds median() const;
    };

    std::vector<History> histories_;
    unsigned choices_ = 0;
    unsigned retries_ = 0;
};

} // namespace palmcue::handpose
