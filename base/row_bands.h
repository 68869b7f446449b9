// The rows of an image in bands spread over the threads: the split every per-pixel pass of a render
// uses (the host exchange, the highlight correction, the copies around a method).
#pragma once

#include <cstdint>

#include "base/parallel_for.h"

namespace aperlume {

// work(first, end) for bands of rows [first, end) that together cover 0..height, on up to `threads`
// threads. A band holds about 64 K pixels (at least one row): pieces worth handing out, and many of them.
// The bands do not depend on the number of threads.
template <class Work>
void ForEachRowBand(std::int32_t threads, std::int32_t width, std::int32_t height, Work work) noexcept {
    if (width <= 0 || height <= 0) return;
    const std::int32_t rows = width >= 65536 ? 1 : 65536 / width;
    const std::int32_t bands = height / rows + (height % rows != 0 ? 1 : 0);
    ParallelFor(threads, bands, [&](std::int64_t band) noexcept {
        const auto first = static_cast<std::int32_t>(band) * rows;
        work(first, height - first < rows ? height : first + rows);
    });
}

}  // namespace aperlume
