#include "camera/BufferPool.h"

namespace palmcue::camera {

BufferPool::Lease::Lease(Lease&& other) noexcept
    : pool_(std::move(other.pool_)), slot_(std::exchange(other.slot_, nullptr)) {}

BufferPool::Lease& BufferPool::Lease::operator=(Lease&& other) noexcept {
    if (this != &other) {
        release();
        pool_ = std::move(other.pool_);
        slot_ = std::exchange(other.slot_, nullptr);
    }
    return *this;
}

BufferPool::Lease::~Lease() {
    release();
}

void BufferPool::Lease::release() {
    // Release order: every read of the bytes on this thread happens before the capture thread
    // sees the slot free and overwrites it.
    if (slot_)
        slot_->busy.store(false, std::memory_order_release);
    slot_ = nullptr;
    pool_.reset();
}

BufferPool::Lease BufferPool::acquire(std::size_t size) {
    Slot* free = nullptr;
    for (const auto& slot : slots_) {
        if (!slot->busy.load(std::memory_order_acquire)) {
            free = slot.get();
            break;
        }
    }
    if (!free) {
        // At most a frame being analysed, one waiting and the one being captured are out at
        // once, so the pool stays at a handful of slots.
        slots_.push_back(std::make_unique<Slot>());
        free = slots_.back().get();
    }
    free->busy.store(true, std::memory_order_relaxed);
    free->bytes.resize(size);
    return Lease(shared_from_this(), free);
}

} // namespace palmcue::camera
