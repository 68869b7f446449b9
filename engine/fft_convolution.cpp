// The FFT convolution method, by overlap-save in tiles: every plane is cut into tiles of one transform
// size chosen from the kernel (ChooseFftTileShape); each tile goes through a
// real-input transform, is multiplied by the spectrum of the aperture normalised to unit weight and
// comes back through the inverse transform, of which only the outputs that the circular convolution
// gets right are kept. The cost follows the number of pixels and not the number of kernel samples; the
// working memory follows the tile size and the number of threads, not the image.
//
// Geometry. Tile row m holds image row y0 - D/2 + m and tile column n image column x0 - D/2 + n, read
// with clamped coordinates, so that beyond the border every sample is the nearest edge sample, as if
// the plane were padded by replicating its edges. The aperture sits at the tile's origin (rows and
// columns 0 to D-1), so tile output (D-1+i, D-1+j) is the convolution at image pixel (y0+i, x0+j), for
// i and j below the tile size less D-1; the other outputs wrap around and are dropped.
//
// The aperture is drawn once on its own D x D raster, exactly as the direct method draws it: drawn on a
// larger raster, a shape whose fill seed lies outside a tiny outline would flood all of it, and soft
// edges would be sampled at another sub-pixel phase than the raster the weight is measured on. Its
// spectrum is computed once per call and shared read-only by every tile, plane and thread.
//
// In place. A tile reads D/2 rows beyond its outputs on either side, so no output may reach the plane
// while a tile still needs the input there. Outputs wait in a ring of pending rows until every tile of
// their band of tiles is done; they are copied back band by band, and the last D/2 input rows above the
// first pending row are kept aside just before they are overwritten, for the tiles of the band below.
// A plane that fits one tile needs none of this: its tile writes straight back.
//
// Threads. Tiles are handed to the job's threads in batches (ParallelFor); each thread has its own tile
// buffer and transform scratch. Between batches, on the calling thread only, the check point polls for
// a cancel and reports progress, counted in tiles (the kernel spectrum counts as one). A batch holds
// about kBatchSamples transform samples per thread and at most one band of tiles (or as many tiles
// as threads), so a cancel is seen within tens of milliseconds; the whole-plane transforms this
// replaced ran for seconds between polls. Which thread runs a tile never changes its arithmetic, so
// the result does not depend on the number of threads.
#include "engine/fft_convolution.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>

#include "base/parallel_for.h"
#include "base/row_bands.h"
#include "base/result.h"
#include "base/working_memory.h"
#include "engine/aperture_kernel.h"
#include "engine/methods.h"

namespace aperlume {
namespace {

// The transform's rounding noise, relative to the largest value of the plane it carries: measured at
// most 5e-16 (about two units of the last place of a double) for single points, large white areas
// and random values. A result below this floor, twenty times that, cannot be told from 0 and is
// handed back as 0; so are negative results (ringing), which the inverse gamma would turn into NaN.
// Measured against the whole plane's largest value, never a tile's, so that every tile of a plane
// finds the same floor.
//
// Through the inverse gamma (exponent brightness / 10) the floor is the darkest tone the method can
// tell from black when the plane holds white: 0.0006 8-bit levels at brightness 25, 0.4 at 50 and
// 10.2 at 100 (the noise alone lifted black to 7.5 levels there). The logarithmic correction never
// brings a value near the floor: its values start at 1.
constexpr double kNoiseFloor = 1e-14;

// Transform samples per thread between two check points. A tile costs about 5 ns per sample on one
// core of a 2.6 GHz x86-64 (forward and inverse, with fill and write-back), so a cancel is seen within
// about 40 ms there.
constexpr std::int64_t kBatchSamples = std::int64_t{1} << 23;

// The tiles' working memory across the threads, at most: room for about 30 threads at D 201 (tiles of
// 1024 x 1024), so that a machine of many cores does not crowd a 32-bit address space.
constexpr double kTileThreadBytes = 384.0 * 1024 * 1024;

// Tile sides: measured on one plane of whole tiles, one thread, the time per output pixel is lowest
// from about four to ten times the kernel (the transform grows as S log S per output row, the part of
// a tile that is lost to the kernel shrinks as D / S); beyond, the tile leaves the caches. Within that
// range powers of two ran up to a fifth faster than sides of many threes (810 against 1024 at D 201),
// and five kernels lead to them at D 101 and 201. Below 256 the fixed costs of a tile start to count.
constexpr std::int32_t kKernelsPerSide = 5;
constexpr std::int32_t kShortestSide = 256;

// Progress positions must fit 32 bits; larger counts are reported in coarser steps.
constexpr std::int64_t kLargestPosition = std::int64_t{1} << 30;

// The largest value of a plane (0 when it has none above 0), over the threads: the largest of the
// bands' largest values, which no split changes. Bands of at least 64 K pixels, as ForEachRowBand's.
double LargestValue(const PlaneView& plane, std::int32_t threads) {
    constexpr std::int32_t kBands = 64;
    float largest[kBands] = {};
    const std::int64_t pixels = std::int64_t{plane.width} * plane.height;
    const auto bands = static_cast<std::int32_t>(std::clamp<std::int64_t>(pixels >> 16, 1, std::min(kBands, plane.height)));
    ParallelFor(threads, bands, [&](std::int64_t band) noexcept {
        const auto first = static_cast<std::int32_t>(std::int64_t{plane.height} * band / bands);
        const auto end = static_cast<std::int32_t>(std::int64_t{plane.height} * (band + 1) / bands);
        float value = 0.0f;
        for (std::int32_t y = first; y < end; ++y) {
            const float* row = plane.Row(y);
            for (std::int32_t x = 0; x < plane.width; ++x) value = std::max(value, row[x]);
        }
        largest[band] = value;
    });
    return *std::max_element(largest, largest + kBands);
}

// Samples left .. left + count - 1 of a row of `width`, with clamped coordinates, as doubles.
void FillRow(const float* source, std::int32_t width, std::int32_t left, std::int32_t count, double* out) {
    const std::int32_t before = std::clamp(-left, 0, count);
    const std::int32_t inside = std::clamp(width - left, before, count);
    std::int32_t n = 0;
    for (; n < before; ++n) out[n] = source[0];
    for (; n < inside; ++n) out[n] = source[left + n];
    for (; n < count; ++n) out[n] = source[width - 1];
}

// Spectrum times kernel spectrum, `count` interleaved complex values.
void MultiplySpectra(double* spectrum, const double* kernel, std::size_t count) {
    for (std::size_t k = 0; k < 2 * count; k += 2) {
        const double re = spectrum[k] * kernel[k] - spectrum[k + 1] * kernel[k + 1];
        const double im = spectrum[k] * kernel[k + 1] + spectrum[k + 1] * kernel[k];
        spectrum[k] = re;
        spectrum[k + 1] = im;
    }
}

// The aperture on its own D x D raster, and its total weight summed in double row by row.
struct DrawnAperture {
    Buffer<float> weights;
    double weight = 0.0;
};

bool DrawAperture(const FilterParameters& settings, std::int32_t diameter, DrawnAperture& aperture) {
    aperture.weights = AllocateRaster<float>(diameter, diameter);
    if (!aperture.weights) return false;
    BuildApertureKernel(settings, diameter, diameter, diameter, aperture.weights.get());
    const std::size_t count = static_cast<std::size_t>(diameter) * static_cast<std::size_t>(diameter);
    aperture.weight = 0.0;
    for (std::size_t i = 0; i < count; ++i) aperture.weight += aperture.weights[i];
    return true;
}

// How a plane is cut: tiles of `shape`, each with up to outputRows x outputColumns outputs, `across`
// per band of tiles and `down` bands; tiles are numbered band by band.
struct TileGrid {
    std::int32_t width;
    std::int32_t height;
    std::int32_t diameter;
    std::int32_t reach;  // D / 2
    FftTileShape shape;
    std::int32_t outputRows;
    std::int32_t outputColumns;
    std::int32_t across;
    std::int32_t down;
    std::ptrdiff_t stride;  // doubles per row of a tile buffer

    std::int64_t TilesPerPlane() const { return std::int64_t{across} * down; }
    std::size_t SpectrumValues() const {
        return static_cast<std::size_t>(shape.rows) * static_cast<std::size_t>(shape.columns / 2 + 1);
    }
};

TileGrid MakeGrid(std::int32_t width, std::int32_t height, std::int32_t diameter, FftTileShape shape) {
    TileGrid g{width, height, diameter, diameter / 2, shape, shape.rows - diameter + 1, shape.columns - diameter + 1,
               0, 0, 2 * static_cast<std::ptrdiff_t>(shape.columns / 2 + 1)};
    g.across = (width + g.outputColumns - 1) / g.outputColumns;
    g.down = (height + g.outputRows - 1) / g.outputRows;
    return g;
}

struct Worker {
    Buffer<double> tile;
    Buffer<double> scratch;
};

// The rows of one plane on their way back when the plane has several tiles: the outputs not yet
// copied back, and the input rows just above the first of them.
class PendingRows {
public:
    [[nodiscard]] bool Allocate(const TileGrid& grid, std::int64_t tilesPerBatch) {
        // A batch starts in the first unfinished band and spans at most this many bands.
        const std::int64_t bands = 1 + (grid.across + tilesPerBatch - 2) / grid.across;
        capacity_ = static_cast<std::int32_t>(std::min<std::int64_t>(bands, grid.down)) * grid.outputRows;
        outputs_ = AllocateRaster<float>(grid.width, std::min(capacity_, grid.height));
        inputs_ = AllocateRaster<float>(grid.width, grid.reach);
        width_ = grid.width;
        reach_ = grid.reach;
        return outputs_ && inputs_;
    }

    void Start(const PlaneView& plane) {
        plane_ = &plane;
        copied_ = 0;
    }

    // The input row y as it was, whichever rows have been copied back.
    const float* InputRow(std::int32_t y) const { return y < copied_ ? Slot(inputs_, y % reach_) : plane_->Row(y); }
    float* OutputRow(std::int32_t y) const { return Slot(outputs_, y % capacity_); }

    // Copies back output rows up to `end` (exclusive), keeping the input rows above it that the tiles
    // below still read; each row on its own, so the rows go to the threads.
    void CopyBack(std::int32_t end, std::int32_t threads) {
        if (end <= copied_) return;
        const std::size_t bytes = static_cast<std::size_t>(width_) * sizeof(float);
        const std::int32_t kept = end - reach_;
        ForEachRowBand(threads, width_, end - copied_, [&](std::int32_t first, std::int32_t last) noexcept {
            for (std::int32_t y = copied_ + first; y < copied_ + last; ++y) {
                if (y >= kept) std::memcpy(Slot(inputs_, y % reach_), plane_->Row(y), bytes);
                std::memcpy(plane_->Row(y), OutputRow(y), bytes);
            }
        });
        copied_ = end;
    }

private:
    float* Slot(const Buffer<float>& rows, std::int32_t slot) const {
        return rows.get() + static_cast<std::size_t>(slot) * static_cast<std::size_t>(width_);
    }

    Buffer<float> outputs_;
    Buffer<float> inputs_;
    std::int32_t capacity_ = 0;
    std::int32_t width_ = 0;
    std::int32_t reach_ = 0;
    const PlaneView* plane_ = nullptr;
    std::int32_t copied_ = 0;
};

// Cancel polls and progress reports in tiles, scaled down when the count would not fit 32 bits.
class Progress {
public:
    Progress(CheckPoints& checkPoints, std::int64_t total)
        : checkPoints_(checkPoints), divisor_(total / kLargestPosition + 1), total_(total) {}

    // False when the run is to stop.
    [[nodiscard]] bool Pass(std::int64_t position) {
        if (checkPoints_.Stop()) return false;
        checkPoints_.Progress(static_cast<std::int32_t>(position / divisor_), static_cast<std::int32_t>(total_ / divisor_));
        return true;
    }
    [[nodiscard]] bool End() { return Pass(total_); }

private:
    CheckPoints& checkPoints_;
    std::int64_t divisor_;
    std::int64_t total_;
};

class TiledConvolution {
public:
    TiledConvolution(const TileGrid& grid, std::span<const PlaneView> planes, std::int32_t threads)
        : grid_(grid), planes_(planes), threads_(std::max(threads, 1)) {}

    // Every buffer of the run, before any plane is touched; the kernel spectrum from the aperture.
    [[nodiscard]] Result Prepare(const DrawnAperture& aperture, fft::SimdPath path) {
        if (Result r = fft::RealPlan2d::Create(grid_.shape.rows, grid_.shape.columns, plan_, path); !r.ok()) return r;
        const std::int64_t perThread =
            std::max<std::int64_t>(1, kBatchSamples / (std::int64_t{grid_.shape.rows} * grid_.shape.columns));
        // Each thread's tile, scratch and share of the pending rows grow with the tile: on a machine of
        // many cores the threads that take tiles are limited so that these stay within kTileThreadBytes.
        const double threadBytes = (static_cast<double>(grid_.SpectrumValues()) * 2.0 +
                                    static_cast<double>(plan_.ScratchDoubles())) * sizeof(double) +
                                   static_cast<double>(grid_.outputRows) * grid_.outputColumns * sizeof(float);
        const auto tileThreads = static_cast<std::int64_t>(
            std::clamp(kTileThreadBytes / threadBytes, 1.0, static_cast<double>(threads_)));
        const std::int64_t items = SingleTilePlanes() ? static_cast<std::int64_t>(planes_.size()) : grid_.TilesPerPlane();
        tilesPerBatch_ = std::max<std::int64_t>(1, std::min(tileThreads * perThread, items));
        // Batches larger than a band would keep more rows pending; enough threads may still need them.
        if (!SingleTilePlanes()) tilesPerBatch_ = std::min(tilesPerBatch_, std::max<std::int64_t>(grid_.across, tileThreads));
        const auto workerCount = static_cast<std::size_t>(std::min(tileThreads, tilesPerBatch_));

        kernel_ = AllocateRaster<double>(grid_.stride, grid_.shape.rows);
        if (!kernel_ || !workers_.Allocate(workerCount)) return kOutOfMemory;
        for (std::size_t w = 0; w < workerCount; ++w) {
            workers_[w].tile = AllocateRaster<double>(grid_.stride, grid_.shape.rows);
            workers_[w].scratch = AllocateBuffer<double>(plan_.ScratchDoubles());
            if (!workers_[w].tile || !workers_[w].scratch) return kOutOfMemory;
        }
        if (!SingleTilePlanes() && !pending_.Allocate(grid_, tilesPerBatch_)) return kOutOfMemory;

        // The aperture at the origin, normalised to unit weight and by the inverse transform's factor.
        const double scale = 1.0 / aperture.weight / grid_.shape.rows / grid_.shape.columns;
        const std::int32_t d = grid_.diameter;
        double* spectrum = kernel_.get();
        std::fill_n(spectrum, static_cast<std::size_t>(grid_.stride) * static_cast<std::size_t>(grid_.shape.rows), 0.0);
        for (std::int32_t y = 0; y < d; ++y) {
            const float* weights = aperture.weights.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(d);
            for (std::int32_t x = 0; x < d; ++x) spectrum[y * grid_.stride + x] = weights[x] * scale;
        }
        plan_.Forward(spectrum, grid_.stride, spectrum, grid_.stride, workers_[0].scratch.get());
        return kOk;
    }

    // Every plane, from progress position `position` on.
    [[nodiscard]] bool Run(Progress& progress, std::int64_t position) {
        if (SingleTilePlanes()) {
            const auto planeCount = static_cast<std::int64_t>(planes_.size());
            for (std::int64_t first = 0; first < planeCount; first += tilesPerBatch_) {
                if (!progress.Pass(position + first)) return false;
                const std::int64_t end = std::min(first + tilesPerBatch_, planeCount);
                for (std::int64_t p = first; p < end; ++p)
                    floors_[p] = kNoiseFloor * LargestValue(planes_[static_cast<std::size_t>(p)], threads_);
                RunBatch(first, end, [this](std::int64_t p, Worker& worker) {
                    const PlaneView& plane = planes_[static_cast<std::size_t>(p)];
                    Tile(0, worker, floors_[p], [&](std::int32_t y) { return plane.Row(y); },
                         [&](std::int32_t y) { return plane.Row(y); });
                });
            }
            return true;
        }
        const std::int64_t perPlane = grid_.TilesPerPlane();
        for (const PlaneView& plane : planes_) {
            pending_.Start(plane);
            const double floor = kNoiseFloor * LargestValue(plane, threads_);
            for (std::int64_t first = 0; first < perPlane; first += tilesPerBatch_) {
                if (!progress.Pass(position + first)) return false;
                const std::int64_t end = std::min(first + tilesPerBatch_, perPlane);
                RunBatch(first, end, [this, floor](std::int64_t tile, Worker& worker) {
                    Tile(tile, worker, floor, [this](std::int32_t y) { return pending_.InputRow(y); },
                         [this](std::int32_t y) { return pending_.OutputRow(y); });
                });
                const std::int64_t doneBands = end == perPlane ? grid_.down : end / grid_.across;
                pending_.CopyBack(static_cast<std::int32_t>(std::min<std::int64_t>(doneBands * grid_.outputRows, grid_.height)),
                                  threads_);
            }
            position += perPlane;
        }
        return true;
    }

private:
    bool SingleTilePlanes() const { return grid_.TilesPerPlane() == 1; }

    // Items [first, end) on the workers; every worker takes the next item until none is left.
    template <class Item>
    void RunBatch(std::int64_t first, std::int64_t end, Item item) {
        const std::int64_t workerCount = std::min<std::int64_t>(static_cast<std::int64_t>(workers_.size()), end - first);
        std::atomic<std::int64_t> next{first};
        ParallelFor(static_cast<std::int32_t>(workerCount), workerCount, [&](std::int64_t w) noexcept {
            Worker& worker = workers_[static_cast<std::size_t>(w)];
            for (std::int64_t i = next.fetch_add(1); i < end; i = next.fetch_add(1)) item(i, worker);
        });
    }

    // One tile: filled from InputRow(y), written to OutputRow(y) (image rows, clamped beforehand).
    template <class InputRow, class OutputRow>
    void Tile(std::int64_t index, Worker& worker, double floor, InputRow inputRow, OutputRow outputRow) {
        const auto band = static_cast<std::int32_t>(index / grid_.across);
        const auto column = static_cast<std::int32_t>(index % grid_.across);
        const std::int32_t top = band * grid_.outputRows;
        const std::int32_t left = column * grid_.outputColumns;
        const std::int32_t rows = std::min(grid_.outputRows, grid_.height - top);
        const std::int32_t columns = std::min(grid_.outputColumns, grid_.width - left);
        double* tile = worker.tile.get();
        const std::ptrdiff_t stride = grid_.stride;
        for (std::int32_t m = 0; m < grid_.shape.rows; ++m) {
            const std::int32_t y = std::clamp(top - grid_.reach + m, 0, grid_.height - 1);
            FillRow(inputRow(y), grid_.width, left - grid_.reach, grid_.shape.columns, tile + m * stride);
        }
        plan_.Forward(tile, stride, tile, stride, worker.scratch.get());
        MultiplySpectra(tile, kernel_.get(), grid_.SpectrumValues());
        const std::int32_t first = grid_.diameter - 1;
        plan_.InverseRows(tile, stride, tile, stride, first, rows, worker.scratch.get());
        for (std::int32_t i = 0; i < rows; ++i) {
            const double* from = tile + (first + i) * stride + first;
            float* out = outputRow(top + i) + left;
            for (std::int32_t j = 0; j < columns; ++j) out[j] = from[j] < floor ? 0.0f : static_cast<float>(from[j]);
        }
    }

    const TileGrid grid_;
    std::span<const PlaneView> planes_;
    const std::int32_t threads_;
    fft::RealPlan2d plan_;
    Buffer<double> kernel_;
    OwnedArray<Worker> workers_;
    PendingRows pending_;
    std::int64_t tilesPerBatch_ = 1;
    double floors_[kMaxPlanes] = {};
};

bool ShapeFits(FftTileShape shape, std::int32_t diameter) {
    return shape.rows >= diameter && shape.columns >= diameter && fft::IsGoodLength(shape.rows) &&
           shape.columns % 2 == 0 && fft::IsGoodLength(shape.columns / 2);
}

}  // namespace

FftTileShape ChooseFftTileShape(std::int32_t width, std::int32_t height, std::int32_t diameter) {
    if (width < 1 || height < 1 || diameter < 1 || diameter > fft::kLargestLength) return {};
    const std::int64_t wanted =
        std::min<std::int64_t>(std::max<std::int64_t>(kShortestSide, std::int64_t{kKernelsPerSide} * diameter),
                               fft::kLargestLength);
    // One tile of `size` + D - 1 samples covers a direction of `size`; no transform need be longer.
    auto side = [&](std::int32_t size, auto goodAtLeast) {
        const std::int64_t covering = std::min<std::int64_t>(std::int64_t{size} + diameter - 1, fft::kLargestLength);
        return goodAtLeast(static_cast<std::int32_t>(std::min(wanted, covering)));
    };
    const FftTileShape shape{side(height, fft::GoodLengthAtLeast), side(width, fft::GoodRealLengthAtLeast)};
    return shape.rows == 0 || shape.columns == 0 ? FftTileShape{} : shape;
}

Result FftConvolveInTiles(const RenderJob& job, std::span<const PlaneView> planes, CheckPoints& checkPoints,
                          FftTileShape shape, fft::SimdPath path) {
    if (JobIsEmpty(job)) return kOk;
    if (!PlanesFitJob(job, planes)) return kBadParameters;
    if (!ShapeFits(shape, job.diameter) || !fft::SimdPathAvailable(path)) return kBadParameters;
    const TileGrid grid = MakeGrid(job.width, job.height, job.diameter, shape);
    const std::span<const PlaneView> used = planes.first(static_cast<std::size_t>(job.layout.planeCount));
    Progress progress(checkPoints, 1 + static_cast<std::int64_t>(used.size()) * grid.TilesPerPlane());
    if (!progress.Pass(0)) return kUserCanceled;

    DrawnAperture aperture;
    if (!DrawAperture(job.settings, job.diameter, aperture)) return kOutOfMemory;
    // An aperture without weight (ratio 100 with edge 100, or no vertices) spreads nothing: rather than
    // dividing by zero into planes of NaN, every plane keeps its values.
    if (aperture.weight > 0.0) {
        TiledConvolution convolution(grid, used, job.threads);
        if (Result r = convolution.Prepare(aperture, path); !r.ok()) return r;
        aperture.weights.reset();
        if (!convolution.Run(progress, 1)) return kUserCanceled;
    }
    // The last check point: a cancel here still ends the run with the cancel code.
    return progress.End() ? kOk : kUserCanceled;
}

Result FftConvolve(const RenderJob& job, std::span<const PlaneView> planes, const float* /*depthMap*/,
                   CheckPoints& checkPoints) {
    if (JobIsEmpty(job)) return kOk;
    const FftTileShape shape = ChooseFftTileShape(job.width, job.height, job.diameter);
    // No transform takes a kernel this large: no memory could hold its tiles either.
    if (shape.rows == 0) return kOutOfMemory;
    return FftConvolveInTiles(job, planes, checkPoints, shape, fft::SimdPath::kBest);
}

}  // namespace aperlume
