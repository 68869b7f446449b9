// The Monte Carlo method: every output pixel is the weighted mean of its window under the aperture,
// estimated from random positions in the window until the estimate has settled twice, so that its cost
// follows how fast a pixel settles rather than D squared.
//
// The estimation runs on the calling thread: one process-wide random sequence defines the noise, pixel
// after pixel. Its sample loop is compiled once per channel layout (gray or colour, with or without
// transparency), draws from a copy of the sequence held in a register, takes each column from a table of
// the column sequence, and sums all channels of a sample in one vector operation; every position,
// weight, sum and settling decision is computed exactly as the straightforward loop computes it. The
// copy into working pixels and the write of the estimates into the planes need no random draws: the
// first is spread over the job's threads, the second happens as each pixel is estimated.
#include "engine/monte_carlo.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "base/row_bands.h"
#include "base/result.h"
#include "base/working_memory.h"
#include "engine/aperture_kernel.h"
#include "engine/methods.h"
#include "engine/random.h"

namespace aperlume {
namespace {

constexpr double kColumnStep = 0.26854893157987464;
constexpr double kRowScale = 3.051850947599719e-05;  // 1 / 32767: a draw to 0..1
constexpr double kTolerance = 0.001;
constexpr std::int32_t kCheckPeriod = 20;
constexpr std::int32_t kPeriodicChecksEnd = 100;  // after this sample every sample is checked
constexpr std::int32_t kAlpha = 3;
static_assert(kPeriodicChecksEnd % kCheckPeriod == 0 && kPeriodicChecksEnd <= kMaxSamplesPerPixel);

// The column sequence, the same for every pixel: fraction k of a window's column span is drawn at
// sample k (1-based). Built at compile time by the running sum that defines it.
struct ColumnSequence {
    double fraction[kMaxSamplesPerPixel + 1];
};
constexpr ColumnSequence MakeColumnSequence() {
    ColumnSequence sequence{};
    double column = 0.0;
    for (std::int32_t k = 1; k <= kMaxSamplesPerPixel; ++k) {
        column += kColumnStep;
        if (column >= 1.0) column -= 1.0;
        sequence.fraction[k] = column;
    }
    return sequence;
}
constinit const ColumnSequence kColumns = MakeColumnSequence();

// The part of the aperture's square around a pixel that lies inside the image: its first image column
// and row, the kernel column and row over them (before the turn), and the spans (last minus first).
struct Window {
    std::int32_t firstColumn;
    std::int32_t firstRow;
    std::int32_t kernelColumn;
    std::int32_t kernelRow;
    std::int32_t columnSpan;
    std::int32_t rowSpan;
};

// The border tests compare x with width - r rather than x + r with width: x + r could pass 2^31 on a
// very wide image.
Window WindowAt(std::int32_t x, std::int32_t y, std::int32_t diameter, std::int32_t width, std::int32_t height) {
    const std::int32_t r = diameter / 2;
    Window window{};
    window.firstColumn = std::max(0, x - r);
    window.kernelColumn = std::max(0, r - x);
    const std::int32_t lastKernelColumn = x < width - r ? diameter - 1 : r - (x - width) - 1;
    window.columnSpan = lastKernelColumn - window.kernelColumn;
    window.firstRow = std::max(0, y - r);
    window.kernelRow = std::max(0, r - y);
    const std::int32_t lastKernelRow = y < height - r ? diameter - 1 : r - (y - height) - 1;
    window.rowSpan = lastKernelRow - window.kernelRow;
    return window;
}

bool WindowHasPositiveWeight(const SampledAperture& aperture, std::int32_t x, std::int32_t y, std::int32_t width,
                             std::int32_t height) {
    const CountWindow corners = CountWindowAt(x, y, aperture.diameter, width, height);
    const std::uint32_t* c = aperture.positiveCounts;
    const auto at = [c](std::int64_t offset) { return c[static_cast<std::size_t>(offset)]; };
    return at(corners.endEnd) - at(corners.beginEnd) - at(corners.endBegin) + at(corners.beginBegin) > 0;
}

// All four channels of a working pixel: lane-wise float arithmetic, the same bits as channel by channel.
typedef float Float4 __attribute__((vector_size(16)));
typedef std::int32_t Int4 __attribute__((vector_size(16)));

Float4 Load(const WorkPixel& p) {
    Float4 v;
    std::memcpy(&v, p.c, sizeof v);
    return v;
}

// Running sums of one pixel's samples and the estimates of its last unsettled check. Weight sums are
// double, value sums single precision; with transparency the colour weight counts the non-transparent
// samples only, the alpha weight every sample with a positive weight.
template <std::int32_t kColours, bool kHasAlpha>
class Estimator {
public:
    void Add(float w, const WorkPixel& s) {
        if constexpr (!kHasAlpha) {
            weight_ += w;
            values_ += w * Load(s);
        } else {
            // Only a positive weight counts, for colour only on a sample that is not transparent; the
            // others add +0, which leaves any sum as it was (no sum starting at +0 can become -0).
            // Selected rather than branched: whether a sample counts is as random as the sample.
            const Float4 sample = Load(s);
            const Float4 weight = Float4{} + w;
            const Int4 counts = weight > Float4{};
            const Int4 opaque = counts & (Float4{} + sample[kAlpha] > Float4{});
            values_ += std::bit_cast<Float4>(std::bit_cast<Int4>(weight * sample) & opaque);  // colour and alpha lanes
            weight_ += std::bit_cast<Float4>(std::bit_cast<Int4>(weight) & opaque)[0];
            alphaWeight_ += std::bit_cast<Float4>(std::bit_cast<Int4>(weight) & counts)[0];
        }
    }

    // Estimates can be formed once some weight has arrived. Without alpha that is the weight sum; with
    // alpha it is the alpha weight, so that an early run of zero weights cannot turn the previous
    // estimates into 0/0 and keep the pixel from ever settling.
    bool CanCheck() const { return (kHasAlpha ? alphaWeight_ : weight_) > 0.0; }

    // One check; true when settled. A check is made only when CanCheck: the estimates it compares are
    // then all formed from the current sums.
    bool Check() {
        if (kHasAlpha && !(weight_ > 0.0)) return true;  // only transparent samples so far
        double estimate[4] = {0.0, 0.0, 0.0, 0.0};
        Estimate(estimate);
        bool settled = true;
        for (int ch = 0; ch < kColours; ++ch) settled = settled && std::fabs(estimate[ch] - previous_[ch]) < kTolerance;
        if (kHasAlpha) settled = settled && std::fabs(estimate[kAlpha] - previous_[kAlpha]) < kTolerance;
        if (!settled) {
            for (int ch = 0; ch < kColours; ++ch) previous_[ch] = static_cast<float>(estimate[ch]);
            if (kHasAlpha) previous_[kAlpha] = static_cast<float>(estimate[kAlpha]);
        }
        return settled;
    }

    // The estimates from the sums as they stand; a channel that no weight reached keeps its source value.
    WorkPixel Result(const WorkPixel& own) const {
        double estimate[4] = {0.0, 0.0, 0.0, 0.0};
        Estimate(estimate);
        WorkPixel out = own;
        if (weight_ > 0.0) {
            for (int ch = 0; ch < kColours; ++ch) out.c[ch] = static_cast<float>(estimate[ch]);
        }
        if (kHasAlpha && alphaWeight_ > 0.0) out.c[kAlpha] = static_cast<float>(estimate[kAlpha]);
        return out;
    }

private:
    // The colour estimates where weight_ > 0, the alpha estimate where alphaWeight_ > 0; colour takes one
    // reciprocal for three channels, gray a quotient.
    void Estimate(double* estimate) const {
        if (weight_ > 0.0) {
            if constexpr (kColours == 3) {
                const double reciprocal = 1.0 / weight_;
                for (int ch = 0; ch < 3; ++ch) estimate[ch] = values_[ch] * reciprocal;
            } else {
                estimate[0] = values_[0] / weight_;
            }
        }
        if (kHasAlpha && alphaWeight_ > 0.0) estimate[kAlpha] = values_[kAlpha] / alphaWeight_;
    }

    double weight_ = 0.0;
    double alphaWeight_ = 0.0;
    Float4 values_ = {0.0f, 0.0f, 0.0f, 0.0f};
    float previous_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

// Where a window's samples land: the column of sample k (1-based) and the row of a draw, computed from
// the window's spans...
struct ComputedPositions {
    double columnSpan;
    std::int32_t rowSpan;

    std::int32_t Column(std::int32_t k) const { return static_cast<std::int32_t>(columnSpan * kColumns.fraction[k] + 0.5); }
    std::int32_t Row(std::int32_t draw) const {
        return static_cast<std::int32_t>(static_cast<double>(draw) * rowSpan * kRowScale + 0.5);
    }
};

// ...or looked up, for windows of the full span in both directions (every pixel away from the borders).
struct TabulatedPositions {
    const std::uint16_t* columns;
    const std::uint16_t* rows;

    std::int32_t Column(std::int32_t k) const { return columns[k]; }
    std::int32_t Row(std::int32_t draw) const { return rows[draw]; }
};

// Draws samples into `estimator` until it has settled twice or the bound is reached; returns the number
// drawn. Sample (i, j) reads kernel[-(j * D + i)] and pixels[j * width + i].
template <class Estimator, class Positions>
std::int32_t Sample(Estimator& estimator, const Positions& positions, const float* kernel, const WorkPixel* pixels,
                    std::ptrdiff_t d, std::ptrdiff_t width, RandomSequence& sequence) {
    RandomSequence random = sequence;  // in a register while the pixel draws
    const auto draw = [&](std::int32_t k) {
        const std::ptrdiff_t i = positions.Column(k);
        const std::ptrdiff_t j = positions.Row(random.Next());
        estimator.Add(kernel[-(j * d + i)], pixels[j * width + i]);
    };
    // Checks at every kCheckPeriod-th sample up to kPeriodicChecksEnd, then at every sample. The settled
    // count is never reset: the second settled check ends the pixel, consecutive or not.
    std::int32_t settled = 0;
    std::int32_t k = 0;
    while (k < kPeriodicChecksEnd) {
        for (std::int32_t n = 0; n < kCheckPeriod; ++n) draw(++k);
        if (estimator.CanCheck() && estimator.Check() && ++settled > 1) break;
    }
    while (settled < 2 && k < kMaxSamplesPerPixel) {
        draw(++k);
        if (estimator.CanCheck() && estimator.Check()) ++settled;
    }
    sequence = random;
    return k;
}

// Output pixel (x, y) from the image `source` (width x height), drawing rows from `sequence`; `samples`
// receives the number drawn.
template <std::int32_t kColours, bool kHasAlpha>
WorkPixel EstimateAt(std::int32_t x, std::int32_t y, const SampledAperture& aperture, std::int32_t width,
                     std::int32_t height, const WorkPixel* source, RandomSequence& sequence, std::int32_t& samples) {
    const WorkPixel& own = source[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x];
    Estimator<kColours, kHasAlpha> estimator;
    samples = 0;
    // Without any positive weight no sample could ever settle the estimate.
    if (!WindowHasPositiveWeight(aperture, x, y, width, height)) return estimator.Result(own);

    const Window window = WindowAt(x, y, aperture.diameter, width, height);
    const std::ptrdiff_t d = aperture.diameter;
    // Sample (i, j) reads kernel element (D-1-(kernelRow+j), D-1-(kernelColumn+i)), counted back from the
    // last element, and source pixel (firstColumn + i, firstRow + j).
    const float* kernel = aperture.weights + (d * d - 1) - (window.kernelRow * d + window.kernelColumn);
    const WorkPixel* pixels = source + static_cast<std::size_t>(window.firstRow) * static_cast<std::size_t>(width) +
                              static_cast<std::size_t>(window.firstColumn);
    const bool fullSpan = window.columnSpan == d - 1 && window.rowSpan == d - 1;
    if (fullSpan && aperture.fullSpanColumns != nullptr && aperture.fullSpanRows != nullptr) {
        const TabulatedPositions positions{aperture.fullSpanColumns, aperture.fullSpanRows};
        samples = Sample(estimator, positions, kernel, pixels, d, width, sequence);
    } else {
        const ComputedPositions positions{static_cast<double>(window.columnSpan), window.rowSpan};
        samples = Sample(estimator, positions, kernel, pixels, d, width, sequence);
    }
    return estimator.Result(own);
}

using EstimateFunction = WorkPixel (*)(std::int32_t x, std::int32_t y, const SampledAperture& aperture,
                                       std::int32_t width, std::int32_t height, const WorkPixel* source,
                                       RandomSequence& random, std::int32_t& samples);

EstimateFunction EstimateFor(const ChannelAssignment& channels) {
    if (channels.colourChannels == 3) return channels.hasAlpha ? &EstimateAt<3, true> : &EstimateAt<3, false>;
    return channels.hasAlpha ? &EstimateAt<1, true> : &EstimateAt<1, false>;
}

bool AcceptedMode(std::int32_t layout) {
    return (layout >= kLayoutRGB && layout <= kLayoutGrayA) || (layout >= kLayoutRGB + 8 && layout <= kLayoutGrayA + 8);
}

// The planes of each channel: colour planes go to channels 0.., the alpha plane (the next one) to
// channel 3; channels without a plane get none.
struct ChannelPlanes {
    const PlaneView* plane[4] = {nullptr, nullptr, nullptr, nullptr};
};
ChannelPlanes PlanesOfChannels(const ChannelAssignment& channels, std::span<const PlaneView> planes) {
    ChannelPlanes map;
    for (std::int32_t ch = 0; ch < channels.colourChannels; ++ch) map.plane[ch] = &planes[static_cast<std::size_t>(ch)];
    if (channels.hasAlpha) map.plane[kAlpha] = &planes[static_cast<std::size_t>(channels.colourChannels)];
    return map;
}

// The planes into working pixels, over bands of rows on the job's threads; channels without a plane
// are 0, so that the sums' unused lanes stay finite.
void Interleave(const RenderJob& job, const ChannelPlanes& map, WorkPixel* out) {
    const std::int32_t width = job.width;
    ForEachRowBand(job.threads, width, job.height, [&](std::int32_t first, std::int32_t end) {
        for (std::int32_t y = first; y < end; ++y) {
            WorkPixel* pixels = out + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
            std::fill_n(pixels, width, WorkPixel{{0.0f, 0.0f, 0.0f, 0.0f}});
            for (std::int32_t ch = 0; ch < 4; ++ch) {
                if (map.plane[ch] == nullptr) continue;
                const float* row = map.plane[ch]->Row(y);
                for (std::int32_t x = 0; x < width; ++x) pixels[x].c[ch] = row[x];
            }
        }
    });
}

}  // namespace

// Sample (i, j) of the window reads the kernel turned by 180 degrees, so that every source pixel
// spreads over the aperture as drawn, centred on itself (the weight the direct method gives it): the
// window's last kernel row as drawn is D - 1 - kernelRow, its first that less the row span.
CountWindow CountWindowAt(std::int32_t x, std::int32_t y, std::int32_t diameter, std::int32_t width,
                          std::int32_t height) {
    const Window window = WindowAt(x, y, diameter, width, height);
    const std::int64_t stride = std::int64_t{diameter} + 1;
    const std::int64_t rowEnd = diameter - window.kernelRow;  // exclusive
    const std::int64_t rowBegin = rowEnd - 1 - window.rowSpan;
    const std::int64_t columnEnd = diameter - window.kernelColumn;
    const std::int64_t columnBegin = columnEnd - 1 - window.columnSpan;
    return CountWindow{rowEnd * stride + columnEnd, rowBegin * stride + columnEnd, rowEnd * stride + columnBegin,
                       rowBegin * stride + columnBegin};
}

void CountPositiveWeights(const float* weights, std::int32_t diameter, std::uint32_t* counts) {
    const std::size_t stride = static_cast<std::size_t>(diameter) + 1;
    std::fill_n(counts, stride, 0u);
    for (std::size_t r = 1; r < stride; ++r) {
        const float* row = weights + (r - 1) * static_cast<std::size_t>(diameter);
        std::uint32_t inRow = 0;
        counts[r * stride] = 0;
        for (std::size_t c = 1; c < stride; ++c) {
            inRow += row[c - 1] > 0.0f ? 1 : 0;
            counts[r * stride + c] = counts[(r - 1) * stride + c] + inRow;
        }
    }
}

void TabulateFullSpan(std::int32_t diameter, std::uint16_t* columns, std::uint16_t* rows) {
    const ComputedPositions positions{static_cast<double>(diameter - 1), diameter - 1};
    columns[0] = 0;
    for (std::int32_t k = 1; k <= kMaxSamplesPerPixel; ++k) columns[k] = static_cast<std::uint16_t>(positions.Column(k));
    for (std::int32_t draw = 0; draw <= kRandomMax; ++draw) rows[draw] = static_cast<std::uint16_t>(positions.Row(draw));
}

std::int32_t EstimatePixel(const ChannelAssignment& channels, std::int32_t x, std::int32_t y,
                           const SampledAperture& aperture, std::int32_t width, std::int32_t height,
                           const WorkPixel* source, WorkPixel* result) {
    RandomSequence random = ProcessRandomSequence();
    std::int32_t samples = 0;
    const WorkPixel estimate = EstimateFor(channels)(x, y, aperture, width, height, source, random, samples);
    ProcessRandomSequence() = random;
    WorkPixel& out = result[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x];
    for (std::int32_t ch = 0; ch < channels.colourChannels; ++ch) out.c[ch] = estimate.c[ch];
    if (channels.hasAlpha) out.c[kAlpha] = estimate.c[kAlpha];
    return samples;
}

Result MonteCarloConvolve(const RenderJob& job, std::span<const PlaneView> planes, const float* /*depthMap*/,
                          CheckPoints& checkPoints) {
    if (!AcceptedMode(job.layout.code)) return kBadMode;
    if (job.layout.channels.colourChannels == 0 || JobIsEmpty(job)) return kOk;
    if (!PlanesFitJob(job, planes)) return kBadParameters;
    const std::int32_t width = job.width;
    const std::int32_t height = job.height;
    const std::int32_t diameter = job.diameter;
    // Beyond it the kernel alone would take more than 16 GB.
    if (diameter > kLargestSampledDiameter) return kOutOfMemory;

    Buffer<WorkPixel> source = AllocateRaster<WorkPixel>(width, height);
    Buffer<float> kernel = AllocateRaster<float>(diameter, diameter);
    Buffer<std::uint32_t> counts =
        AllocateRaster<std::uint32_t>(std::int64_t{diameter} + 1, std::int64_t{diameter} + 1);
    constexpr std::size_t kColumnEntries = kMaxSamplesPerPixel + 1;
    Buffer<std::uint16_t> positions = AllocateBuffer<std::uint16_t>(kColumnEntries + kRandomMax + 1);
    if (!source || !kernel || !counts || !positions) return kOutOfMemory;
    const ChannelPlanes map = PlanesOfChannels(job.layout.channels, planes);
    Interleave(job, map, source.get());
    BuildApertureKernel(job.settings, diameter, diameter, diameter, kernel.get());
    CountPositiveWeights(kernel.get(), diameter, counts.get());
    TabulateFullSpan(diameter, positions.get(), positions.get() + kColumnEntries);

    // The planes are read only through the working copy: each estimate goes straight into them. A run
    // that stops leaves the rows estimated so far there (a failed render's planes are not to be used).
    const SampledAperture aperture{kernel.get(), counts.get(), diameter, positions.get(), positions.get() + kColumnEntries};
    const EstimateFunction estimate = EstimateFor(job.layout.channels);
    for (std::int32_t y = 0; y < height; ++y) {
        if (checkPoints.Stop()) return kUserCanceled;
        checkPoints.Progress(y, height);
        float* rows[4] = {nullptr, nullptr, nullptr, nullptr};
        for (std::int32_t ch = 0; ch < 4; ++ch) rows[ch] = map.plane[ch] != nullptr ? map.plane[ch]->Row(y) : nullptr;
        RandomSequence random = ProcessRandomSequence();
        for (std::int32_t x = 0; x < width; ++x) {
            std::int32_t samples = 0;
            const WorkPixel value = estimate(x, y, aperture, width, height, source.get(), random, samples);
            for (std::int32_t ch = 0; ch < 4; ++ch) {
                if (rows[ch] != nullptr) rows[ch][x] = value.c[ch];
            }
        }
        ProcessRandomSequence() = random;
    }
    return kOk;
}

}  // namespace aperlume
