// What the direct method's two paths share: the geometry of a render, the source rows as the spread
// reads them, and the bands of output rows that the threads take.
//
// Bands and rounds. The output rows are cut into bands whose height follows only from the image and the
// kernel, never from the number of threads, and every band is computed from the source rows alone, so
// the output is the same for any number of threads. Bands are taken in rounds of at most one per
// thread; the calling thread holds a check point before each round and joins the workers after it.
// A band writes its means straight into the planes, so the source values that later bands still need
// are kept in the source ring: every row is copied there once, masked by its opacity, before the first
// round that reads it.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <span>

#include "base/parallel_for.h"
#include "base/result.h"
#include "base/working_memory.h"
#include "engine/render.h"

namespace aperlume::direct {

struct Geometry {
    std::int32_t width;
    std::int32_t height;
    // The kernel raster: the whole aperture, centred, unless a huge one is cut to the part that can reach
    // from one pixel of the image to another. Both sides are odd, so the centre lies radius rows (and
    // columns) from either edge.
    std::int32_t kernelWidth;
    std::int32_t kernelHeight;
    std::int32_t radiusX;
    std::int32_t radiusY;
};

// The planes a layout spreads: colour planes 0.. and, when `alpha`, the transparency in the next one.
// With transparency a source whose alpha is 0 or below adds nothing to the colour, while its weight
// counts towards the alpha: colours are means over the non-transparent pixels, alphas means over all.
struct Lanes {
    std::int32_t colourPlanes;  // 1 or 3
    bool alpha;
    std::int32_t Planes() const { return colourPlanes + (alpha ? 1 : 0); }
};

// The rows the current round reads, in a ring: row y in slot y mod capacity. With transparency each
// colour value is stored as 0 where the pixel is transparent, and the alpha as 0 where it is 0 or below,
// so that "opaque" reads as alpha > 0.
class SourceRing {
public:
    [[nodiscard]] bool Init(const Lanes& lanes, std::int32_t width, std::int32_t capacity);
    // Copies rows [filled, end) in from the planes, on up to `threads` threads (callers never ask for more
    // than capacity rows back).
    void Fill(std::span<const PlaneView> planes, std::int32_t end, std::int32_t threads);
    const float* Row(std::int32_t plane, std::int32_t y) const {
        return rows_[static_cast<std::size_t>(plane)].get() +
               static_cast<std::size_t>(y % capacity_) * static_cast<std::size_t>(width_);
    }

private:
    float* Slot(std::int32_t plane, std::int32_t y) {
        return rows_[static_cast<std::size_t>(plane)].get() +
               static_cast<std::size_t>(y % capacity_) * static_cast<std::size_t>(width_);
    }

    Lanes lanes_{};
    std::int32_t width_ = 0;
    std::int32_t capacity_ = 0;
    std::int32_t filled_ = 0;
    Buffer<float> rows_[4];
};

// Calls fill(y) for rows [begin, end) in pieces of `rows` on up to `threads` threads.
template <class Fill>
void FillRows(std::int32_t begin, std::int32_t end, std::int32_t rows, std::int32_t threads, Fill fill) {
    if (end <= begin) return;
    const std::int32_t pieces = (end - begin + rows - 1) / rows;
    ParallelFor(threads, pieces, [&](std::int64_t piece) noexcept {
        const std::int32_t first = begin + static_cast<std::int32_t>(piece) * rows;
        fill(first, std::min(end, first + rows));
    });
}

struct BandPlan {
    std::int32_t rows;   // per band (the last may be shorter)
    std::int32_t count;
    std::int32_t height;
    std::int32_t Begin(std::int32_t band) const { return band * rows; }
    std::int32_t End(std::int32_t band) const { return band + 1 >= count ? height : (band + 1) * rows; }
};

// Estimated work per thread and round (its bands together), in multiply-adds of one value (a gathered
// term for one pixel, a scattered step for one source); on one thread it is the work between two check
// points (measured by bench/engine_bench.cpp, BM_DirectCheckPoints).
inline constexpr double kBandWork = 2.0e8;
// The rows of one thread's bands in a round may take this much working memory, at most.
inline constexpr double kBandBytes = 4.0 * 1024.0 * 1024.0;
// The rows that a column block works on should fit this much of the second-level cache.
inline constexpr double kBlockBytes = 768.0 * 1024.0;

// Bands of about `bandCost` units of work (`rowCost` per row) and at most `mostRows` rows, at least 16
// of them where the height allows (work for several threads, and check points, on small images too).
BandPlan PlanBands(std::int32_t height, double rowCost, double bandCost, std::int32_t mostRows);

// The method's check points: the full poll, then the position on the scale of height + 40.
class Progress {
public:
    Progress(CheckPoints& checkPoints, std::int32_t height) : checkPoints_(checkPoints), height_(height) {}
    // A check point with `rows` output rows done; false when the run is to stop.
    [[nodiscard]] bool Check(std::int32_t rows);

private:
    CheckPoints& checkPoints_;
    std::int32_t height_;
};

// The bands of one round: one on a single thread; otherwise `perThread` for every thread, taken in
// turn from a shared counter, so that a thread slowed by other work on the machine leaves its share to
// the others instead of holding up the round.
inline std::int32_t BandsPerRound(const BandPlan& plan, std::int32_t threads, std::int32_t perThread) {
    return threads <= 1 ? 1 : std::max(1, std::min(plan.count, threads * perThread));
}

// Runs band(index, slot) for every band of `plan`, in rounds of at most `bandsPerRound` bands on
// `threads` threads, each band of a round with its own slot 0..bandsPerRound-1, filling the ring first
// with the rows the round reads (radiusY beyond its bands): ring.Fill(planes, end, threads).
template <class Ring, class Band>
[[nodiscard]] Result RunRounds(const BandPlan& plan, std::int32_t bandsPerRound, std::int32_t threads,
                               std::int32_t radiusY, Ring& ring, std::span<const PlaneView> planes, Progress& progress,
                               Band& band);

// --- implementation

template <class Ring, class Band>
Result RunRounds(const BandPlan& plan, std::int32_t bandsPerRound, std::int32_t threads, std::int32_t radiusY,
                 Ring& ring, std::span<const PlaneView> planes, Progress& progress, Band& band) {
    for (std::int32_t first = 0; first < plan.count; first += bandsPerRound) {
        const std::int32_t pieces = std::min(bandsPerRound, plan.count - first);
        if (!progress.Check(plan.Begin(first))) return kUserCanceled;
        const std::int64_t reach = std::int64_t{plan.End(first + pieces - 1)} + radiusY;
        ring.Fill(planes, static_cast<std::int32_t>(reach < plan.height ? reach : plan.height), threads);
        ParallelFor(threads, pieces, [&band, first](std::int64_t slot) noexcept {
            band(first + static_cast<std::int32_t>(slot), static_cast<std::int32_t>(slot));
        });
    }
    return kOk;
}

}  // namespace aperlume::direct
