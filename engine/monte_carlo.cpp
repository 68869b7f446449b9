// The Monte Carlo method: every output pixel is the weighted mean of its window under the aperture,
// estimated from random positions in the window until the estimate has settled twice, so that its cost
// follows how fast a pixel settles rather than D squared.
#include "engine/monte_carlo.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

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

// Running sums of one pixel's samples. Weight sums are double, value sums single precision.
struct Sums {
    double weight = 0.0;       // colour weight: with alpha, of the non-transparent samples only
    double alphaWeight = 0.0;  // with alpha: of every sample with a positive weight
    float value[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

class Estimator {
public:
    Estimator(const ChannelAssignment& channels, const WorkPixel& own)
        : colours_(channels.colourChannels), alpha_(channels.hasAlpha), own_(own) {}

    void Add(float w, const WorkPixel& s) {
        if (!alpha_) {
            sums_.weight += w;
            for (int ch = 0; ch < colours_; ++ch) sums_.value[ch] += w * s.c[ch];
            return;
        }
        if (!(w > 0.0f)) return;
        if (s.c[kAlpha] > 0.0f) {
            sums_.weight += w;
            for (int ch = 0; ch < colours_; ++ch) sums_.value[ch] += w * s.c[ch];
            sums_.value[kAlpha] += w * s.c[kAlpha];
        }
        sums_.alphaWeight += w;
    }

    // Estimates can be formed once some weight has arrived. Without alpha that is the weight sum; with
    // alpha it is the alpha weight, so that an early run of zero weights cannot turn the previous
    // estimates into 0/0 and keep the pixel from ever settling.
    bool CanCheck() const { return (alpha_ ? sums_.alphaWeight : sums_.weight) > 0.0; }

    // One check; true when settled.
    bool Check() {
        Estimate();
        if (alpha_ && sums_.alphaWeight > 0.0 && !(sums_.weight > 0.0)) return true;
        bool settled = true;
        for (int ch = 0; ch < colours_; ++ch) settled = settled && std::fabs(estimate_[ch] - previous_[ch]) < kTolerance;
        if (alpha_) settled = settled && std::fabs(estimate_[kAlpha] - previous_[kAlpha]) < kTolerance;
        if (!settled) {
            for (int ch = 0; ch < 4; ++ch) previous_[ch] = static_cast<float>(estimate_[ch]);
        }
        return settled;
    }

    // The estimates from the sums as they stand; a channel that no weight reached keeps its source value.
    void Store(WorkPixel& out) {
        Estimate();
        const bool colourKnown = sums_.weight > 0.0;
        for (int ch = 0; ch < colours_; ++ch) out.c[ch] = colourKnown ? static_cast<float>(estimate_[ch]) : own_.c[ch];
        if (alpha_) out.c[kAlpha] = sums_.alphaWeight > 0.0 ? static_cast<float>(estimate_[kAlpha]) : own_.c[kAlpha];
    }

private:
    // Only channels that some weight reached get an estimate; the others are never compared or stored.
    void Estimate() {
        if (sums_.weight > 0.0) {
            if (colours_ == 3) {
                const double reciprocal = 1.0 / sums_.weight;
                for (int ch = 0; ch < 3; ++ch) estimate_[ch] = sums_.value[ch] * reciprocal;
            } else {
                estimate_[0] = sums_.value[0] / sums_.weight;
            }
        }
        if (alpha_ && sums_.alphaWeight > 0.0) estimate_[kAlpha] = sums_.value[kAlpha] / sums_.alphaWeight;
    }

    std::int32_t colours_;
    bool alpha_;
    const WorkPixel& own_;
    Sums sums_;
    double estimate_[4] = {0.0, 0.0, 0.0, 0.0};
    float previous_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

bool AcceptedMode(std::int32_t layout) {
    return (layout >= kLayoutRGB && layout <= kLayoutGrayA) || (layout >= kLayoutRGB + 8 && layout <= kLayoutGrayA + 8);
}

// Plane `plane` into working-pixel channel `channel`, or back.
void PlaneToChannel(const PlaneView& plane, std::int32_t channel, WorkPixel* out) {
    for (std::int32_t y = 0; y < plane.height; ++y) {
        const float* row = plane.Row(y);
        WorkPixel* pixels = out + static_cast<std::size_t>(y) * static_cast<std::size_t>(plane.width);
        for (std::int32_t x = 0; x < plane.width; ++x) pixels[x].c[channel] = row[x];
    }
}

void ChannelToPlane(const WorkPixel* in, std::int32_t channel, const PlaneView& plane) {
    for (std::int32_t y = 0; y < plane.height; ++y) {
        float* row = plane.Row(y);
        const WorkPixel* pixels = in + static_cast<std::size_t>(y) * static_cast<std::size_t>(plane.width);
        for (std::int32_t x = 0; x < plane.width; ++x) row[x] = pixels[x].c[channel];
    }
}

// Colour planes go to channels 0.., the alpha plane (the next one) to channel 3.
void Interleave(const ChannelAssignment& channels, std::span<const PlaneView> planes, WorkPixel* out) {
    for (std::int32_t ch = 0; ch < channels.colourChannels; ++ch) PlaneToChannel(planes[static_cast<std::size_t>(ch)], ch, out);
    if (channels.hasAlpha) PlaneToChannel(planes[static_cast<std::size_t>(channels.colourChannels)], kAlpha, out);
}

void WriteBack(const ChannelAssignment& channels, const WorkPixel* in, std::span<const PlaneView> planes) {
    for (std::int32_t ch = 0; ch < channels.colourChannels; ++ch) ChannelToPlane(in, ch, planes[static_cast<std::size_t>(ch)]);
    if (channels.hasAlpha) ChannelToPlane(in, kAlpha, planes[static_cast<std::size_t>(channels.colourChannels)]);
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

std::int32_t EstimatePixel(const ChannelAssignment& channels, std::int32_t x, std::int32_t y,
                           const SampledAperture& aperture, std::int32_t width, std::int32_t height,
                           const WorkPixel* source, WorkPixel* result) {
    const std::size_t target = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x;
    const Window window = WindowAt(x, y, aperture.diameter, width, height);
    Estimator estimator(channels, source[target]);
    // Without any positive weight no sample could ever settle the estimate.
    if (!WindowHasPositiveWeight(aperture, x, y, width, height)) {
        estimator.Store(result[target]);
        return 0;
    }

    const std::int32_t d = aperture.diameter;
    const float* turned = aperture.weights + (static_cast<std::size_t>(d) * d - 1);
    double column = 0.0;  // restarts at every pixel: all pixels draw the same column sequence
    std::int32_t settled = 0;
    std::int32_t k = 0;
    while (k < kMaxSamplesPerPixel) {
        ++k;
        column += kColumnStep;
        if (column >= 1.0) column -= 1.0;
        const auto i = static_cast<std::int32_t>(window.columnSpan * column + 0.5);
        const auto j = static_cast<std::int32_t>(static_cast<double>(Random()) * window.rowSpan * kRowScale + 0.5);
        // Kernel element (D-1-(kernelRow+j), D-1-(kernelColumn+i)), counted back from the last element.
        const float w = *(turned - (static_cast<std::ptrdiff_t>(window.kernelRow + j) * d + window.kernelColumn + i));
        const std::size_t s = static_cast<std::size_t>(window.firstRow + j) * static_cast<std::size_t>(width) +
                              static_cast<std::size_t>(window.firstColumn + i);
        estimator.Add(w, source[s]);
        if (!estimator.CanCheck() || (k <= kPeriodicChecksEnd && k % kCheckPeriod != 0)) continue;
        // The settled count is never reset: the second settled check ends the pixel, consecutive or not.
        if (estimator.Check() && ++settled > 1) break;
    }
    estimator.Store(result[target]);
    return k;
}

Result MonteCarloConvolve(const RenderJob& job, std::span<const PlaneView> planes, const float* /*depthMap*/,
                          CheckPoints& checkPoints) {
    if (!AcceptedMode(job.layout.code)) return kBadMode;
    if (job.layout.channels.colourChannels == 0 || JobIsEmpty(job)) return kOk;
    if (!PlanesFitJob(job, planes)) return kBadParameters;
    const ChannelAssignment& channels = job.layout.channels;
    const std::int32_t width = job.width;
    const std::int32_t height = job.height;
    const std::int32_t diameter = job.diameter;
    // Beyond it the kernel alone would take more than 16 GB.
    if (diameter > kLargestSampledDiameter) return kOutOfMemory;

    Buffer<WorkPixel> source = AllocateRaster<WorkPixel>(width, height);
    Buffer<WorkPixel> result = AllocateRaster<WorkPixel>(width, height);
    Buffer<float> kernel = AllocateRaster<float>(diameter, diameter);
    Buffer<std::uint32_t> counts =
        AllocateRaster<std::uint32_t>(std::int64_t{diameter} + 1, std::int64_t{diameter} + 1);
    if (!source || !result || !kernel || !counts) return kOutOfMemory;
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    Interleave(channels, planes, source.get());
    BuildApertureKernel(job.settings, diameter, diameter, diameter, kernel.get());
    CountPositiveWeights(kernel.get(), diameter, counts.get());
    std::fill_n(result.get(), pixels, WorkPixel{{0.0f, 0.0f, 0.0f, 0.0f}});

    const SampledAperture aperture{kernel.get(), counts.get(), diameter};
    for (std::int32_t y = 0; y < height; ++y) {
        if (checkPoints.Stop()) return kUserCanceled;  // the rows estimated so far are discarded
        checkPoints.Progress(y, height);
        for (std::int32_t x = 0; x < width; ++x)
            EstimatePixel(channels, x, y, aperture, width, height, source.get(), result.get());
    }
    WriteBack(channels, result.get(), planes);
    return kOk;
}

}  // namespace aperlume
