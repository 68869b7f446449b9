// The Monte Carlo method: every output pixel is the weighted mean of its window under the aperture,
// estimated from random positions in the window until the estimate has settled twice, so that its cost
// follows how fast a pixel settles rather than D squared.
//
// The estimation runs on the calling thread: one process-wide random sequence defines the noise, pixel
// after pixel. Each row's pixels go through the fast loop of engine/monte_carlo_runs.h, built for the
// processor's instruction set, in runs of pixels whose windows have one shape; apertures beyond that
// loop's reach (scripted settings only) through the loop below, which computes each window's positions
// draw by draw. Both compute every position, weight, sum and settling decision exactly as the
// straightforward loop does.
//
// The source pixels are read from a ring of working-pixel rows rather than a copy of the whole image: an
// output row's windows reach only D source rows, and each estimate goes straight into the planes, whose
// rows are copied into the ring before any estimate overwrites them. The copying needs no random draws
// and runs on all of the job's threads, a few rows ahead.
#define APERLUME_MC_LOOPS baseline
#define APERLUME_MC_LANES 4
#include "engine/monte_carlo.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "base/parallel_for.h"
#include "base/result.h"
#include "base/working_memory.h"
#include "engine/aperture_kernel.h"
#include "engine/methods.h"
#include "engine/monte_carlo_estimator.h"
#include "engine/monte_carlo_run_sampling.h"
#include "engine/monte_carlo_runs.h"
#include "engine/random.h"

namespace aperlume {

namespace montecarlo {

constinit const RunSamplers kBaselineRunSamplers = baseline::MakeRunSamplers();

const RunSamplers& RunSamplersFor(fft::SimdPath path) {
    if (path != fft::SimdPath::kBaseline && fft::SimdPathAvailable(fft::SimdPath::kAvx2)) return kAvx2RunSamplers;
    return kBaselineRunSamplers;
}

}  // namespace montecarlo

namespace {

using montecarlo::baseline::Estimator;
using montecarlo::baseline::kCheckPeriod;
using montecarlo::baseline::kPeriodicChecksEnd;

constexpr double kColumnStep = 0.26854893157987464;
constexpr double kRowScale = 3.051850947599719e-05;  // 1 / 32767: a draw to 0..1
constexpr std::int32_t kAlpha = 3;
static_assert(kPeriodicChecksEnd <= kMaxSamplesPerPixel);

// The column sequence, the same for every pixel: fraction k of a window's column span is drawn at
// sample k (1-based). Built at compile time by the running sum that defines it.
struct ColumnSequence {
    double fraction[kMaxSamplesPerPixel + montecarlo::kDrawBlock + 1];  // 0 beyond the last sample: vector reads
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

std::int32_t ColumnOffset(double columnSpan, std::int32_t k) {
    return static_cast<std::int32_t>(columnSpan * kColumns.fraction[k] + 0.5);
}

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

std::uint32_t CountAt(const std::uint32_t* counts, std::int64_t offset) { return counts[static_cast<std::size_t>(offset)]; }

bool WindowHasPositiveWeight(const SampledAperture& aperture, std::int32_t x, std::int32_t y, std::int32_t width,
                             std::int32_t height) {
    const CountWindow c = CountWindowAt(x, y, aperture.diameter, width, height);
    const std::uint32_t* counts = aperture.positiveCounts;
    return CountAt(counts, c.endEnd) - CountAt(counts, c.beginEnd) - CountAt(counts, c.endBegin) +
               CountAt(counts, c.beginBegin) >
           0;
}

// The source rows as the estimates read them: row y at rows + (y mod period) * width, where the rows of
// any one window follow each other (period 0: the whole image, row after row).
struct SourceRows {
    const WorkPixel* rows;
    std::int32_t width;
    std::int32_t period;

    const WorkPixel* Row(std::int32_t y) const {
        const std::int32_t slot = period == 0 ? y : y % period;
        return rows + static_cast<std::ptrdiff_t>(slot) * width;
    }
};

// Draws samples into `estimator` until it has settled twice or the bound is reached; returns the number
// drawn. Sample (i, j) reads kernel[-(j * D + i)] and pixels[j * width + i], at the column of sample k
// in the window's column span and the row of its draw in the row span.
template <class Estimator>
std::int32_t Sample(Estimator& estimator, const Window& window, const float* kernel, const WorkPixel* pixels,
                    std::ptrdiff_t d, std::ptrdiff_t width, RandomSequence& sequence) {
    RandomSequence random = sequence;  // in a register while the pixel draws
    const double columnSpan = window.columnSpan;
    const auto draw = [&](std::int32_t k) {
        const std::ptrdiff_t i = ColumnOffset(columnSpan, k);
        const std::ptrdiff_t j =
            static_cast<std::int32_t>(static_cast<double>(random.Next()) * window.rowSpan * kRowScale + 0.5);
        estimator.Add(kernel[-(j * d + i)], pixels[j * width + i]);
    };
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

// Output pixel (x, y), drawing rows from `sequence`; `samples` receives the number drawn.
template <std::int32_t kColours, bool kHasAlpha>
WorkPixel EstimateAt(std::int32_t x, std::int32_t y, const SampledAperture& aperture, std::int32_t width,
                     std::int32_t height, const SourceRows& source, RandomSequence& sequence, std::int32_t& samples) {
    const WorkPixel& own = source.Row(y)[x];
    Estimator<kColours, kHasAlpha> estimator;
    samples = 0;
    // Without any positive weight no sample could ever settle the estimate.
    if (!WindowHasPositiveWeight(aperture, x, y, width, height)) return estimator.Result(own);

    const Window window = WindowAt(x, y, aperture.diameter, width, height);
    const std::ptrdiff_t d = aperture.diameter;
    // Sample (i, j) reads kernel element (D-1-(kernelRow+j), D-1-(kernelColumn+i)), counted back from the
    // last element, and source pixel (firstColumn + i, firstRow + j).
    const float* kernel = aperture.weights + (d * d - 1) - (window.kernelRow * d + window.kernelColumn);
    const WorkPixel* pixels = source.Row(window.firstRow) + window.firstColumn;
    samples = Sample(estimator, window, kernel, pixels, d, width, sequence);
    return estimator.Result(own);
}

using EstimateFunction = WorkPixel (*)(std::int32_t x, std::int32_t y, const SampledAperture& aperture,
                                       std::int32_t width, std::int32_t height, const SourceRows& source,
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

// Rows the ring takes in at a time, on all threads, ahead of the row being estimated.
constexpr std::int32_t kRowsAhead = 32;

// The source rows of a render, as working pixels. Row y lives in slot y mod period and, where that slot
// lies below the ring's second half, in slot y mod period + period as well, so that the D rows of any
// window follow one another. An image of at most two periods is kept whole (period 0).
class SourceRing {
public:
    [[nodiscard]] bool Init(const ChannelPlanes& map, std::int32_t width, std::int32_t height, std::int32_t diameter) {
        map_ = map;
        width_ = width;
        height_ = height;
        const std::int64_t period = std::int64_t{diameter} + kRowsAhead;
        period_ = 2 * period >= height ? 0 : static_cast<std::int32_t>(period);
        rows_ = AllocateRaster<WorkPixel>(width, period_ == 0 ? height : 2 * std::int64_t{period_});
        return rows_ != nullptr;
    }

    SourceRows Rows() const { return SourceRows{rows_.get(), width_, period_}; }

    // Takes in every plane row that the windows of output row y reach and a few beyond, on up to `threads`
    // threads. The plane rows it reads must not hold estimates yet: callers ask before estimating row y,
    // and only rows up to y + (D - 1) / 2 + kRowsAhead are read, whose slots hold rows no window of row y
    // reaches.
    void TakeRowsFor(std::int32_t y, std::int32_t reach, std::int32_t threads) {
        if (filled_ >= height_ || filled_ > y + reach) return;
        const std::int32_t end =
            period_ == 0 ? height_ : static_cast<std::int32_t>(std::min<std::int64_t>(height_, std::int64_t{y} + reach + 1 + kRowsAhead));
        const std::int32_t first = filled_;
        ParallelFor(threads, end - first, [&](std::int64_t row) noexcept { TakeRow(first + static_cast<std::int32_t>(row)); });
        filled_ = end;
    }

private:
    // Channels without a plane are 0, so that the sums' unused lanes stay finite.
    void TakeRow(std::int32_t y) {
        const SourceRows rows = Rows();
        auto* pixels = const_cast<WorkPixel*>(rows.Row(y));
        std::fill_n(pixels, width_, WorkPixel{{0.0f, 0.0f, 0.0f, 0.0f}});
        for (std::int32_t ch = 0; ch < 4; ++ch) {
            if (map_.plane[ch] == nullptr) continue;
            const float* row = map_.plane[ch]->Row(y);
            for (std::int32_t x = 0; x < width_; ++x) pixels[x].c[ch] = row[x];
        }
        if (period_ != 0) std::copy_n(pixels, width_, pixels + static_cast<std::ptrdiff_t>(period_) * width_);
    }

    ChannelPlanes map_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t period_ = 0;
    std::int32_t filled_ = 0;
    Buffer<WorkPixel> rows_;
};

// The tables of the fast loop, from the drawn kernel; none when the loop cannot take the render (a span
// beyond kLargestFullSpan, or offsets beyond 32 bits).
class WindowTables {
public:
    [[nodiscard]] bool Init(std::int32_t diameter, std::int32_t width, const float* kernel) {
        constexpr std::int64_t kPixelBytes = sizeof(WorkPixel);
        const std::int64_t rowBytes = std::int64_t{width} * kPixelBytes;
        const std::int64_t reach = (std::int64_t{diameter} - 1) * (rowBytes + kPixelBytes);
        if (diameter - 1 > montecarlo::kLargestFullSpan || rowBytes > INT32_MAX || reach > INT32_MAX) return true;
        constexpr std::size_t kEntries = kMaxSamplesPerPixel + montecarlo::kDrawBlock + 1;
        const std::size_t elements = static_cast<std::size_t>(diameter) * static_cast<std::size_t>(diameter);
        columnBytes_ = AllocateBuffer<std::int32_t>(kEntries);
        columnKernel_ = AllocateBuffer<std::int32_t>(kEntries);
        wideKernel_ = AllocateBuffer<double>(elements);
        if (columnBytes_ == nullptr || columnKernel_ == nullptr || wideKernel_ == nullptr) return false;
        std::copy_n(kernel, elements, wideKernel_.get());
        std::fill_n(columnBytes_.get(), kEntries, 0);
        std::fill_n(columnKernel_.get(), kEntries, 0);
        for (std::int32_t k = 1; k <= kMaxSamplesPerPixel; ++k) {
            const std::int32_t column = ColumnOffset(diameter - 1, k);
            columnBytes_[k] = column * static_cast<std::int32_t>(kPixelBytes);
            columnKernel_[k] = -column;
        }
        width_ = width;
        kernelEnd_ = kernel + (elements - 1);
        wideKernelEnd_ = wideKernel_.get() + (elements - 1);
        windows_ = montecarlo::Windows{diameter, static_cast<std::int32_t>(rowBytes), columnBytes_.get(),
                                       columnKernel_.get(), kColumns.fraction};
        return true;
    }
    bool Usable() const { return columnBytes_ != nullptr; }
    const montecarlo::Windows& Windows() const { return windows_; }

    // The run of `count` pixels from (x, y) whose windows have the shape of (x, y)'s.
    montecarlo::Run RunAt(std::int32_t x, std::int32_t y, std::int32_t count, std::int32_t height,
                          const SourceRows& source, float* const* rows) const {
        const std::int32_t d = windows_.diameter;
        const Window window = WindowAt(x, y, d, width_, height);
        const std::ptrdiff_t kernelStart = static_cast<std::ptrdiff_t>(window.kernelRow) * d + window.kernelColumn;
        montecarlo::Run run{source.Row(window.firstRow) + window.firstColumn, source.Row(y) + x, kernelEnd_ - kernelStart,
                            wideKernelEnd_ - kernelStart, count, window.rowSpan, window.columnSpan, {}};
        for (std::int32_t ch = 0; ch < 4; ++ch) run.out[ch] = rows[ch] != nullptr ? rows[ch] + x : nullptr;
        return run;
    }

private:
    Buffer<std::int32_t> columnBytes_;
    Buffer<std::int32_t> columnKernel_;
    Buffer<double> wideKernel_;
    std::int32_t width_ = 0;
    const float* kernelEnd_ = nullptr;
    const double* wideKernelEnd_ = nullptr;
    montecarlo::Windows windows_{};
};

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

std::int32_t EstimatePixel(const ChannelAssignment& channels, std::int32_t x, std::int32_t y,
                           const SampledAperture& aperture, std::int32_t width, std::int32_t height,
                           const WorkPixel* source, WorkPixel* result) {
    RandomSequence random = ProcessRandomSequence();
    std::int32_t samples = 0;
    const WorkPixel estimate =
        EstimateFor(channels)(x, y, aperture, width, height, SourceRows{source, width, 0}, random, samples);
    ProcessRandomSequence() = random;
    WorkPixel& out = result[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x];
    for (std::int32_t ch = 0; ch < channels.colourChannels; ++ch) out.c[ch] = estimate.c[ch];
    if (channels.hasAlpha) out.c[kAlpha] = estimate.c[kAlpha];
    return samples;
}

Result MonteCarloConvolveWith(fft::SimdPath path, const RenderJob& job, std::span<const PlaneView> planes,
                              CheckPoints& checkPoints) {
    if (!AcceptedMode(job.layout.code)) return kBadMode;
    if (job.layout.channels.colourChannels == 0 || JobIsEmpty(job)) return kOk;
    if (!PlanesFitJob(job, planes)) return kBadParameters;
    const std::int32_t width = job.width;
    const std::int32_t height = job.height;
    const std::int32_t diameter = job.diameter;
    const std::int32_t r = diameter / 2;
    // Beyond it the kernel alone would take more than 16 GB.
    if (diameter > kLargestSampledDiameter) return kOutOfMemory;

    const ChannelPlanes map = PlanesOfChannels(job.layout.channels, planes);
    SourceRing ring;
    Buffer<float> kernel = AllocateRaster<float>(diameter, diameter);
    Buffer<std::uint32_t> counts =
        AllocateRaster<std::uint32_t>(std::int64_t{diameter} + 1, std::int64_t{diameter} + 1);
    if (!ring.Init(map, width, height, diameter) || !kernel || !counts) return kOutOfMemory;
    BuildApertureKernel(job.settings, diameter, diameter, diameter, kernel.get());
    CountPositiveWeights(kernel.get(), diameter, counts.get());
    WindowTables tables;
    if (!tables.Init(diameter, width, kernel.get())) return kOutOfMemory;

    const SampledAperture aperture{kernel.get(), counts.get(), diameter};
    const EstimateFunction estimate = EstimateFor(job.layout.channels);
    const montecarlo::RunSampler sampleRun = montecarlo::RunSamplersFor(path).For(job.layout.channels);
    const std::int32_t threads = std::max(1, job.threads);
    for (std::int32_t y = 0; y < height; ++y) {
        if (checkPoints.Stop()) return kUserCanceled;
        checkPoints.Progress(y, height);
        ring.TakeRowsFor(y, r, threads);
        const SourceRows source = ring.Rows();
        float* rows[4] = {nullptr, nullptr, nullptr, nullptr};
        for (std::int32_t ch = 0; ch < 4; ++ch) rows[ch] = map.plane[ch] != nullptr ? map.plane[ch]->Row(y) : nullptr;
        RandomSequence random = ProcessRandomSequence();
        if (!tables.Usable()) {
            for (std::int32_t x = 0; x < width; ++x) {
                std::int32_t samples = 0;
                const WorkPixel value = estimate(x, y, aperture, width, height, source, random, samples);
                for (std::int32_t ch = 0; ch < 4; ++ch) {
                    if (rows[ch] != nullptr) rows[ch][x] = value.c[ch];
                }
            }
        } else {
            // A window without positive weight draws nothing: its pixel keeps the value the plane holds.
            const auto sample = [&](std::int32_t x, std::int32_t count) {
                if (WindowHasPositiveWeight(aperture, x, y, width, height))
                    random.state = sampleRun(tables.Windows(), tables.RunAt(x, y, count, height, source, rows), random.state);
            };
            // The pixels whose windows reach neither side share one shape; the others each have their own.
            const std::int32_t whole = width > 2 * std::int64_t{r} ? width - 2 * r : 0;
            const std::int32_t left = whole > 0 ? r : width;
            for (std::int32_t x = 0; x < left; ++x) sample(x, 1);
            if (whole > 0) sample(r, whole);
            for (std::int32_t x = left + whole; x < width; ++x) sample(x, 1);
        }
        ProcessRandomSequence() = random;
    }
    return kOk;
}

Result MonteCarloConvolve(const RenderJob& job, std::span<const PlaneView> planes, const float* /*depthMap*/,
                          CheckPoints& checkPoints) {
    return MonteCarloConvolveWith(fft::SimdPath::kBest, job, planes, checkPoints);
}

}  // namespace aperlume
