// SPDX-License-Identifier: Apache-2.0
// Where each intermediate tensor of a network lives inside one shared buffer. XNNPACK's own
// planner in Debian's snapshot only ever places a tensor after the memory of the tensors it
// overlaps in time, so a chain of equal-sized tensors takes the sum of their sizes: 22 MB for
// the palm model, whose tensors alive at once never need more than 3.5 MB.
#pragma once

#include <cstddef>
#include <vector>

namespace palmcue::handpose {

struct TensorLife {
    std::size_t size = 0;  // in any unit, the same for all
    std::size_t first = 0; // first and last operator that writes or reads it, inclusive
    std::size_t last = 0;
};

struct ArenaPlan {
    std::vector<std::size_t> offsets; // per tensor, in the unit of the sizes
    std::size_t size = 0;             // the buffer all of them need
};

// Offsets such that tensors alive at the same operator never overlap: the largest tensors are
// placed first, each at the lowest offset where it fits beside those alive with it.
ArenaPlan planArena(const std::vector<TensorLife>& tensors);

} // namespace palmcue::handpose
