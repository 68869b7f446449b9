// The direct convolution method: every pixel spread over the aperture in the image domain, each output
// normalised by the weight it actually received, so the border and transparent pixels need no special
// kernels. Without a depth map one kernel is gathered per output pixel; with one, every source pixel
// scatters its own aperture size and in-focus pixels are shielded from the ones above the focus.
//
// Working pixels are four floats. Each layout packs what a source pixel contributes (its colour and its
// weights) into those lanes so that the hot loops are one four-lane multiply-add per kernel tap (or, for
// large hard-edged apertures, per run of equal weights: see "Kernels by runs" below):
//
//   colour:        (c0, c1, c2, 1)                   lanes: colour sums, weight sum
//   gray:          (v, 0, 0, 1)                      lanes: gray sum, -, -, weight sum
//   gray + alpha:  opaque (v, 1, 1, a), else (0, 0, 1, 0)
//                                                    lanes: gray sum, colour weight, total weight, alpha sum
//   colour + alpha: opaque (c0, c1, c2, a), else 0;  the colour weight and the total weight, which do not
//                  fit, run beside it in a pair buffer, from a per-pixel opacity of 1 or 0.
//
// A source whose alpha is 0 or below adds nothing to the colour, while its weight counts towards the
// alpha: colours are means over the non-transparent pixels, alphas means over all.
#include "engine/direct_convolution.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "base/result.h"
#include "base/working_memory.h"
#include "engine/aperture_kernel.h"
#include "engine/methods.h"
#include "engine/pixel_layout.h"

namespace aperlume {
namespace {

constexpr double kFocusScale = 0.00392156862745098;  // 1 / 255 as the focus setting is stored
constexpr std::int32_t kRowsPerPoll = 10;
constexpr std::size_t kPixelsPerPoll = 2000;
constexpr std::int32_t kNormaliseSpan = 20;  // progress units for normalisation, and again for write-back

enum class Packing { Colour, Gray, GrayAlpha, ColourAlpha };

Packing PackingFor(const ChannelAssignment& channels) {
    if (channels.colourChannels == 3) return channels.hasAlpha ? Packing::ColourAlpha : Packing::Colour;
    return channels.hasAlpha ? Packing::GrayAlpha : Packing::Gray;
}

// [begin, end) of the positive weights in one kernel row.
struct Span {
    std::int32_t begin;
    std::int32_t end;
};

// Only positive weights take part: the others become exactly 0, so that a zero inside a row's span adds
// nothing, and each row's span of positive weights bounds the inner loops.
void PrepareKernel(float* kernel, std::int32_t width, std::int32_t height, Span* spans) {
    for (std::int32_t ky = 0; ky < height; ++ky) {
        float* row = kernel + static_cast<std::size_t>(ky) * width;
        std::int32_t begin = -1;
        std::int32_t end = 0;
        for (std::int32_t kx = 0; kx < width; ++kx) {
            if (row[kx] > 0.0f) {
                if (begin < 0) begin = kx;
                end = kx + 1;
            } else {
                row[kx] = 0.0f;
            }
        }
        spans[ky] = begin < 0 ? Span{0, 0} : Span{begin, end};
    }
}

struct Frame {
    std::int32_t diameter;  // of the aperture
    // The kernel raster: the whole aperture, centred, unless a huge one is cut to the part that can reach
    // from one pixel of the image to another (see KernelExtent).
    std::int32_t kernelWidth;
    std::int32_t kernelHeight;
    std::int32_t radiusX;  // kernelWidth / 2: the kernel's centre column
    std::int32_t radiusY;
    std::int32_t width;
    std::int32_t height;
    Packing packing;
    WorkPixel* source;
    WorkPixel* accumulator;
    const float* opacity;  // colour + alpha only: 1 for an opaque source, else 0
    float* pairWeights;    // colour + alpha only: (colour weight, total weight) per pixel
};

// A working pixel's four lanes as one value: both of our compilers (g++ and mingw g++) keep it in one SSE
// register and turn the lane-wise arithmetic into single instructions.
typedef float Lanes __attribute__((vector_size(16)));

inline Lanes Load(const WorkPixel& p) {
    Lanes v;
    std::memcpy(&v, p.c, sizeof v);
    return v;
}

inline void Store(WorkPixel& p, Lanes v) { std::memcpy(p.c, &v, sizeof v); }

// Four partial sums, so that consecutive taps do not wait on one another's additions; they are added
// together once per output pixel.
struct PartialSums {
    Lanes s0 = {};
    Lanes s1 = {};
    Lanes s2 = {};
    Lanes s3 = {};

    void AddRow(const float* w, const WorkPixel* p, std::int32_t n) {
        std::int32_t i = 0;
        for (; i + 4 <= n; i += 4) {
            s0 += w[i] * Load(p[i]);
            s1 += w[i + 1] * Load(p[i + 1]);
            s2 += w[i + 2] * Load(p[i + 2]);
            s3 += w[i + 3] * Load(p[i + 3]);
        }
        for (; i < n; ++i) s0 += w[i] * Load(p[i]);
    }
    Lanes Total() const { return (s0 + s1) + (s2 + s3); }
};

// Apertures up to this diameter (five times what the dialog allows) are always drawn whole.
constexpr std::int32_t kWholeDiameter = 1001;

// How much of an aperture of `diameter` the kernel holds along an image side of `extent` pixels. Weights
// further from the centre than the side is long can never be used, so a huge aperture (possible only
// through scripted settings) is cut down to what can: its central part drawn on a smaller raster, which
// may differ from the whole drawing's centre only where a cut-off vertex truncates the other way.
std::int32_t KernelExtent(std::int32_t diameter, std::int32_t extent) {
    if (diameter <= kWholeDiameter) return diameter;
    return static_cast<std::int32_t>(std::min<std::int64_t>(diameter, 2 * static_cast<std::int64_t>(extent) - 1));
}

// The window of pixel (x, y) in kernel coordinates: the kernel rows and columns whose pixels lie inside
// the image. Nothing outside the image takes part; the normalisation makes up for the missing part.
//
// Image positions under kernel positions are formed as (x - radius) + k, never (x + k) - radius: the
// result lies inside the image, while x + k could pass 2^31 on a very large one.
struct Window {
    std::int32_t x;
    std::int32_t y;
    std::int32_t kyLow;
    std::int32_t kyHigh;
    std::int32_t kxLow;
    std::int32_t kxHigh;
};

// The end of the kernel positions over an image side of `extent` pixels, for the pixel at `at`.
inline std::int32_t KernelEnd(std::int32_t kernelSize, std::int32_t radius, std::int32_t extent, std::int32_t at) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(kernelSize, std::int64_t{extent} - at + radius));
}

inline Window WindowAt(const Frame& f, std::int32_t x, std::int32_t y) {
    return Window{x,
                  y,
                  std::max(0, f.radiusY - y),
                  KernelEnd(f.kernelHeight, f.radiusY, f.height, y),
                  std::max(0, f.radiusX - x),
                  KernelEnd(f.kernelWidth, f.radiusX, f.width, x)};
}

// Kernel row ky's positive weights inside the window, and the image index of the pixel under the first.
struct RowSlice {
    const float* weights;
    std::size_t first;
    std::int32_t count;  // 0 when the row has nothing inside the window
};

inline RowSlice SliceRow(const Frame& f, const Window& window, const float* kernel, const Span& span, std::int32_t ky) {
    const std::int32_t begin = std::max(span.begin, window.kxLow);
    const std::int32_t end = std::min(span.end, window.kxHigh);
    if (begin >= end) return RowSlice{nullptr, 0, 0};
    return RowSlice{kernel + static_cast<std::size_t>(ky) * f.kernelWidth + begin,
                    static_cast<std::size_t>(window.y - f.radiusY + ky) * f.width +
                        static_cast<std::size_t>(window.x - f.radiusX + begin),
                    end - begin};
}

// One output row of the uniform path: every pixel sums its window under the reversed kernel.
template <bool kPairWeights>
void GatherRow(const Frame& f, const float* kernel, const Span* spans, std::int32_t y) {
    for (std::int32_t x = 0; x < f.width; ++x) {
        const Window window = WindowAt(f, x, y);
        PartialSums sums;
        float colourWeight = 0.0f;
        float totalWeight = 0.0f;
        for (std::int32_t ky = window.kyLow; ky < window.kyHigh; ++ky) {
            const RowSlice row = SliceRow(f, window, kernel, spans[ky], ky);
            const float* w = row.weights;
            sums.AddRow(w, f.source + row.first, row.count);
            if constexpr (kPairWeights) {
                const float* m = f.opacity + row.first;
                for (std::int32_t i = 0; i < row.count; ++i) {
                    colourWeight += w[i] * m[i];
                    totalWeight += w[i];
                }
            }
        }
        const std::size_t j = static_cast<std::size_t>(y) * f.width + x;
        Store(f.accumulator[j], sums.Total());
        if constexpr (kPairWeights) {
            f.pairWeights[2 * j] = colourWeight;
            f.pairWeights[2 * j + 1] = totalWeight;
        }
    }
}

// One source pixel of the depth path spread over its own (reversed, normalised) kernel. When shielded,
// `open` is 0 at the in-focus targets that must receive nothing from this source.
template <bool kPairWeights, bool kShielded>
void ScatterPixel(const Frame& f, const float* kernel, const Span* spans, const float* open, std::int32_t x,
                  std::int32_t y) {
    const Window window = WindowAt(f, x, y);
    const std::size_t s = static_cast<std::size_t>(y) * f.width + x;
    const Lanes contribution = Load(f.source[s]);
    const float opaque = kPairWeights ? f.opacity[s] : 0.0f;
    for (std::int32_t ky = window.kyLow; ky < window.kyHigh; ++ky) {
        const RowSlice row = SliceRow(f, window, kernel, spans[ky], ky);
        const float* w = row.weights;
        const float* gate = open + row.first;
        WorkPixel* t = f.accumulator + row.first;
        for (std::int32_t i = 0; i < row.count; ++i) {
            const float weight = kShielded ? w[i] * gate[i] : w[i];
            Store(t[i], Load(t[i]) + weight * contribution);
        }
        if constexpr (kPairWeights) {
            float* pair = f.pairWeights + 2 * row.first;
            for (std::int32_t i = 0; i < row.count; ++i) {
                const float weight = kShielded ? w[i] * gate[i] : w[i];
                pair[2 * i] += weight * opaque;
                pair[2 * i + 1] += weight;
            }
        }
    }
}

// The planes' rows at image row y, up to the four that a working pixel holds.
struct PlaneRows {
    const float* p[4] = {};
    PlaneRows(std::span<const PlaneView> planes, std::int32_t y, std::int32_t x) {
        for (std::size_t i = 0; i < planes.size() && i < 4; ++i) p[i] = planes[i].Row(y) + x;
    }
};

// Calls visit(first, last, y, x) for each image row's part of pixel indices [begin, end): indices
// first..last-1 lie in row y from column x on.
template <class Visit>
void ForEachRowPart(std::size_t begin, std::size_t end, std::int32_t width, Visit visit) {
    const auto w = static_cast<std::size_t>(width);
    for (std::size_t first = begin; first < end;) {
        const std::size_t y = first / w;
        const std::size_t last = std::min(end, (y + 1) * w);
        visit(first, last, static_cast<std::int32_t>(y), static_cast<std::int32_t>(first - y * w));
        first = last;
    }
}

// Packs one row of the planes into working pixels (see the table at the top of the file).
void InterleaveRow(const Frame& f, const PlaneRows& in, std::size_t first, float* opacity) {
    WorkPixel* out = f.source + first;
    const std::int32_t n = f.width;
    switch (f.packing) {
        case Packing::Colour:
            for (std::int32_t x = 0; x < n; ++x) out[x] = WorkPixel{{in.p[0][x], in.p[1][x], in.p[2][x], 1.0f}};
            break;
        case Packing::Gray:
            for (std::int32_t x = 0; x < n; ++x) out[x] = WorkPixel{{in.p[0][x], 0.0f, 0.0f, 1.0f}};
            break;
        case Packing::GrayAlpha:
            for (std::int32_t x = 0; x < n; ++x) {
                const float a = in.p[1][x];
                out[x] = a > 0.0f ? WorkPixel{{in.p[0][x], 1.0f, 1.0f, a}} : WorkPixel{{0.0f, 0.0f, 1.0f, 0.0f}};
            }
            break;
        case Packing::ColourAlpha:
            for (std::int32_t x = 0; x < n; ++x) {
                const float a = in.p[3][x];
                const bool opaque = a > 0.0f;
                out[x] = opaque ? WorkPixel{{in.p[0][x], in.p[1][x], in.p[2][x], a}}
                                : WorkPixel{{0.0f, 0.0f, 0.0f, 0.0f}};
                opacity[first + x] = opaque ? 1.0f : 0.0f;
            }
            break;
    }
}

void Interleave(const Frame& f, std::span<const PlaneView> planes, float* opacity) {
    for (std::int32_t y = 0; y < f.height; ++y)
        InterleaveRow(f, PlaneRows(planes, y, 0), static_cast<std::size_t>(y) * f.width, opacity);
}

// value / weight, or the source value where nothing with a positive weight arrived.
inline float Mean(float value, float weight, float fallback) { return weight > 0.0f ? value / weight : fallback; }

// Turns the sums of pixels [first, last) of one row into values at the layout's channels: colour in
// lanes 0.., alpha in lane 3. `own` holds the pixels' source values, own.p[plane][j - first].
void NormaliseRow(const Frame& f, const PlaneRows& own, std::size_t first, std::size_t last) {
    WorkPixel* a = f.accumulator;
    switch (f.packing) {
        case Packing::Colour:
            for (std::size_t j = first; j < last; ++j) {
                const float w = a[j].c[3];
                for (int ch = 0; ch < 3; ++ch) a[j].c[ch] = Mean(a[j].c[ch], w, own.p[ch][j - first]);
            }
            break;
        case Packing::Gray:
            for (std::size_t j = first; j < last; ++j) a[j].c[0] = Mean(a[j].c[0], a[j].c[3], own.p[0][j - first]);
            break;
        case Packing::GrayAlpha:
            for (std::size_t j = first; j < last; ++j) {
                a[j].c[0] = Mean(a[j].c[0], a[j].c[1], own.p[0][j - first]);
                a[j].c[3] = Mean(a[j].c[3], a[j].c[2], own.p[1][j - first]);
            }
            break;
        case Packing::ColourAlpha:
            for (std::size_t j = first; j < last; ++j) {
                const float colourWeight = f.pairWeights[2 * j];
                for (int ch = 0; ch < 3; ++ch) a[j].c[ch] = Mean(a[j].c[ch], colourWeight, own.p[ch][j - first]);
                a[j].c[3] = Mean(a[j].c[3], f.pairWeights[2 * j + 1], own.p[3][j - first]);
            }
            break;
    }
}

void Normalise(const Frame& f, std::span<const PlaneView> planes, std::size_t begin, std::size_t end) {
    ForEachRowPart(begin, end, f.width, [&](std::size_t first, std::size_t last, std::int32_t y, std::int32_t x) {
        NormaliseRow(f, PlaneRows(planes, y, x), first, last);
    });
}

void WriteBack(const Frame& f, const ChannelAssignment& channels, std::span<const PlaneView> planes,
               std::size_t begin, std::size_t end) {
    ForEachRowPart(begin, end, f.width, [&](std::size_t first, std::size_t last, std::int32_t y, std::int32_t x) {
        for (std::int32_t ch = 0; ch < channels.colourChannels; ++ch) {
            float* plane = planes[static_cast<std::size_t>(ch)].Row(y) + x;
            for (std::size_t k = first; k < last; ++k) plane[k - first] = f.accumulator[k].c[ch];
        }
        if (channels.hasAlpha) {
            float* plane = planes[static_cast<std::size_t>(channels.colourChannels)].Row(y) + x;
            for (std::size_t k = first; k < last; ++k) plane[k - first] = f.accumulator[k].c[3];
        }
    });
}

// Kernels by runs. An aperture row is mostly a few runs of one weight (the rim, the centre, a soft
// border). Gathering, a run's share of a pixel is its weight times the sum of the source pixels under
// it, read off the source row's prefix sums; scattering, a run adds its weight times the source at its
// first target and takes it away after its last, and the targets' rows are summed up once. Either way
// a pixel costs its kernel's runs, not its taps. The sums are kept in double, so that the difference of
// two of them is as exact as the float sum it replaces.

struct Run {
    std::int32_t begin;
    std::int32_t end;
    float weight;
};

typedef double Double2 __attribute__((vector_size(16)));

// Four lanes in double precision, in two SSE registers.
struct WideLanes {
    Double2 low;
    Double2 high;
};

inline WideLanes operator+(WideLanes a, WideLanes b) { return WideLanes{a.low + b.low, a.high + b.high}; }
inline WideLanes operator-(WideLanes a, WideLanes b) { return WideLanes{a.low - b.low, a.high - b.high}; }
inline WideLanes operator*(double w, WideLanes a) { return WideLanes{w * a.low, w * a.high}; }

// One kernel's runs: row ky's are runs[rowStart[ky]] up to runs[rowStart[ky + 1]].
struct RunRows {
    const Run* runs;
    const std::int32_t* rowStart;
    const Run* Begin(std::int32_t ky) const { return runs + rowStart[ky]; }
    const Run* End(std::int32_t ky) const { return runs + rowStart[ky + 1]; }
};

// A run costs about as much as this many single taps; below that the taps are summed directly.
constexpr std::int64_t kRunCost = 8;

std::int64_t TapCount(const Span* spans, std::int32_t rows) {
    std::int64_t taps = 0;
    for (std::int32_t ky = 0; ky < rows; ++ky) taps += spans[ky].end - spans[ky].begin;
    return taps;
}

inline WideLanes Widen(const WorkPixel& p) {
    return WideLanes{Double2{p.c[0], p.c[1]}, Double2{p.c[2], p.c[3]}};
}

class KernelRuns {
public:
    // Splits every row's positive weights into runs of equal weight; false when memory cannot be had.
    [[nodiscard]] bool Build(const float* kernel, std::int32_t width, std::int32_t height) {
        rowStart_ = AllocateBuffer<std::int32_t>(static_cast<std::size_t>(height) + 1);
        if (rowStart_ == nullptr) return false;
        count_ = ForEachRun(kernel, width, height, [](std::int32_t, Run) {});
        runs_ = AllocateBuffer<Run>(static_cast<std::size_t>(count_));
        if (runs_ == nullptr) return false;
        std::int32_t next = 0;
        ForEachRun(kernel, width, height, [&](std::int32_t ky, Run run) {
            runs_[next] = run;
            rowStart_[ky + 1] = ++next;
        });
        // Rows without runs start where the previous one ended.
        rowStart_[0] = 0;
        std::int32_t last = 0;
        for (std::int32_t ky = 1; ky <= height; ++ky) {
            if (rowStart_[ky] < last) rowStart_[ky] = last;
            last = rowStart_[ky];
        }
        return true;
    }
    std::int32_t Count() const { return count_; }
    RunRows View() const { return RunRows{runs_.get(), rowStart_.get()}; }
    // Hands both arrays over to another owner.
    void MoveInto(Buffer<Run>& runs, Buffer<std::int32_t>& rowStart) {
        runs = std::move(runs_);
        rowStart = std::move(rowStart_);
    }

private:
    template <class Visit>
    std::int32_t ForEachRun(const float* kernel, std::int32_t width, std::int32_t height, Visit visit) {
        std::int32_t count = 0;
        for (std::int32_t ky = 0; ky < height; ++ky) {
            rowStart_[ky + 1] = 0;
            const float* row = kernel + static_cast<std::size_t>(ky) * width;
            for (std::int32_t kx = 0; kx < width;) {
                if (!(row[kx] > 0.0f)) {
                    ++kx;
                    continue;
                }
                std::int32_t end = kx + 1;
                while (end < width && row[end] == row[kx]) ++end;
                visit(ky, Run{kx, end, row[kx]});
                ++count;
                kx = end;
            }
        }
        return count;
    }

    Buffer<Run> runs_;
    Buffer<std::int32_t> rowStart_;
    std::int32_t count_ = 0;
};

// The uniform path's prefix sums of the D source rows that the current output row reads, in a ring of D slots: source row
// y lives in slot y mod D until row y + D needs the slot.
class PrefixRing {
public:
    [[nodiscard]] bool Init(const Frame& f) {
        frame_ = &f;
        stride_ = static_cast<std::size_t>(f.width) + 1;
        std::size_t count = 0;
        if (!CheckedMultiply(stride_, static_cast<std::size_t>(f.kernelHeight), count)) return false;
        sums_ = AllocateBuffer<WideLanes>(count);
        if (f.packing == Packing::ColourAlpha) opacity_ = AllocateBuffer<double>(count);
        return sums_ != nullptr && (f.packing != Packing::ColourAlpha || opacity_ != nullptr);
    }

    // Makes every source row up to `last` (and below the image's height) available.
    void Advance(std::int64_t last) {
        for (; next_ <= last && next_ < frame_->height; ++next_) {
            const WorkPixel* source = frame_->source + static_cast<std::size_t>(next_) * frame_->width;
            WideLanes* sum = Sums(next_);
            WideLanes running{{0.0, 0.0}, {0.0, 0.0}};
            sum[0] = running;
            for (std::int32_t x = 0; x < frame_->width; ++x) {
                running = running + Widen(source[x]);
                sum[x + 1] = running;
            }
            if (opacity_ != nullptr) {
                const float* m = frame_->opacity + static_cast<std::size_t>(next_) * frame_->width;
                double* o = Opacity(next_);
                double total = 0.0;
                o[0] = 0.0;
                for (std::int32_t x = 0; x < frame_->width; ++x) o[x + 1] = total += m[x];
            }
        }
    }

    WideLanes* Sums(std::int32_t row) { return sums_.get() + Slot(row); }
    double* Opacity(std::int32_t row) { return opacity_.get() + Slot(row); }

private:
    std::size_t Slot(std::int32_t row) const {
        return static_cast<std::size_t>(row % frame_->kernelHeight) * stride_;
    }

    const Frame* frame_ = nullptr;
    std::size_t stride_ = 0;
    std::int32_t next_ = 0;
    Buffer<WideLanes> sums_;
    Buffer<double> opacity_;
};

template <bool kPairWeights>
void GatherRowByRuns(const Frame& f, const RunRows& runs, PrefixRing& ring, std::int32_t y) {
    for (std::int32_t x = 0; x < f.width; ++x) {
        const Window window = WindowAt(f, x, y);
        WideLanes sum{{0.0, 0.0}, {0.0, 0.0}};
        double colourWeight = 0.0;
        double totalWeight = 0.0;
        for (std::int32_t ky = window.kyLow; ky < window.kyHigh; ++ky) {
            const std::int32_t sourceRow = y - f.radiusY + ky;
            const WideLanes* prefix = ring.Sums(sourceRow);
            const double* opacity = kPairWeights ? ring.Opacity(sourceRow) : nullptr;
            for (const Run* run = runs.Begin(ky); run != runs.End(ky); ++run) {
                const std::int32_t begin = std::max(run->begin, window.kxLow);
                const std::int32_t end = std::min(run->end, window.kxHigh);
                if (begin >= end) continue;
                const std::int32_t first = x - f.radiusX + begin;
                const std::int32_t last = x - f.radiusX + end;
                sum = sum + static_cast<double>(run->weight) * (prefix[last] - prefix[first]);
                if constexpr (kPairWeights) {
                    colourWeight += run->weight * (opacity[last] - opacity[first]);
                    totalWeight += static_cast<double>(run->weight) * (end - begin);
                }
            }
        }
        const std::size_t j = static_cast<std::size_t>(y) * f.width + x;
        f.accumulator[j] = WorkPixel{{static_cast<float>(sum.low[0]), static_cast<float>(sum.low[1]),
                                      static_cast<float>(sum.high[0]), static_cast<float>(sum.high[1])}};
        if constexpr (kPairWeights) {
            f.pairWeights[2 * j] = static_cast<float>(colourWeight);
            f.pairWeights[2 * j + 1] = static_cast<float>(totalWeight);
        }
    }
}

// The depth path's kernels, built lazily, at most one per size code (odd, 1..D), each reversed, its
// non-zero weights divided by their count, and prepared with its row spans and, when cheaper, its runs.
struct CachedKernel {
    Buffer<float> weights;  // empty while the slot is empty
    Buffer<Run> runs;       // empty when the kernel is spread tap by tap
    Buffer<std::int32_t> rowStart;
};

class KernelCache {
public:
    [[nodiscard]] bool Init(const Frame& f) {
        width_ = f.kernelWidth;
        height_ = f.kernelHeight;
        const std::int32_t count = f.diameter / 2 + 1;  // the odd sizes 1..D
        std::size_t spanCount = 0;
        if (!CheckedMultiply(static_cast<std::size_t>(count), static_cast<std::size_t>(height_), spanCount))
            return false;
        if (!slots_.Allocate(static_cast<std::size_t>(count))) return false;
        spans_ = AllocateBuffer<Span>(spanCount);
        return spans_ != nullptr;
    }

    // The kernel of size code magnitude `size`, or null when its memory cannot be had.
    const CachedKernel* Get(const FilterParameters& settings, std::int32_t size) {
        CachedKernel& slot = slots_[static_cast<std::size_t>((size - 1) / 2)];
        if (slot.weights != nullptr) return &slot;
        // The aperture is drawn on a raster of its own size, where it is the same shape as centred in a
        // larger one, and counted there whole even when the kernel holds only its central part (a huge one
        // is drawn and counted only as far as the kernel reaches).
        const std::int32_t side = size <= kWholeDiameter ? size : std::min(size, std::max(width_, height_));
        Buffer<float> aperture = AllocateRaster<float>(side, side);
        Buffer<float> kernel = AllocateRaster<float>(width_, height_);
        if (aperture == nullptr || kernel == nullptr) return nullptr;
        BuildApertureKernel(settings, size, side, side, aperture.get());
        const std::size_t apertureElements = static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
        const auto nonZero = static_cast<float>(std::count_if(
            aperture.get(), aperture.get() + apertureElements, [](float w) { return w != 0.0f; }));
        for (std::int32_t ky = 0; ky < height_; ++ky) {
            const std::int32_t ay = ky - height_ / 2 + side / 2;
            float* row = kernel.get() + static_cast<std::size_t>(ky) * width_;
            for (std::int32_t kx = 0; kx < width_; ++kx) {
                const std::int32_t ax = kx - width_ / 2 + side / 2;
                const bool inside = ay >= 0 && ay < side && ax >= 0 && ax < side;
                // A large aperture spreads its pixel thinly, a small one concentrates it.
                const float w = inside ? aperture[static_cast<std::size_t>(ay) * side + ax] : 0.0f;
                row[kx] = w != 0.0f ? w / nonZero : 0.0f;
            }
        }
        ReverseKernel(kernel.get(), width_, height_);
        PrepareKernel(kernel.get(), width_, height_, SpansOf(size));
        KernelRuns runs;
        if (!runs.Build(kernel.get(), width_, height_)) return nullptr;
        if (kRunCost * runs.Count() < TapCount(SpansOf(size), height_)) runs.MoveInto(slot.runs, slot.rowStart);
        slot.weights = std::move(kernel);
        return &slot;
    }

    Span* SpansOf(std::int32_t size) {
        return spans_.get() + static_cast<std::size_t>((size - 1) / 2) * static_cast<std::size_t>(height_);
    }

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    OwnedArray<CachedKernel> slots_;
    Buffer<Span> spans_;
};

// The depth path's difference rows for the kernels spread by runs, in a ring of one slot per kernel
// row: a source row reaches kernelHeight target rows, and once it is spread the topmost of them is
// complete and summed into the accumulator. Contributions of sources above the focus are kept apart,
// because in-focus targets must not receive them.
class DifferenceRing {
public:
    [[nodiscard]] bool Init(const Frame& f) {
        frame_ = &f;
        stride_ = static_cast<std::size_t>(f.width) + 1;
        std::size_t count = 0;
        std::size_t pairCount = 0;
        if (!CheckedMultiply(stride_, static_cast<std::size_t>(f.kernelHeight), count) ||
            !CheckedMultiply(count, 2, pairCount))
            return false;
        const bool pairs = f.packing == Packing::ColourAlpha;
        for (int side = 0; side < 2; ++side) {
            sums_[side] = AllocateBuffer<WideLanes>(count);
            if (sums_[side] == nullptr) return false;
            std::fill_n(sums_[side].get(), count, WideLanes{{0.0, 0.0}, {0.0, 0.0}});
            if (pairs) {
                pairs_[side] = AllocateBuffer<double>(pairCount);
                if (pairs_[side] == nullptr) return false;
                std::fill_n(pairs_[side].get(), pairCount, 0.0);
            }
        }
        return true;
    }

    // Adds `weight` times the source to targets [first, last) of `row`.
    void AddRun(bool aboveFocus, std::int32_t row, std::int32_t first, std::int32_t last, double weight,
                const WideLanes& contribution, double opaque) {
        const std::size_t at = Slot(row);
        const WideLanes share = weight * contribution;
        WideLanes* sums = sums_[aboveFocus ? 1 : 0].get() + at;
        sums[first] = sums[first] + share;
        sums[last] = sums[last] - share;
        if (pairs_[0] != nullptr) {
            double* pairs = pairs_[aboveFocus ? 1 : 0].get() + 2 * at;
            double* pairFirst = pairs + 2 * static_cast<std::size_t>(first);
            double* pairLast = pairs + 2 * static_cast<std::size_t>(last);
            pairFirst[0] += weight * opaque;
            pairFirst[1] += weight;
            pairLast[0] -= weight * opaque;
            pairLast[1] -= weight;
        }
    }

    // Sums `row` up into the accumulator (shielding in-focus targets as `open` says) and clears its slot.
    void Finish(std::int32_t row, const float* open) {
        const Frame& f = *frame_;
        const std::size_t at = Slot(row);
        const std::size_t base = static_cast<std::size_t>(row) * f.width;
        WideLanes* below = sums_[0].get() + at;
        WideLanes* above = sums_[1].get() + at;
        WideLanes runBelow{{0.0, 0.0}, {0.0, 0.0}};
        WideLanes runAbove{{0.0, 0.0}, {0.0, 0.0}};
        for (std::int32_t x = 0; x < f.width; ++x) {
            runBelow = runBelow + below[x];
            runAbove = runAbove + above[x];
            const WideLanes total = runBelow + static_cast<double>(open[base + x]) * runAbove;
            WorkPixel& target = f.accumulator[base + x];
            target = WorkPixel{{target.c[0] + static_cast<float>(total.low[0]),
                                target.c[1] + static_cast<float>(total.low[1]),
                                target.c[2] + static_cast<float>(total.high[0]),
                                target.c[3] + static_cast<float>(total.high[1])}};
        }
        std::fill_n(below, stride_, WideLanes{{0.0, 0.0}, {0.0, 0.0}});
        std::fill_n(above, stride_, WideLanes{{0.0, 0.0}, {0.0, 0.0}});
        if (pairs_[0] == nullptr) return;
        double* pairsBelow = pairs_[0].get() + 2 * at;
        double* pairsAbove = pairs_[1].get() + 2 * at;
        double colourBelow = 0.0;
        double totalBelow = 0.0;
        double colourAbove = 0.0;
        double totalAbove = 0.0;
        for (std::int32_t x = 0; x < f.width; ++x) {
            colourBelow += pairsBelow[2 * x];
            totalBelow += pairsBelow[2 * x + 1];
            colourAbove += pairsAbove[2 * x];
            totalAbove += pairsAbove[2 * x + 1];
            const double gate = open[base + x];
            f.pairWeights[2 * (base + x)] += static_cast<float>(colourBelow + gate * colourAbove);
            f.pairWeights[2 * (base + x) + 1] += static_cast<float>(totalBelow + gate * totalAbove);
        }
        std::fill_n(pairsBelow, 2 * stride_, 0.0);
        std::fill_n(pairsAbove, 2 * stride_, 0.0);
    }

private:
    std::size_t Slot(std::int32_t row) const {
        return static_cast<std::size_t>(row % frame_->kernelHeight) * stride_;
    }

    const Frame* frame_ = nullptr;
    std::size_t stride_ = 0;
    Buffer<WideLanes> sums_[2];  // sources at or below the focus, sources above it
    Buffer<double> pairs_[2];    // colour + alpha only: (colour weight, total weight)
};

// One source pixel of the depth path spread by its kernel's runs.
void ScatterRuns(const Frame& f, const RunRows& runs, DifferenceRing& ring, bool aboveFocus, std::int32_t x,
                 std::int32_t y) {
    const Window window = WindowAt(f, x, y);
    const std::size_t s = static_cast<std::size_t>(y) * f.width + x;
    const WideLanes contribution = Widen(f.source[s]);
    const double opaque = f.opacity != nullptr ? f.opacity[s] : 0.0;
    for (std::int32_t ky = window.kyLow; ky < window.kyHigh; ++ky) {
        const std::int32_t row = y - f.radiusY + ky;
        for (const Run* run = runs.Begin(ky); run != runs.End(ky); ++run) {
            const std::int32_t begin = std::max(run->begin, window.kxLow);
            const std::int32_t end = std::min(run->end, window.kxHigh);
            if (begin >= end) continue;
            ring.AddRun(aboveFocus, row, x - f.radiusX + begin, x - f.radiusX + end, run->weight, contribution,
                        opaque);
        }
    }
}

template <bool kPairWeights>
void ScatterRow(const Frame& f, KernelCache& cache, DifferenceRing& ring, const std::int32_t* codes,
                const float* open, std::int32_t y, const FilterParameters& settings, bool& outOfMemory) {
    for (std::int32_t x = 0; x < f.width; ++x) {
        const std::int32_t code = codes[static_cast<std::size_t>(y) * f.width + x];
        const std::int32_t size = code < 0 ? -code : code;
        const CachedKernel* kernel = cache.Get(settings, size);
        if (kernel == nullptr) {
            outOfMemory = true;
            return;
        }
        if (kernel->runs != nullptr) {
            ScatterRuns(f, RunRows{kernel->runs.get(), kernel->rowStart.get()}, ring, code < 0, x, y);
            continue;
        }
        const Span* spans = cache.SpansOf(size);
        if (code < 0) {
            ScatterPixel<kPairWeights, true>(f, kernel->weights.get(), spans, open, x, y);
        } else {
            ScatterPixel<kPairWeights, false>(f, kernel->weights.get(), spans, open, x, y);
        }
    }
}

// The method's check points: the full poll, then the position on a scale of height + 40.
class Progress {
public:
    Progress(CheckPoints& checkPoints, std::int32_t height)
        : checkPoints_(checkPoints), total_(height + 2 * kNormaliseSpan) {}
    // A check point: false when the run is to stop.
    [[nodiscard]] bool Check(std::int64_t done) {
        if (checkPoints_.Stop()) return false;
        checkPoints_.Progress(static_cast<std::int32_t>(done), total_);
        return true;
    }

private:
    CheckPoints& checkPoints_;
    std::int32_t total_;
};

Result SpreadUniform(const FilterParameters& settings, const Frame& f, Progress& progress) {
    Buffer<float> kernel = AllocateRaster<float>(f.kernelWidth, f.kernelHeight);
    Buffer<Span> spans = AllocateBuffer<Span>(static_cast<std::size_t>(f.kernelHeight));
    if (kernel == nullptr || spans == nullptr) return kOutOfMemory;
    BuildApertureKernel(settings, f.diameter, f.kernelWidth, f.kernelHeight, kernel.get());
    // Gathering with the reversed kernel spreads every source over the aperture as drawn.
    ReverseKernel(kernel.get(), f.kernelWidth, f.kernelHeight);
    PrepareKernel(kernel.get(), f.kernelWidth, f.kernelHeight, spans.get());

    KernelRuns runs;
    PrefixRing ring;
    if (!runs.Build(kernel.get(), f.kernelWidth, f.kernelHeight)) return kOutOfMemory;
    const bool byRuns = kRunCost * runs.Count() < TapCount(spans.get(), f.kernelHeight);
    if (byRuns && !ring.Init(f)) return kOutOfMemory;
    for (std::int32_t y = 0; y < f.height; ++y) {
        if (y % kRowsPerPoll == 0 && !progress.Check(y)) return kUserCanceled;
        if (byRuns) {
            ring.Advance(std::int64_t{y} - f.radiusY + f.kernelHeight - 1);
            if (f.packing == Packing::ColourAlpha) {
                GatherRowByRuns<true>(f, runs.View(), ring, y);
            } else {
                GatherRowByRuns<false>(f, runs.View(), ring, y);
            }
        } else if (f.packing == Packing::ColourAlpha) {
            GatherRow<true>(f, kernel.get(), spans.get(), y);
        } else {
            GatherRow<false>(f, kernel.get(), spans.get(), y);
        }
    }
    return kOk;
}

Result SpreadWithDepth(const FilterParameters& settings, const Frame& f, const float* depthMap, std::size_t pixels,
                       Progress& progress) {
    Buffer<std::int32_t> codes = AllocateBuffer<std::int32_t>(pixels);
    Buffer<float> open = AllocateBuffer<float>(pixels);
    KernelCache cache;
    DifferenceRing ring;
    if (codes == nullptr || open == nullptr || !cache.Init(f) || !ring.Init(f)) return kOutOfMemory;
    for (std::size_t j = 0; j < pixels; ++j) {
        codes[j] = DepthSizeCode(depthMap[j], settings.focus, f.diameter);
        // An in-focus pixel at or below the focus value receives nothing from the pixels above it.
        open[j] = codes[j] == 1 ? 0.0f : 1.0f;
    }
    std::fill_n(f.accumulator, pixels, WorkPixel{{0.0f, 0.0f, 0.0f, 0.0f}});
    if (f.packing == Packing::ColourAlpha) std::fill_n(f.pairWeights, 2 * pixels, 0.0f);
    for (std::int32_t y = 0; y < f.height; ++y) {
        if (y % kRowsPerPoll == 0 && !progress.Check(y)) return kUserCanceled;
        bool outOfMemory = false;
        if (f.packing == Packing::ColourAlpha) {
            ScatterRow<true>(f, cache, ring, codes.get(), open.get(), y, settings, outOfMemory);
        } else {
            ScatterRow<false>(f, cache, ring, codes.get(), open.get(), y, settings, outOfMemory);
        }
        if (outOfMemory) return kOutOfMemory;
        // No later source row reaches back this far.
        if (y >= f.radiusY) ring.Finish(y - f.radiusY, open.get());
    }
    for (std::int32_t row = std::max(0, f.height - f.radiusY); row < f.height; ++row) ring.Finish(row, open.get());
    return kOk;
}

// Runs `step` over [0, pixels) in chunks, with a check point before each chunk; the progress runs from
// `base` to base + 20.
template <class Step>
Result ChunkedPass(std::size_t pixels, std::int32_t base, Progress& progress, Step step) {
    for (std::size_t begin = 0; begin < pixels; begin += kPixelsPerPoll) {
        const auto done = base + static_cast<std::int64_t>(
                                     (static_cast<std::uint64_t>(kNormaliseSpan) * begin) / pixels);
        if (!progress.Check(done)) return kUserCanceled;
        step(begin, std::min(pixels, begin + kPixelsPerPoll));
    }
    return kOk;
}

}  // namespace

void ReverseKernel(float* kernel, std::int32_t width, std::int32_t height) {
    if (kernel == nullptr || width <= 0 || height <= 0) return;
    std::reverse(kernel, kernel + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
}

std::int32_t DepthSizeCode(float depth, std::int16_t focus, std::int32_t diameter) {
    const double f = focus * kFocusScale;
    const double v = depth;
    const double scaled = std::fabs(v - f) * diameter + 0.5;
    std::int32_t size = scaled < static_cast<double>(diameter) ? static_cast<std::int32_t>(scaled) : diameter;
    if (size % 2 == 0) size += 1;
    return v > f ? -size : size;
}

Result DirectConvolve(const RenderJob& job, std::span<const PlaneView> planes, const float* depthMap,
                      CheckPoints& checkPoints) {
    // Before any memory is taken: a preview that is to stop does so at once.
    if (checkPoints.PreviewInterrupted()) return kUserCanceled;
    if (job.layout.code == kLayoutRefused) return kBadMode;
    // Modes without a channel assignment, and empty or degenerate requests, spread nothing.
    if (job.layout.channels.colourChannels == 0 || JobIsEmpty(job)) return kOk;
    if (!PlanesFitJob(job, planes)) return kBadParameters;
    const ChannelAssignment channels = job.layout.channels;
    const std::int32_t width = job.width;
    const std::int32_t height = job.height;
    const std::int32_t diameter = job.diameter;

    std::size_t pixels = 0;
    std::size_t pairCount = 0;
    if (!CheckedMultiply(static_cast<std::size_t>(width), static_cast<std::size_t>(height), pixels) ||
        !CheckedMultiply(pixels, 2, pairCount))
        return kOutOfMemory;
    const Packing packing = PackingFor(channels);
    Buffer<WorkPixel> source = AllocateBuffer<WorkPixel>(pixels);
    Buffer<WorkPixel> accumulator = AllocateBuffer<WorkPixel>(pixels);
    Buffer<float> opacity;
    Buffer<float> pairWeights;
    if (packing == Packing::ColourAlpha) {
        opacity = AllocateBuffer<float>(pixels);
        pairWeights = AllocateBuffer<float>(pairCount);
    }
    if (source == nullptr || accumulator == nullptr ||
        (packing == Packing::ColourAlpha && (opacity == nullptr || pairWeights == nullptr)))
        return kOutOfMemory;

    Progress progress(checkPoints, height);
    if (!progress.Check(0)) return kUserCanceled;

    const std::int32_t kernelWidth = KernelExtent(diameter, width);
    const std::int32_t kernelHeight = KernelExtent(diameter, height);
    const Frame frame{diameter,      kernelWidth,  kernelHeight,      kernelWidth / 2,
                      kernelHeight / 2, width,     height,            packing,
                      source.get(),  accumulator.get(), opacity.get(), pairWeights.get()};
    Interleave(frame, planes, opacity.get());

    const Result spread = job.settings.depth != 0 && depthMap != nullptr
                              ? SpreadWithDepth(job.settings, frame, depthMap, pixels, progress)
                              : SpreadUniform(job.settings, frame, progress);
    if (!spread.ok()) return spread;
    if (!progress.Check(height)) return kUserCanceled;

    if (Result r = ChunkedPass(pixels, height, progress,
                               [&](std::size_t begin, std::size_t end) { Normalise(frame, planes, begin, end); });
        !r.ok())
        return r;
    if (!progress.Check(height + kNormaliseSpan)) return kUserCanceled;
    return ChunkedPass(pixels, height + kNormaliseSpan, progress, [&](std::size_t begin, std::size_t end) {
        WriteBack(frame, channels, planes, begin, end);
    });
}

}  // namespace aperlume
