// Scattering by weight steps into difference rows (engine/direct_scatter.h).
//
// A source x spreading kernel row ky adds delta * value at position x + k of target row
// y - radiusY + ky's difference row for every step (k, delta) of that row; summed up from the left, the
// difference row gives each target its weight times the value. Sources of equal size code lie in runs
// along a row (a depth map changes slowly), so a step is added for a whole run at once: a contiguous
// multiply-add over x. The weights received are spread the same way with the value 1 (or the opacity),
// which is constant along a run: two second differences per step and run, summed up twice.
//
// Contributions of sources above the focus go to a second set of difference rows, because in-focus
// targets (size code +1) must not receive them. Whether anything arrived at all is decided from exact
// counts of positive weights, spread the same way by the kernel's marks.
//
// A band of target rows reads the source rows within radiusY of it and keeps the target rows' difference
// rows; the sources are taken in column blocks, so that the part of the difference rows they reach stays
// in the second-level cache. Each target sums its contributions in an order fixed by the band and block
// boundaries, which follow from the image and the kernel alone. Precision: the difference rows are
// double, the received weights and counts sums of float weights and of small integers.
#include "engine/direct_scatter.h"

#include <algorithm>
#include <cstring>

#include "engine/aperture_kernel.h"
#include "engine/direct_convolution.h"
#include "engine/direct_kernel_steps.h"

namespace aperlume::direct {
namespace {

// Apertures up to this diameter are always drawn whole.
constexpr std::int32_t kWholeDiameter = 1001;
// Pixels of size codes computed per piece of the first pass.
constexpr std::int64_t kCodePixels = std::int64_t{1} << 20;

// A pixel's size code packed into 16 bits: (|code| - 1) / 2 shifted up, and the low bit set when the
// code is negative (the depth lies above the focus). Code +1 packs to 0.
using Packed = std::uint16_t;
inline std::int32_t SizeIndex(Packed p) { return p >> 1; }
inline bool Above(Packed p) { return (p & 1) != 0; }
inline Packed Pack(std::int32_t code) {
    const std::int32_t size = code < 0 ? -code : code;
    return static_cast<Packed>(((size - 1) / 2) << 1 | (code < 0 ? 1 : 0));
}

// A run of sources of one size code in a row: [previous end, end).
struct Segment {
    std::int32_t end;
    Packed code;
};

struct Scratch {
    Buffer<double> differences;   // 2 sides x rows x stride
    Buffer<double> totalWeight;   // rows x width: the weight received, 0 where nothing arrived
    Buffer<double> colourWeight;  // transparency only: the same from opaque sources
    Buffer<double> row;           // one finished target row
    Buffer<Segment> segments;     // the band's source rows' runs
    Buffer<std::int32_t> rowStart;
    Buffer<std::int32_t> cursor;
};

enum class Spread { Value, Weight, Count, OpaqueWeight, OpaqueCount };

class DepthScatter {
public:
    DepthScatter(const Geometry& g, const Lanes& lanes, const Loops& loops, std::span<const PlaneView> planes,
                 const SourceRing& ring, const Packed* codes, const OwnedArray<KernelSteps>& kernels)
        : g_(g), lanes_(lanes), loops_(loops), planes_(planes), ring_(ring), codes_(codes), kernels_(kernels) {}

    [[nodiscard]] bool Prepare(const BandPlan& plan, std::int32_t slots) {
        plan_ = plan;
        stride_ = static_cast<std::size_t>(g_.width) + static_cast<std::size_t>(g_.kernelWidth) + 1;
        const double fit = kBlockBytes / (16.0 * plan.rows) - g_.kernelWidth;
        blockWidth_ = fit >= g_.width ? g_.width : std::max(64, static_cast<std::int32_t>(fit));
        const std::int64_t sourceRows = std::int64_t{plan.rows} + g_.kernelHeight - 1;
        if (!scratch_.Allocate(static_cast<std::size_t>(slots))) return false;
        for (std::int32_t s = 0; s < slots; ++s) {
            Scratch& scratch = scratch_[static_cast<std::size_t>(s)];
            scratch.differences = AllocateRaster<double>(static_cast<std::int64_t>(stride_), 2 * std::int64_t{plan.rows});
            scratch.totalWeight = AllocateRaster<double>(g_.width, plan.rows);
            if (lanes_.alpha) scratch.colourWeight = AllocateRaster<double>(g_.width, plan.rows);
            scratch.row = AllocateBuffer<double>(static_cast<std::size_t>(g_.width));
            scratch.segments = AllocateRaster<Segment>(g_.width, sourceRows);
            scratch.rowStart = AllocateBuffer<std::int32_t>(static_cast<std::size_t>(sourceRows) + 1);
            scratch.cursor = AllocateBuffer<std::int32_t>(static_cast<std::size_t>(sourceRows));
            if (scratch.differences == nullptr || scratch.totalWeight == nullptr ||
                (lanes_.alpha && scratch.colourWeight == nullptr) || scratch.row == nullptr ||
                scratch.segments == nullptr || scratch.rowStart == nullptr || scratch.cursor == nullptr)
                return false;
        }
        return true;
    }

    void operator()(std::int32_t band, std::int32_t slot) const {
        Scratch& scratch = scratch_[static_cast<std::size_t>(slot)];
        Band b{plan_.Begin(band), plan_.End(band), 0, 0, false};
        b.s0 = std::max(0, b.y0 - g_.radiusY);
        b.s1 = static_cast<std::int32_t>(std::min<std::int64_t>(g_.height, std::int64_t{b.y1} + g_.radiusY));
        b.shielding = FindSegments(scratch, b);
        const std::size_t width = static_cast<std::size_t>(g_.width);

        Run(scratch, b, Spread::Weight, 0, [&](std::int32_t t, const double* received) {
            std::memcpy(scratch.totalWeight.get() + (t - b.y0) * width, received, width * sizeof(double));
        });
        Run(scratch, b, Spread::Count, 0, [&](std::int32_t t, const double* count) {
            double* weight = scratch.totalWeight.get() + (t - b.y0) * width;
            for (std::size_t x = 0; x < width; ++x) if (!(count[x] > 0.5)) weight[x] = 0.0;
        });
        if (lanes_.alpha) {
            Run(scratch, b, Spread::OpaqueWeight, 0, [&](std::int32_t t, const double* received) {
                std::memcpy(scratch.colourWeight.get() + (t - b.y0) * width, received, width * sizeof(double));
            });
            Run(scratch, b, Spread::OpaqueCount, 0, [&](std::int32_t t, const double* count) {
                double* weight = scratch.colourWeight.get() + (t - b.y0) * width;
                for (std::size_t x = 0; x < width; ++x) if (!(count[x] > 0.5)) weight[x] = 0.0;
            });
        }
        for (std::int32_t p = 0; p < lanes_.Planes(); ++p) {
            const bool opaqueMean = lanes_.alpha && p < lanes_.colourPlanes;
            Run(scratch, b, Spread::Value, p, [&](std::int32_t t, const double* sums) {
                const double* weight = (opaqueMean ? scratch.colourWeight : scratch.totalWeight).get() + (t - b.y0) * width;
                loops_.means(sums, weight, planes_[static_cast<std::size_t>(p)].Row(t), g_.width);
            });
        }
    }

private:
    struct Band {
        std::int32_t y0;  // target rows [y0, y1)
        std::int32_t y1;
        std::int32_t s0;  // source rows [s0, s1)
        std::int32_t s1;
        bool shielding;   // some target at code +1 and some source above the focus
    };

    const Packed* CodeRow(std::int32_t y) const { return codes_ + static_cast<std::size_t>(y) * g_.width; }

    // The runs of equal codes of the band's source rows; whether the band needs the shielded side.
    bool FindSegments(Scratch& scratch, const Band& b) const {
        std::int32_t next = 0;
        bool above = false;
        for (std::int32_t s = b.s0; s < b.s1; ++s) {
            scratch.rowStart[s - b.s0] = next;
            const Packed* codes = CodeRow(s);
            for (std::int32_t x = 0; x < g_.width;) {
                const Packed code = codes[x];
                std::int32_t end = x + 1;
                while (end < g_.width && codes[end] == code) ++end;
                scratch.segments[next++] = Segment{end, code};
                above = above || Above(code);
                x = end;
            }
        }
        scratch.rowStart[b.s1 - b.s0] = next;
        if (!above) return false;
        for (std::int32_t t = b.y0; t < b.y1; ++t) {
            const Packed* codes = CodeRow(t);
            if (std::find(codes, codes + g_.width, Packed{0}) != codes + g_.width) return true;
        }
        return false;
    }

    // Spreads one quantity of every source of the band, then calls finished(t, row) for every target
    // row with its sums in row[0..width).
    template <class Finished>
    void Run(Scratch& scratch, const Band& b, Spread spread, std::int32_t plane, Finished finished) const {
        const std::size_t rows = static_cast<std::size_t>(b.y1 - b.y0);
        const std::int32_t sides = b.shielding ? 2 : 1;
        double* below = scratch.differences.get();
        double* aboveSide = below + rows * stride_;
        std::fill_n(below, static_cast<std::size_t>(sides) * rows * stride_, 0.0);
        for (std::int32_t s = b.s0; s < b.s1; ++s) scratch.cursor[s - b.s0] = scratch.rowStart[s - b.s0];

        for (std::int32_t x0 = 0; x0 < g_.width; x0 += blockWidth_) {
            const std::int32_t x1 = std::min(g_.width, x0 + blockWidth_);
            for (std::int32_t s = b.s0; s < b.s1; ++s) {
                std::int32_t& cursor = scratch.cursor[s - b.s0];
                const std::int32_t rowEnd = scratch.rowStart[s - b.s0 + 1];
                const float* values = spread == Spread::Value ? ring_.Row(plane, s) : nullptr;
                const float* alpha = lanes_.alpha ? ring_.Row(lanes_.colourPlanes, s) : nullptr;
                for (; cursor < rowEnd; ++cursor) {
                    const Segment& segment = scratch.segments[cursor];
                    const std::int32_t begin = std::max(x0, cursor == scratch.rowStart[s - b.s0] ? 0 : scratch.segments[cursor - 1].end);
                    const std::int32_t end = std::min(x1, segment.end);
                    if (begin < end) {
                        const KernelSteps& kernel = kernels_[static_cast<std::size_t>(SizeIndex(segment.code))];
                        double* side = b.shielding && Above(segment.code) ? aboveSide : below;
                        SpreadRun(kernel, spread, side, b, s, begin, end, values, alpha);
                    }
                    if (segment.end > x1) break;  // the rest of this run belongs to the next block
                }
            }
        }

        const bool twice = spread != Spread::Value;
        for (std::int32_t t = b.y0; t < b.y1; ++t) {
            double* d0 = below + static_cast<std::size_t>(t - b.y0) * stride_;
            double* d1 = aboveSide + static_cast<std::size_t>(t - b.y0) * stride_;
            const std::size_t reach = static_cast<std::size_t>(g_.width) + static_cast<std::size_t>(g_.radiusX);
            if (twice) {
                SumUp(d0, reach);
                if (b.shielding) SumUp(d1, reach);
            }
            SumUp(d0, reach);
            if (b.shielding) SumUp(d1, reach);
            const double* at0 = d0 + g_.radiusX;
            double* out = scratch.row.get();
            if (!b.shielding) {
                std::memcpy(out, at0, static_cast<std::size_t>(g_.width) * sizeof(double));
            } else {
                const double* at1 = d1 + g_.radiusX;
                const Packed* codes = CodeRow(t);
                // An in-focus target at or below the focus receives nothing from sources above it.
                for (std::int32_t x = 0; x < g_.width; ++x) out[x] = codes[x] == 0 ? at0[x] : at0[x] + at1[x];
            }
            finished(t, out);
        }
    }

    static void SumUp(double* d, std::size_t count) {
        double running = 0.0;
        for (std::size_t j = 0; j < count; ++j) d[j] = running += d[j];
    }

    // Sources [begin, end) of row s, all of one kernel, into the band's difference rows.
    void SpreadRun(const KernelSteps& kernel, Spread spread, double* side, const Band& b, std::int32_t s,
                   std::int32_t begin, std::int32_t end, const float* values, const float* alpha) const {
        // Kernel rows ky reach target row s - radiusY + ky; only the band's rows are kept here.
        const std::int32_t kyLow = std::max(kernel.FirstRow(), b.y0 - s + g_.radiusY);
        const std::int32_t kyHigh = std::min(kernel.EndRow(), b.y1 - s + g_.radiusY);
        for (std::int32_t ky = kyLow; ky < kyHigh; ++ky) {
            double* row = side + static_cast<std::size_t>(s - g_.radiusY + ky - b.y0) * stride_;
            switch (spread) {
                case Spread::Value:
                    for (const Step* step = kernel.StepsBegin(ky); step != kernel.StepsEnd(ky); ++step)
                        loops_.addScaled(row + begin + step->column, values + begin, step->delta, end - begin);
                    break;
                case Spread::Weight:
                    AddBox(row, kernel.StepsBegin(ky), kernel.StepsEnd(ky), begin, end);
                    break;
                case Spread::Count:
                    AddBox(row, kernel.MarksBegin(ky), kernel.MarksEnd(ky), begin, end);
                    break;
                case Spread::OpaqueWeight:
                case Spread::OpaqueCount: {
                    const bool count = spread == Spread::OpaqueCount;
                    const Step* first = count ? kernel.MarksBegin(ky) : kernel.StepsBegin(ky);
                    const Step* last = count ? kernel.MarksEnd(ky) : kernel.StepsEnd(ky);
                    for (std::int32_t x = begin; x < end;) {
                        if (!(alpha[x] > 0.0f)) {
                            ++x;
                            continue;
                        }
                        std::int32_t opaqueEnd = x + 1;
                        while (opaqueEnd < end && alpha[opaqueEnd] > 0.0f) ++opaqueEnd;
                        AddBox(row, first, last, x, opaqueEnd);
                        x = opaqueEnd;
                    }
                    break;
                }
            }
        }
    }

    // Every source in [begin, end) adds the steps with the value 1: as second differences.
    static void AddBox(double* row, const Step* first, const Step* last, std::int32_t begin, std::int32_t end) {
        for (const Step* step = first; step != last; ++step) {
            row[begin + step->column] += step->delta;
            row[end + step->column] -= step->delta;
        }
    }

    const Geometry g_;
    const Lanes lanes_;
    const Loops& loops_;
    const std::span<const PlaneView> planes_;
    const SourceRing& ring_;
    const Packed* codes_;
    const OwnedArray<KernelSteps>& kernels_;
    BandPlan plan_{};
    std::size_t stride_ = 0;
    std::int32_t blockWidth_ = 0;
    OwnedArray<Scratch> scratch_;
};

// The size codes of the whole depth map, and which sizes occur, in pieces of rows between check points.
Result ComputeCodes(const Geometry& g, const FilterParameters& settings, std::int32_t diameter, const float* depthMap,
                    std::int32_t threads, Packed* codes, std::uint8_t* used, std::int32_t sizeCount,
                    Progress& progress) {
    const std::int32_t rowsPerPiece =
        static_cast<std::int32_t>(std::max<std::int64_t>(1, kCodePixels / std::max(1, g.width)));
    const std::int32_t pieces = (g.height + rowsPerPiece - 1) / rowsPerPiece;
    const std::int32_t slots = std::max(1, std::min(threads, pieces));
    Buffer<std::uint8_t> marks = AllocateRaster<std::uint8_t>(sizeCount, slots);
    if (marks == nullptr) return kOutOfMemory;
    std::fill_n(marks.get(), static_cast<std::size_t>(sizeCount) * slots, std::uint8_t{0});
    for (std::int32_t first = 0; first < pieces; first += slots) {
        if (!progress.Check(0)) return kUserCanceled;
        const std::int32_t count = std::min(slots, pieces - first);
        ParallelFor(count, count, [&](std::int64_t slot) noexcept {
            const std::int32_t y0 = (first + static_cast<std::int32_t>(slot)) * rowsPerPiece;
            const std::int32_t y1 = std::min(g.height, y0 + rowsPerPiece);
            std::uint8_t* seen = marks.get() + static_cast<std::size_t>(slot) * sizeCount;
            for (std::size_t j = static_cast<std::size_t>(y0) * g.width; j < static_cast<std::size_t>(y1) * g.width; ++j) {
                codes[j] = Pack(DepthSizeCode(depthMap[j], settings.focus, diameter));
                seen[SizeIndex(codes[j])] = 1;
            }
        });
    }
    for (std::int32_t i = 0; i < sizeCount; ++i) {
        used[i] = 0;
        for (std::int32_t slot = 0; slot < slots; ++slot) used[i] |= marks[static_cast<std::size_t>(slot) * sizeCount + i];
    }
    return kOk;
}

// The kernel of every size that occurs: the aperture drawn on a raster of its own size (where it is the
// same shape as centred in a larger one), turned by 180 degrees, centred in the kernel raster, its
// non-zero weights divided by their count (a large aperture spreads its pixel thinly, a small one
// concentrates it). A huge aperture is drawn and counted only as far as the kernel reaches.
Result BuildKernels(const Geometry& g, const FilterParameters& settings, const std::uint8_t* used,
                    std::int32_t sizeCount, OwnedArray<KernelSteps>& kernels, Progress& progress) {
    if (!kernels.Allocate(static_cast<std::size_t>(sizeCount))) return kOutOfMemory;
    const std::int32_t largest = std::max(g.kernelWidth, g.kernelHeight);
    double drawn = 0.0;
    for (std::int32_t index = 0; index < sizeCount; ++index) {
        if (used[index] == 0) continue;
        const std::int32_t size = 2 * index + 1;
        const std::int32_t side = size <= kWholeDiameter ? size : std::min(size, largest);
        // Check points between kernels, about every million drawn elements.
        drawn += static_cast<double>(side) * side * (settings.soft != 0 ? 9.0 : 1.0);
        if (drawn > 1.0e6) {
            drawn = 0.0;
            if (!progress.Check(0)) return kUserCanceled;
        }
        Buffer<float> aperture = AllocateRaster<float>(side, side);
        if (aperture == nullptr) return kOutOfMemory;
        BuildApertureKernel(settings, size, side, side, aperture.get());
        const std::size_t elements = static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
        const auto nonZero = static_cast<float>(
            std::count_if(aperture.get(), aperture.get() + elements, [](float w) { return w != 0.0f; }));
        const std::int32_t top = g.radiusY - side / 2;  // where the aperture's first row lies in the kernel
        const std::int32_t left = g.radiusX - side / 2;
        const bool built = kernels[static_cast<std::size_t>(index)].Build(
            g.kernelWidth, g.kernelHeight, [&](std::int32_t ky, float* row) {
                // Turned by 180 degrees: kernel (ky, kx) holds the drawing's (height-1-ky, width-1-kx).
                const std::int32_t ay = g.kernelHeight - 1 - ky - top;
                for (std::int32_t kx = 0; kx < g.kernelWidth; ++kx) {
                    const std::int32_t ax = g.kernelWidth - 1 - kx - left;
                    const float w = ay >= 0 && ay < side && ax >= 0 && ax < side
                                        ? aperture[static_cast<std::size_t>(ay) * side + ax]
                                        : 0.0f;
                    row[kx] = w != 0.0f ? w / nonZero : 0.0f;
                }
            });
        if (!built) return kOutOfMemory;
    }
    return kOk;
}

}  // namespace

Result ScatterWithDepth(const Geometry& geometry, const Lanes& lanes, const FilterParameters& settings,
                        std::int32_t diameter, const float* depthMap, const Loops& loops, std::int32_t threads,
                        std::span<const PlaneView> planes, Progress& progress) {
    const std::int32_t sizeCount = diameter / 2 + 1;  // the odd sizes 1..diameter
    Buffer<Packed> codes = AllocateRaster<Packed>(geometry.width, geometry.height);
    Buffer<std::uint8_t> used = AllocateBuffer<std::uint8_t>(static_cast<std::size_t>(sizeCount));
    if (codes == nullptr || used == nullptr) return kOutOfMemory;
    if (Result r = ComputeCodes(geometry, settings, diameter, depthMap, threads, codes.get(), used.get(), sizeCount,
                                progress);
        !r.ok())
        return r;
    OwnedArray<KernelSteps> kernels;
    if (Result r = BuildKernels(geometry, settings, used.get(), sizeCount, kernels, progress); !r.ok()) return r;

    std::int32_t mostSteps = 0;
    for (std::int32_t i = 0; i < sizeCount; ++i)
        if (used[i] != 0) mostSteps = std::max(mostSteps, kernels[static_cast<std::size_t>(i)].StepCount());
    const double rowCost = static_cast<double>(geometry.width) * lanes.Planes() * (mostSteps + 8.0);
    const double rowBytes = 8.0 * (2.0 * (geometry.width + geometry.kernelWidth) + 2.0 * geometry.width);
    // Two bands per thread and round, half a round's work and memory each.
    constexpr std::int32_t kPerThread = 2;
    const BandPlan plan = PlanBands(geometry.height, rowCost, kBandWork / kPerThread,
                                    static_cast<std::int32_t>(std::max(4.0, kBandBytes / (kPerThread * rowBytes))));
    const std::int32_t perRound = BandsPerRound(plan, threads, kPerThread);
    SourceRing ring;
    DepthScatter scatter(geometry, lanes, loops, planes, ring, codes.get(), kernels);
    if (!ring.Init(lanes, geometry.width,
                   static_cast<std::int32_t>(std::min<std::int64_t>(
                       geometry.height, std::int64_t{perRound} * plan.rows + 2 * std::int64_t{geometry.radiusY}))) ||
        !scatter.Prepare(plan, perRound))
        return kOutOfMemory;
    return RunRounds(plan, perRound, threads, geometry.radiusY, ring, planes, progress, scatter);
}

}  // namespace aperlume::direct
