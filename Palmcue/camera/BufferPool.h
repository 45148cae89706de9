// Reusable byte buffers for captured frames. A fresh multi-megabyte buffer costs far more to
// touch the first time than to fill again, so frames borrow from a small pool instead.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace palmcue::camera {

class BufferPool : public std::enable_shared_from_this<BufferPool> {
    struct Slot {
        std::vector<std::uint8_t> bytes;
        std::atomic<bool> busy{false};
    };

public:
    // One borrowed buffer; handed back when the lease is destroyed, on any thread.
    class Lease {
    public:
        Lease() = default;
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&& other) noexcept;
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease();

        std::uint8_t* data() const { return slot_ ? slot_->bytes.data() : nullptr; }
        std::size_t size() const { return slot_ ? slot_->bytes.size() : 0; }
        explicit operator bool() const { return slot_ != nullptr; }

    private:
        friend class BufferPool;
        Lease(std::shared_ptr<BufferPool> pool, Slot* slot) : pool_(std::move(pool)), slot_(slot) {}
        void release();

        std::shared_ptr<BufferPool> pool_; // keeps the slot alive after the session has gone
        Slot* slot_ = nullptr;
    };

    static std::shared_ptr<BufferPool> create() {
        return std::shared_ptr<BufferPool>(new BufferPool);
    }

    // A buffer of `size` bytes with unspecified contents. Only ever called from one thread
    // (the thread frames are captured on); leases may be returned from any thread.
    Lease acquire(std::size_t size);

    std::size_t slotCount() const { return slots_.size(); }

private:
    BufferPool() = default;

    std::vector<std::unique_ptr<Slot>> slots_; // capture thread only; slots never move
};

} // namespace palmcue::camera
