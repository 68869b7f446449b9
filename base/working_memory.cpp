// Aligned working buffers by hand (std::aligned_alloc is missing on MinGW): over-allocate, keep the base
// pointer just below the aligned block.
#include "base/working_memory.h"

#include <cstdlib>
#include <cstring>

namespace aperlume {
namespace {

constexpr std::size_t kAlignment = 16;
// The test hooks' counters. Process-wide because the allocator is a free function that every room calls
// with no object to carry them; they change nothing but which allocation fails when a test asks.
std::int64_t failAt = 0;
std::int64_t made = 0;
std::int64_t live = 0;

}  // namespace

bool CheckedMultiply(std::size_t a, std::size_t b, std::size_t& product) noexcept {
    if (a != 0 && b > SIZE_MAX / a) return false;
    product = a * b;
    return true;
}

bool CheckedMultiply(std::size_t a, std::size_t b, std::size_t c, std::size_t& product) noexcept {
    std::size_t ab = 0;
    return CheckedMultiply(a, b, ab) && CheckedMultiply(ab, c, product);
}

namespace detail {

void* AllocateAligned(std::size_t bytes) noexcept {
    ++made;
    if (failAt != 0 && made == failAt) return nullptr;
    if (bytes > SIZE_MAX - kAlignment - sizeof(void*)) return nullptr;
    void* base = std::malloc(bytes + kAlignment + sizeof(void*));
    if (base == nullptr) return nullptr;
    auto raw = reinterpret_cast<std::uintptr_t>(base) + sizeof(void*);
    auto aligned = (raw + kAlignment - 1) & ~static_cast<std::uintptr_t>(kAlignment - 1);
    void* result = reinterpret_cast<void*>(aligned);
    std::memcpy(static_cast<char*>(result) - sizeof(void*), &base, sizeof(void*));
    ++live;
    return result;
}

void FreeAligned(void* p) noexcept {
    if (p == nullptr) return;
    void* base = nullptr;
    std::memcpy(&base, static_cast<char*>(p) - sizeof(void*), sizeof(void*));
    std::free(base);
    --live;
}

}  // namespace detail

void FailAllocationNumber(std::int64_t ordinal) noexcept {
    failAt = ordinal == 0 ? 0 : made + ordinal;
}
std::int64_t AllocationsMade() noexcept { return made; }
std::int64_t LiveAllocations() noexcept { return live; }

}  // namespace aperlume
