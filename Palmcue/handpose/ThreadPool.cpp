// SPDX-License-Identifier: Apache-2.0
#include "handpose/ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <pthread.h>
#include <pthreadpool.h>
#include <thread>

namespace palmcue::handpose {
namespace {

// Each task names the thread that ran it and waits (briefly) for the others, so that every
// thread of the pool takes one task. The atomics carry what the tasks and the caller share:
// pthreadpool's own synchronisation is invisible to ThreadSanitizer.
struct ClockProbe {
    std::atomic<bool> ready{false};
    std::atomic<std::size_t> arrived{0};
    std::atomic<std::size_t> done{0}; // each task's last touch of the probe
    std::size_t threads = 0;
    pthread_t caller{};
    std::vector<clockid_t> clocks;
    std::vector<char> onCaller; // not vector<bool>: each task writes its own element
};

void probeClock(void* context, std::size_t task) {
    auto& probe = *static_cast<ClockProbe*>(context);
    probe.ready.load(std::memory_order_acquire);
    const std::size_t threads = probe.threads;
    pthread_getcpuclockid(pthread_self(), &probe.clocks[task]);
    probe.onCaller[task] = pthread_equal(pthread_self(), probe.caller) != 0;
    probe.arrived.fetch_add(1, std::memory_order_acq_rel);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (probe.arrived.load(std::memory_order_acquire) < threads &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    probe.done.fetch_add(1, std::memory_order_release);
}

std::chrono::nanoseconds cpuTimeOf(clockid_t clock) {
    timespec t{};
    if (clock_gettime(clock, &t) != 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

} // namespace

ThreadPool::ThreadPool(int threads) {
    // One thread means "run on the caller": no pool at all saves the hand-offs.
    if (threads <= 1)
        return;
    pool_ = pthreadpool_create(static_cast<std::size_t>(threads));
    if (!pool_)
        return;
    ClockProbe probe;
    probe.threads = pthreadpool_get_threads_count(pool_);
    probe.clocks.assign(probe.threads, clockid_t{});
    probe.onCaller.assign(probe.threads, 0);
    probe.caller = pthread_self();
    probe.ready.store(true, std::memory_order_release);
    pthreadpool_parallelize_1d(pool_, probeClock, &probe, probe.threads,
                               PTHREADPOOL_FLAG_YIELD_WORKERS);
    while (probe.done.load(std::memory_order_acquire) < probe.threads)
        std::this_thread::yield(); // all done already: pthreadpool returns after the last task
    for (std::size_t i = 0; i < probe.threads; ++i)
        if (!probe.onCaller[i] && std::find(workerClocks_.begin(), workerClocks_.end(),
                                            probe.clocks[i]) == workerClocks_.end())
            workerClocks_.push_back(probe.clocks[i]);
}

ThreadPool::~ThreadPool() {
    if (pool_)
        pthreadpool_destroy(pool_);
}

int ThreadPool::threads() const {
    return pool_ ? static_cast<int>(pthreadpool_get_threads_count(pool_)) : 1;
}

std::chrono::nanoseconds ThreadPool::workerCpuTime() const {
    std::chrono::nanoseconds total(0);
    for (const clockid_t clock : workerClocks_)
        total += cpuTimeOf(clock);
    return total;
}

} // namespace palmcue::handpose
