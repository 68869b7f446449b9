// Working buffers for one operation: owners that cannot throw, null on failure, 16-byte aligned, with
// every size checked for overflow (size_t is 32 bits in the 32-bit module). A test hook makes the
// N-th allocation fail so that every "release on every way out" path can be exercised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

namespace aperlume {

namespace detail {
void* AllocateAligned(std::size_t bytes) noexcept;  // 16-byte aligned, null on failure or overflow
void FreeAligned(void* p) noexcept;
}  // namespace detail

struct AlignedFree {
    void operator()(void* p) const noexcept { detail::FreeAligned(p); }
};

template <class T>
using Buffer = std::unique_ptr<T[], AlignedFree>;

// a*b (and a*b*c) in size_t, false on overflow.
[[nodiscard]] bool CheckedMultiply(std::size_t a, std::size_t b, std::size_t& product) noexcept;
[[nodiscard]] bool CheckedMultiply(std::size_t a, std::size_t b, std::size_t c, std::size_t& product) noexcept;

// An uninitialised buffer of `count` elements of T, or null when the memory cannot be had or the byte
// size overflows.
template <class T>
[[nodiscard]] Buffer<T> AllocateBuffer(std::size_t count) noexcept {
    std::size_t bytes = 0;
    if (!CheckedMultiply(count, sizeof(T), bytes)) return Buffer<T>();
    return Buffer<T>(static_cast<T*>(detail::AllocateAligned(bytes == 0 ? 1 : bytes)));
}

// The same, for a width x height raster of T (both must be non-negative).
template <class T>
[[nodiscard]] Buffer<T> AllocateRaster(std::int64_t width, std::int64_t height) noexcept {
    if (width < 0 || height < 0) return Buffer<T>();
    std::size_t count = 0;
    if (static_cast<std::uint64_t>(width) > SIZE_MAX || static_cast<std::uint64_t>(height) > SIZE_MAX ||
        !CheckedMultiply(static_cast<std::size_t>(width), static_cast<std::size_t>(height), count))
        return Buffer<T>();
    return AllocateBuffer<T>(count);
}

// An array of `count` value-initialised objects (each able to own buffers of its own) from the same
// allocator, destroyed and released together. Move-only; empty until Allocate succeeds.
template <class T>
class OwnedArray {
public:
    OwnedArray() = default;
    ~OwnedArray() { Reset(); }
    OwnedArray(OwnedArray&& other) noexcept
        : items_(std::move(other.items_)), count_(std::exchange(other.count_, std::size_t{0})) {}
    OwnedArray& operator=(OwnedArray&&) = delete;

    // False (and empty) when the memory cannot be had.
    [[nodiscard]] bool Allocate(std::size_t count) noexcept {
        static_assert(std::is_nothrow_default_constructible_v<T>);
        Reset();
        items_ = AllocateBuffer<T>(count);
        if (items_ == nullptr) return false;
        std::uninitialized_value_construct_n(items_.get(), count);
        count_ = count;
        return true;
    }
    T& operator[](std::size_t i) const noexcept { return items_[i]; }
    std::size_t size() const noexcept { return count_; }

private:
    void Reset() noexcept {
        if (items_ != nullptr) std::destroy_n(items_.get(), count_);
        items_.reset();
        count_ = 0;
    }

    Buffer<T> items_;
    std::size_t count_ = 0;
};

// Test hooks: make the allocation with this ordinal (1 = the next one) fail, 0 to disarm; and the
// number of buffers currently live (allocated and not yet freed).
void FailAllocationNumber(std::int64_t ordinal) noexcept;
std::int64_t AllocationsMade() noexcept;
std::int64_t LiveAllocations() noexcept;

}  // namespace aperlume
