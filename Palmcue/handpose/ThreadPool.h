// SPDX-License-Identifier: Apache-2.0
// The worker pool the hand models run on. Both networks share one pool: a pool per network
// doubled the time per frame on a two-core machine.
#pragma once

#include <chrono>
#include <cstddef>
#include <ctime>
#include <vector>

struct pthreadpool;

namespace palmcue::handpose {

class ThreadPool {
public:
    explicit ThreadPool(int threads);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Null when running on the calling thread only.
    pthreadpool* handle() const { return pool_; }
    int threads() const;

    // CPU time the pool's own threads (not the callers) have used since they started,
    // spinning included.
    std::chrono::nanoseconds workerCpuTime() const;

private:
    pthreadpool* pool_ = nullptr;
    std::vector<clockid_t> workerClocks_;
};

} // namespace palmcue::handpose
