#include "handpose/ThreadPool.h"

#include <pthreadpool.h>

namespace palmcue::handpose {

ThreadPool::ThreadPool(int threads) {
    // One thread means "run on the caller": no pool at all saves the hand-offs.
    if (threads > 1)
        pool_ = pthreadpool_create(static_cast<std::size_t>(threads));
}

ThreadPool::~ThreadPool() {
    if (pool_)
        pthreadpool_destroy(pool_);
}

int ThreadPool::threads() const {
    return pool_ ? static_cast<int>(pthreadpool_get_threads_count(pool_)) : 1;
}

} // namespace palmcue::handpose
