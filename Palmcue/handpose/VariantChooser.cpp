#include "handpose/VariantChooser.h"

#include <algorithm>

namespace palmcue::handpose {

VariantChooser::VariantChooser(std::size_t variants)
    : histories_(std::max<std::size_t>(variants, 1)) {}

std::chrono::nanoseconds VariantChooser::History::median() const {
    auto window = recent;
    const std::size_t n = std::min(count, kWindow);
    std::nth_element(window.begin(), window.begin() + n / 2, window.begin() + n);
    return window[n / 2];
}

std::size_t VariantChooser::choose() {
    const std::size_t n = histories_.size();
    for (std::size_t v = 0; v < n; ++v)
        if (histories_[v].count == 0)
            return v;
    std::size_t fastest = 0;
    for (std::size_t v = 1; v < n; ++v)
        if (histories_[v].median() < histories_[fastest].median())
            fastest = v;
    if (n > 1 && ++choices_ % kRetryEvery == 0)
        return (fastest + 1 + retries_++ % (n - 1)) % n;
    return fastest;
}

void VariantChooser::report(std::size_t variant, std::chrono::nanoseconds duration) {
    if (variant >= histories_.size())
        return;
    History& h = histories_[variant];
    h.recent[h.count % kWindow] = duration;
    ++h.count;
}

} // namespace palmcue::handpose
