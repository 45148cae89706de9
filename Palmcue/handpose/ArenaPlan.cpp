// SPDX-License-Identifier: Apache-2.0
#include "handpose/ArenaPlan.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace palmcue::handpose {

ArenaPlan planArena(const std::vector<TensorLife>& tensors) {
    ArenaPlan plan;
    plan.offsets.assign(tensors.size(), 0);
    std::vector<std::size_t> order(tensors.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return tensors[a].size > tensors[b].size;
    });
    std::vector<std::size_t> placed;
    std::vector<std::pair<std::size_t, std::size_t>> taken; // [begin, end) of those alive too
    for (const std::size_t t : order) {
        const TensorLife& life = tensors[t];
        taken.clear();
        for (const std::size_t other : placed) {
            const TensorLife& o = tensors[other];
            if (o.first <= life.last && life.first <= o.last)
                taken.emplace_back(plan.offsets[other], plan.offsets[other] + o.size);
        }
        std::sort(taken.begin(), taken.end());
        std::size_t offset = 0;
        for (const auto& [begin, end] : taken) {
            if (offset + life.size <= begin)
                break;
            offset = std::max(offset, end);
        }
        plan.offsets[t] = offset;
        plan.size = std::max(plan.size, offset + life.size);
        placed.push_back(t);
    }
    return plan;
}

} // namespace palmcue::handpose
