// Gathering by weight steps over prefix sums (engine/direct_gather.h).
//
// For one output row, kernel row ky reads source row y - radiusY + ky. With P the prefix sums of that
// row, padded so that P[j] = 0 for j <= radiusX and P[j] = the row's total from radiusX + width on (the
// window clipped to the image), the row's share of output x is
//     sum over k of w[k] * source[x - radiusX + k]  =  sum over the steps of -delta * P[x + k],
// two reads for a hard-edged row, one more per extra weight level. The loops are turned so that one
// term runs over a strip of contiguous x (streaming memory, vectorised over x), and the columns are
// taken in blocks whose prefix rows stay in the second-level cache. The prefix rows live in a ring that
// the bands of a round share: each source row's prefix sums are made once, on all threads, before the
// first round that reads them.
//
// Precision: the prefix sums are kept in double, so a difference of two of them carries a rounding
// error of about (row length) * 2^-53 times the row's largest value, far below the float rounding of
// the result; the received weight comes from the kernel's own summed-area table (exact for every
// kernel the dialog can make: float weights summed in double), and whether anything was received at
// all from exact counts of positive weights.
#include "engine/direct_gather.h"

#include <algorithm>

namespace aperlume::direct {
namespace {

std::int32_t RoundUp(std::int32_t value, std::int32_t step) { return (value + step - 1) / step * step; }

// A kernel's summed-area table: sums[ky * (width + 1) + kx] holds the weights of rows < ky, columns < kx.
class KernelSums {
public:
    [[nodiscard]] bool Build(const KernelSteps& kernel, bool marks) {
        width_ = kernel.Width() + 1;
        sums_ = AllocateRaster<double>(width_, std::int64_t{kernel.Height()} + 1);
        if (sums_ == nullptr) return false;
        std::fill_n(sums_.get(), width_, 0.0);
        for (std::int32_t ky = 0; ky < kernel.Height(); ++ky) {
            const double* above = sums_.get() + static_cast<std::size_t>(ky) * width_;
            double* row = sums_.get() + static_cast<std::size_t>(ky + 1) * width_;
            const Step* step = marks ? kernel.MarksBegin(ky) : kernel.StepsBegin(ky);
            const Step* end = marks ? kernel.MarksEnd(ky) : kernel.StepsEnd(ky);
            double weight = 0.0;
            double running = 0.0;
            row[0] = 0.0;
            for (std::int32_t kx = 0; kx < kernel.Width(); ++kx) {
                for (; step != end && step->column == kx; ++step) weight += step->delta;
                running += weight;
                row[kx + 1] = above[kx + 1] + running;
            }
        }
        return true;
    }
    double Rectangle(std::int32_t rowLow, std::int32_t rowHigh, std::int32_t columnLow, std::int32_t columnHigh) const {
        const double* low = sums_.get() + static_cast<std::size_t>(rowLow) * width_;
        const double* high = sums_.get() + static_cast<std::size_t>(rowHigh) * width_;
        return (high[columnHigh] - low[columnHigh]) - (high[columnLow] - low[columnLow]);
    }

private:
    std::int32_t width_ = 0;
    Buffer<double> sums_;
};

// The prefix rows of every spread quantity, in a ring like SourceRing's: the planes' values (with
// transparency each colour masked by its opacity, and the alpha), and, with transparency, the opacity
// itself (1 where alpha > 0, else 0).
class PrefixRing {
public:
    [[nodiscard]] bool Init(const Lanes& lanes, const Geometry& g, std::int32_t stride, std::int32_t capacity) {
        lanes_ = lanes;
        width_ = g.width;
        left_ = g.radiusX + 1;  // P[0..radiusX] = 0
        stride_ = stride;
        capacity_ = capacity;
        for (std::int32_t lane = 0; lane < Count(); ++lane) {
            rows_[lane] = AllocateRaster<double>(stride, capacity);
            if (rows_[lane] == nullptr) return false;
        }
        return true;
    }
    std::int32_t Count() const { return lanes_.Planes() + (lanes_.alpha ? 1 : 0); }
    std::int32_t OpacityLane() const { return lanes_.Planes(); }
    const double* Base(std::int32_t lane) const { return rows_[lane].get(); }
    std::ptrdiff_t RowOffset(std::int32_t y) const { return static_cast<std::ptrdiff_t>(y % capacity_) * stride_; }

    void Fill(std::span<const PlaneView> planes, std::int32_t end, std::int32_t threads) {
        FillRows(filled_, end, 4, threads, [&](std::int32_t first, std::int32_t last) {
            for (std::int32_t lane = 0; lane < Count(); ++lane) FillLane(planes, lane, first, last);
        });
        filled_ = std::max(filled_, end);
    }

private:
    // Up to four rows at a time, whose running sums do not wait on one another.
    void FillLane(std::span<const PlaneView> planes, std::int32_t lane, std::int32_t first, std::int32_t last) {
        const std::int32_t rows = last - first;
        double* p[4];
        const float* in[4];
        const float* alpha[4];
        for (std::int32_t r = 0; r < 4; ++r) {
            const std::int32_t y = first + std::min(r, rows - 1);  // a short group repeats its last row
            p[r] = rows_[lane].get() + RowOffset(y);
            const std::int32_t plane = lane == OpacityLane() ? lanes_.colourPlanes : lane;
            in[r] = planes[static_cast<std::size_t>(plane)].Row(y);
            alpha[r] = lanes_.alpha ? planes[static_cast<std::size_t>(lanes_.colourPlanes)].Row(y) : nullptr;
            std::fill_n(p[r], left_, 0.0);
        }
        double run[4] = {0.0, 0.0, 0.0, 0.0};
        if (!lanes_.alpha) {
            for (std::int32_t x = 0; x < width_; ++x)
                for (std::int32_t r = 0; r < 4; ++r) p[r][left_ + x] = run[r] += in[r][x];
        } else if (lane == OpacityLane()) {
            for (std::int32_t x = 0; x < width_; ++x)
                for (std::int32_t r = 0; r < 4; ++r) p[r][left_ + x] = run[r] += alpha[r][x] > 0.0f ? 1.0 : 0.0;
        } else {
            for (std::int32_t x = 0; x < width_; ++x)
                for (std::int32_t r = 0; r < 4; ++r) p[r][left_ + x] = run[r] += alpha[r][x] > 0.0f ? in[r][x] : 0.0f;
        }
        for (std::int32_t r = 0; r < 4; ++r) std::fill(p[r] + left_ + width_, p[r] + stride_, run[r]);
    }

    Lanes lanes_{};
    std::int32_t width_ = 0;
    std::int32_t left_ = 0;
    std::int32_t stride_ = 0;
    std::int32_t capacity_ = 0;
    std::int32_t filled_ = 0;
    Buffer<double> rows_[5];
};

// One thread's working storage.
struct Scratch {
    Buffer<GatherTerm> terms;     // one output row's terms
    Buffer<double> sums;          // one strip of a block: gathered sums
    Buffer<double> counts;        // the same for the counts (and the received weights)
    Buffer<double> colourWeight;  // transparency only: the band's colour weights, rows x width
};

class UniformGather {
public:
    UniformGather(const Geometry& g, const Lanes& lanes, const KernelSteps& kernel, const Loops& loops,
                  std::span<const PlaneView> planes, const PrefixRing& ring)
        : g_(g), lanes_(lanes), kernel_(kernel), loops_(loops), planes_(planes), ring_(ring) {}

    [[nodiscard]] bool Prepare(const BandPlan& plan, std::int32_t slots, std::int32_t blockWidth) {
        plan_ = plan;
        blockWidth_ = blockWidth;
        if (!weightSums_.Build(kernel_, false) || !countSums_.Build(kernel_, true) ||
            !scratch_.Allocate(static_cast<std::size_t>(slots)))
            return false;
        const auto most = static_cast<std::size_t>(std::max(kernel_.StepCount(), kernel_.MarkCount()));
        for (std::int32_t s = 0; s < slots; ++s) {
            Scratch& scratch = scratch_[static_cast<std::size_t>(s)];
            scratch.terms = AllocateBuffer<GatherTerm>(most);
            scratch.sums = AllocateBuffer<double>(static_cast<std::size_t>(blockWidth_));
            scratch.counts = AllocateBuffer<double>(static_cast<std::size_t>(blockWidth_));
            if (lanes_.alpha) scratch.colourWeight = AllocateRaster<double>(g_.width, plan.rows);
            if (scratch.terms == nullptr || scratch.sums == nullptr || scratch.counts == nullptr ||
                (lanes_.alpha && scratch.colourWeight == nullptr))
                return false;
        }
        return true;
    }

    void operator()(std::int32_t band, std::int32_t slot) const {
        Scratch& scratch = scratch_[static_cast<std::size_t>(slot)];
        const std::int32_t y0 = plan_.Begin(band);
        const std::int32_t y1 = plan_.End(band);
        if (lanes_.alpha) {
            // The colour weights first: the weights of the opaque sources, 0 where no opaque source has a
            // positive weight (counted exactly by the marks). With one weight level they are that level
            // times the count.
            const std::int32_t opacity = ring_.OpacityLane();
            const bool single = kernel_.SingleLevel();
            ForEachStrip(y0, y1, [&](const Strip& strip) {
                if (!single) Gather(scratch, strip, opacity, false, scratch.sums.get());
                Gather(scratch, strip, opacity, true, scratch.counts.get());
                double* out = scratch.colourWeight.get() + static_cast<std::size_t>(strip.y - y0) * g_.width + strip.x0;
                for (std::int32_t i = 0; i < strip.n; ++i) {
                    const double count = scratch.counts[i];
                    out[i] = count > 0.5 ? (single ? kernel_.Level() * count : scratch.sums[i]) : 0.0;
                }
            });
        }
        for (std::int32_t p = 0; p < lanes_.Planes(); ++p) {
            const bool opaqueMean = lanes_.alpha && p < lanes_.colourPlanes;
            ForEachStrip(y0, y1, [&](const Strip& strip) {
                Gather(scratch, strip, p, false, scratch.sums.get());
                const double* weight = scratch.counts.get();
                if (opaqueMean) {
                    weight = scratch.colourWeight.get() + static_cast<std::size_t>(strip.y - y0) * g_.width + strip.x0;
                } else {
                    ReceivedWeights(strip, scratch.counts.get());
                }
                loops_.means(scratch.sums.get(), weight, planes_[static_cast<std::size_t>(p)].Row(strip.y) + strip.x0,
                             strip.n);
            });
        }
    }

private:
    // Output row y, columns [x0, x0 + n), and the kernel rows whose source rows lie inside the image.
    struct Strip {
        std::int32_t y;
        std::int32_t x0;
        std::int32_t n;
        std::int32_t kyLow;
        std::int32_t kyHigh;
    };

    // Calls visit(strip) for the output rows [y0, y1), block by block: a block's prefix rows stay in the
    // cache from one output row to the next.
    template <class Visit>
    void ForEachStrip(std::int32_t y0, std::int32_t y1, Visit visit) const {
        for (std::int32_t x0 = 0; x0 < g_.width; x0 += blockWidth_) {
            const std::int32_t n = std::min(blockWidth_, g_.width - x0);
            for (std::int32_t y = y0; y < y1; ++y) {
                visit(Strip{y, x0, n, std::max(0, g_.radiusY - y),
                            static_cast<std::int32_t>(std::min<std::int64_t>(g_.kernelHeight,
                                                                             std::int64_t{g_.height} - y + g_.radiusY))});
            }
        }
    }

    // The strip's sums of one lane under the kernel's steps (or marks) into out[0..n).
    void Gather(Scratch& scratch, const Strip& strip, std::int32_t lane, bool marks, double* out) const {
        std::int32_t count = 0;
        for (std::int32_t ky = strip.kyLow; ky < strip.kyHigh; ++ky) {
            const std::ptrdiff_t row = ring_.RowOffset(strip.y - g_.radiusY + ky);
            const Step* end = marks ? kernel_.MarksEnd(ky) : kernel_.StepsEnd(ky);
            for (const Step* s = marks ? kernel_.MarksBegin(ky) : kernel_.StepsBegin(ky); s != end; ++s)
                scratch.terms[count++] = GatherTerm{row + s->column, -s->delta};
        }
        loops_.gather(ring_.Base(lane), strip.x0, scratch.terms.get(), count, out, RoundUp(strip.n, kGatherStrip));
    }

    // The weight that the strip's pixels receive from all sources inside the image, 0 where none has a
    // positive weight. Only the columns within radiusX of the image's sides see part of the kernel.
    void ReceivedWeights(const Strip& strip, double* out) const {
        auto received = [&](std::int32_t x) {
            const std::int32_t kxLow = std::max(0, g_.radiusX - x);
            const std::int32_t kxHigh = static_cast<std::int32_t>(
                std::min<std::int64_t>(g_.kernelWidth, std::int64_t{g_.width} - x + g_.radiusX));
            return countSums_.Rectangle(strip.kyLow, strip.kyHigh, kxLow, kxHigh) > 0.5
                       ? weightSums_.Rectangle(strip.kyLow, strip.kyHigh, kxLow, kxHigh)
                       : 0.0;
        };
        const std::int32_t wholeFrom = std::max(strip.x0, g_.radiusX);
        const std::int32_t wholeTo = std::min(strip.x0 + strip.n, g_.width - g_.radiusX);
        if (wholeFrom >= wholeTo) {
            for (std::int32_t i = 0; i < strip.n; ++i) out[i] = received(strip.x0 + i);
            return;
        }
        for (std::int32_t x = strip.x0; x < wholeFrom; ++x) out[x - strip.x0] = received(x);
        std::fill(out + (wholeFrom - strip.x0), out + (wholeTo - strip.x0), received(wholeFrom));
        for (std::int32_t x = wholeTo; x < strip.x0 + strip.n; ++x) out[x - strip.x0] = received(x);
    }

    const Geometry g_;
    const Lanes lanes_;
    const KernelSteps& kernel_;
    const Loops& loops_;
    const std::span<const PlaneView> planes_;
    const PrefixRing& ring_;
    BandPlan plan_{};
    std::int32_t blockWidth_ = 0;
    KernelSums weightSums_;
    KernelSums countSums_;
    OwnedArray<Scratch> scratch_;
};

}  // namespace

Result GatherUniform(const Geometry& geometry, const Lanes& lanes, const KernelSteps& kernel, const Loops& loops,
                     std::int32_t threads, std::span<const PlaneView> planes, Progress& progress) {
    // Rows of prefix sums are padded to whole strips, and reach kernelWidth beyond the last output.
    const std::int32_t paddedWidth = RoundUp(geometry.width, kGatherStrip);
    const std::int32_t stride = paddedWidth + geometry.kernelWidth;
    const std::int32_t ringLanes = lanes.Planes() + (lanes.alpha ? 1 : 0);
    const double rowCost = static_cast<double>(geometry.width) * ringLanes * (kernel.StepCount() + 4.0);
    // Four bands per thread and round, a quarter of a round's work and memory each.
    constexpr std::int32_t kPerThread = 4;
    const double rowBytes = 8.0 * stride * ringLanes;
    const BandPlan plan = PlanBands(geometry.height, rowCost, kBandWork / kPerThread,
                                    static_cast<std::int32_t>(std::max(4.0, kBandBytes / (kPerThread * rowBytes))));
    const std::int32_t perRound = BandsPerRound(plan, threads, kPerThread);
    const auto capacity = static_cast<std::int32_t>(std::min<std::int64_t>(
        geometry.height, std::int64_t{perRound} * plan.rows + 2 * std::int64_t{geometry.radiusY}));
    // A block's part of the kernelHeight rows that one output row reads should stay in the cache.
    const double fit = kBlockBytes / (8.0 * geometry.kernelHeight) - geometry.kernelWidth;
    const std::int32_t blockWidth =
        fit >= paddedWidth ? paddedWidth : std::max(kGatherStrip, static_cast<std::int32_t>(fit) / kGatherStrip * kGatherStrip);
    PrefixRing ring;
    UniformGather gather(geometry, lanes, kernel, loops, planes, ring);
    if (!ring.Init(lanes, geometry, stride, capacity) || !gather.Prepare(plan, perRound, blockWidth)) return kOutOfMemory;
    return RunRounds(plan, perRound, threads, geometry.radiusY, ring, planes, progress, gather);
}

}  // namespace aperlume::direct
