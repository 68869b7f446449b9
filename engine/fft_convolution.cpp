// The FFT convolution method: every plane, padded to powers of two by replicating its edges, is
// multiplied in the frequency domain by the spectrum of the aperture normalised to unit weight, so the
// cost follows the padded image size and not the number of kernel samples.
//
// The aperture is drawn once on its own D x D raster, exactly as the direct method draws it, and placed
// centred into the padded kernel grid with zeros all round. Drawn on the large grid itself, a shape
// whose fill seed lies outside a tiny outline would flood the whole grid instead of its own square, and
// soft edges would be sampled at another sub-pixel phase than the raster the weight is measured on.
//
// Memory is dominated by the two M x N complex grids (32 bytes per padded pixel); the D x D raster
// (and with soft edges its canvas, nine times that while it is drawn) is small beside them.
#include "engine/fft_convolution.h"

#include <algorithm>
#include <cstddef>

#include "base/result.h"
#include "base/working_memory.h"
#include "engine/aperture_kernel.h"
#include "engine/methods.h"
#include "fft/cdft2d.h"

namespace aperlume {
namespace {

constexpr std::int32_t kRowsPerPoll = 100;
// Beyond this many samples per direction the progress positions (M * 58 at most) would leave 32 bits;
// no address space holds such grids anyway.
constexpr std::int64_t kLargestPaddedSize = std::int64_t{1} << 24;

// The transform's rounding noise, relative to the largest value of the plane it carries: measured at
// most 5e-16 (about two units of the last place of a double), from 28 x 20 up to 4096 x 4096 padded
// grids, for single points, large white areas and random values. A result below this floor, twenty
// times that, cannot be told from 0 and is handed back as 0; so are negative results (ringing), which
// the inverse gamma would turn into NaN. Measured against the whole plane's largest value, never a
// part of it, so that any split of the work finds the same floor.
//
// Through the inverse gamma (exponent brightness / 10) the floor is the darkest tone the method can
// tell from black when the plane holds white: 0.0006 8-bit levels at brightness 25, 0.4 at 50 and
// 10.2 at 100 (the noise alone lifted black to 7.5 levels there). The logarithmic correction never
// brings a value near the floor: its values start at 1.
constexpr double kNoiseFloor = 1e-14;

// The largest value of a plane (0 when it has none above 0).
double LargestValue(const PlaneView& plane) {
    float largest = 0.0f;
    for (std::int32_t y = 0; y < plane.height; ++y) {
        const float* row = plane.Row(y);
        for (std::int32_t x = 0; x < plane.width; ++x) largest = std::max(largest, row[x]);
    }
    return largest;
}

// The cancel poll of every checkpoint, followed by the progress report when it is enabled.
//
// A row pass moves the position by 100 per checkpoint whatever the number of rows, so on grids of up to
// 128 rows a plane's passes would run past the plane's share of the total (and the last plane past the
// total itself). Reports are therefore capped at the end of the current stage's share.
class Checkpoints {
public:
    Checkpoints(CheckPoints& checkPoints, std::int32_t total)
        : checkPoints_(checkPoints), total_(total), ceiling_(total) {}

    void SetCeiling(std::int32_t ceiling) { ceiling_ = ceiling; }

    // False when the run is to stop.
    [[nodiscard]] bool Pass(std::int32_t position) {
        if (checkPoints_.Stop()) return false;
        checkPoints_.Progress(std::min(position, ceiling_), total_);
        return true;
    }

    // A pass over the grid's rows that polls at every hundredth row, moving the position by 100 each time.
    template <class RowStep>
    [[nodiscard]] bool Rows(std::int32_t rowCount, std::int32_t& position, RowStep step) {
        for (std::int32_t l = 0; l < rowCount; ++l) {
            if (l % kRowsPerPoll == 0) {
                position += kRowsPerPoll;
                if (!Pass(position)) return false;
            }
            step(l);
        }
        return true;
    }

private:
    CheckPoints& checkPoints_;
    std::int32_t total_;
    std::int32_t ceiling_;
};

// Source index of padded position `padded` in a direction of `size` samples: the first half of the
// padding repeats the last sample, the second half (which the circular transform puts just before
// sample 0) the first.
std::int32_t EdgeSource(std::int32_t padded, std::int32_t size, std::int32_t split) {
    if (padded < size) return padded;
    return padded < split ? size - 1 : 0;
}

// The aperture on its own D x D raster, and its total weight summed in double row by row.
struct DrawnAperture {
    Buffer<float> weights;
    std::int32_t diameter = 0;
    double weight = 0.0;
};

bool DrawAperture(const FilterParameters& settings, std::int32_t diameter, DrawnAperture& aperture) {
    aperture.weights = AllocateRaster<float>(diameter, diameter);
    if (!aperture.weights) return false;
    aperture.diameter = diameter;
    BuildApertureKernel(settings, diameter, diameter, diameter, aperture.weights.get());
    const std::size_t count = static_cast<std::size_t>(diameter) * static_cast<std::size_t>(diameter);
    aperture.weight = 0.0;
    for (std::size_t i = 0; i < count; ++i) aperture.weight += aperture.weights[i];
    return true;
}

class Convolution {
public:
    Convolution(std::int32_t width, std::int32_t height, std::int32_t paddedWidth, std::int32_t paddedHeight,
                Checkpoints& checkpoints)
        : width_(width), height_(height), n_(paddedWidth), m_(paddedHeight),
          columnSplit_(width + (paddedWidth - width) / 2), rowSplit_(height + (paddedHeight - height) / 2),
          checkpoints_(checkpoints) {}

    // Takes the tables and the kernel spectrum: the aperture normalised to unit weight and transformed.
    [[nodiscard]] Result PrepareKernel(const DrawnAperture& aperture) {
        kernel_ = ComplexGrid::Allocate(m_, n_);
        scratch_ = AllocateBuffer<double>(static_cast<std::size_t>(TransformScratchSize(m_, n_)));
        work_ = AllocateBuffer<std::int32_t>(static_cast<std::size_t>(TransformWorkSize(m_, n_)));
        twiddles_ = AllocateBuffer<double>(static_cast<std::size_t>(TwiddleTableSize(m_, n_)));
        if (!kernel_ || !scratch_ || !work_ || !twiddles_) return kOutOfMemory;
        work_[0] = 0;

        // The aperture's centre goes to (N/2, M/2); SwapQuadrants undoes that shift later.
        const double scale = 1.0 / aperture.weight;
        const std::int32_t d = aperture.diameter;
        const std::int32_t top = m_ / 2 - d / 2;
        const std::int32_t left = n_ / 2 - d / 2;
        std::int32_t position = -kRowsPerPoll;
        const bool filled = checkpoints_.Rows(m_, position, [&](std::int32_t l) {
            double* row = kernel_.Row(l);
            std::fill_n(row, 2 * static_cast<std::size_t>(n_), 0.0);
            if (l < top || l >= top + d) return;
            const float* samples =
                aperture.weights.get() + static_cast<std::size_t>(l - top) * static_cast<std::size_t>(d);
            for (std::int32_t k = 0; k < d; ++k) row[2 * (left + k)] = samples[k] * scale;
        });
        if (!filled) return kUserCanceled;

        image_ = ComplexGrid::Allocate(m_, n_);
        if (!image_) return kOutOfMemory;
        if (Result r = Transform(kernel_, 1); !r.ok()) return r;
        return checkpoints_.Pass(2 * m_) ? kOk : kUserCanceled;
    }

    [[nodiscard]] Result FilterPlane(const PlaneView& plane, std::int32_t p) {
        const double noiseFloor = kNoiseFloor * LargestValue(plane);
        std::int32_t position = m_ * (7 * p + 2);
        checkpoints_.SetCeiling(m_ * (7 * p + 9));
        const bool filled = checkpoints_.Rows(m_, position, [&](std::int32_t l) {
            const float* source = plane.Row(EdgeSource(l, height_, rowSplit_));
            double* row = image_.Row(l);
            for (std::int32_t k = 0; k < n_; ++k) {
                row[2 * k] = source[EdgeSource(k, width_, columnSplit_)];
                row[2 * k + 1] = 0.0;
            }
        });
        if (!filled) return kUserCanceled;
        if (Result r = Transform(image_, 1); !r.ok()) return r;
        if (!checkpoints_.Pass(position += m_)) return kUserCanceled;

        const bool multiplied = checkpoints_.Rows(m_, position, [&](std::int32_t l) {
            double* a = image_.Row(l);
            const double* b = kernel_.Row(l);
            for (std::int32_t k = 0; k < 2 * n_; k += 2) {
                const double re = a[k] * b[k] - a[k + 1] * b[k + 1];
                const double im = a[k] * b[k + 1] + a[k + 1] * b[k];
                a[k] = re;
                a[k + 1] = im;
            }
        });
        if (!multiplied) return kUserCanceled;
        if (Result r = Transform(image_, -1); !r.ok()) return r;
        if (!checkpoints_.Pass(position += m_)) return kUserCanceled;

        SwapQuadrants(n_, m_, image_.Rows());
        if (!checkpoints_.Pass(position += m_)) return kUserCanceled;

        // Only the image's own samples go back; the padding is dropped.
        const bool written = checkpoints_.Rows(m_, position, [&](std::int32_t l) {
            if (l >= height_) return;
            const double* row = image_.Row(l);
            float* out = plane.Row(l);
            for (std::int32_t k = 0; k < width_; ++k) {
                const double value = row[2 * k] / n_ / m_;
                out[k] = value < noiseFloor ? 0.0f : static_cast<float>(value);
            }
        });
        return written ? kOk : kUserCanceled;
    }

private:
    Result Transform(const ComplexGrid& grid, std::int32_t sign) {
        return cdft2d(m_, 2 * n_, sign, grid.Rows(), scratch_.get(), work_.get(), twiddles_.get());
    }

    std::int32_t width_;
    std::int32_t height_;
    std::int32_t n_;
    std::int32_t m_;
    std::int32_t columnSplit_;
    std::int32_t rowSplit_;
    Checkpoints& checkpoints_;
    ComplexGrid kernel_;
    ComplexGrid image_;
    Buffer<double> scratch_;
    Buffer<std::int32_t> work_;
    Buffer<double> twiddles_;
};

}  // namespace

std::int64_t PaddedSize(std::int64_t needed) {
    std::int64_t size = 1;
    while (size < needed) size *= 2;
    return size;
}

void SwapQuadrants(std::int32_t columnCount, std::int32_t rowCount, double* const* rows) {
    const std::int32_t half = rowCount / 2;
    const std::size_t halfRow = static_cast<std::size_t>(columnCount);  // N/2 complex values = N doubles
    for (std::int32_t i = 0; i < half; ++i) {
        double* upper = rows[i];
        double* lower = rows[i + half];
        std::swap_ranges(upper, upper + halfRow, lower + halfRow);
        std::swap_ranges(upper + halfRow, upper + 2 * halfRow, lower);
    }
}

Result FftConvolve(const RenderJob& job, std::span<const PlaneView> planes, const float* /*depthMap*/,
                   CheckPoints& checkPoints) {
    const std::int32_t width = job.width;
    const std::int32_t height = job.height;
    const std::int32_t diameter = job.diameter;
    if (JobIsEmpty(job)) return kOk;
    if (!PlanesFitJob(job, planes)) return kBadParameters;

    const std::int64_t paddedWidth = PaddedSize(std::int64_t{width} + 2 * std::int64_t{diameter});
    const std::int64_t paddedHeight = PaddedSize(std::int64_t{height} + 2 * std::int64_t{diameter});
    // Both grids must fit the address space together (size_t is 32 bits in the 32-bit module).
    std::size_t gridBytes = 0;
    if (paddedWidth > kLargestPaddedSize || paddedHeight > kLargestPaddedSize ||
        !CheckedMultiply(static_cast<std::size_t>(paddedWidth), static_cast<std::size_t>(paddedHeight),
                         2 * sizeof(double), gridBytes) ||
        gridBytes > SIZE_MAX / 2)
        return kOutOfMemory;
    const auto n = static_cast<std::int32_t>(paddedWidth);
    const auto m = static_cast<std::int32_t>(paddedHeight);
    const std::int32_t planeCount = job.layout.planeCount;
    const std::int32_t total = m * (7 * planeCount + 2);
    Checkpoints checkpoints(checkPoints, total);

    DrawnAperture aperture;
    if (!DrawAperture(job.settings, diameter, aperture)) return kOutOfMemory;
    // An aperture without weight (ratio 100 with edge 100, or no vertices) spreads nothing: rather than
    // dividing by zero into planes of NaN, every plane keeps its values.
    if (aperture.weight > 0.0) {
        Convolution convolution(width, height, n, m, checkpoints);
        if (Result r = convolution.PrepareKernel(aperture); !r.ok()) return r;
        aperture.weights.reset();
        for (std::int32_t p = 0; p < planeCount; ++p) {
            if (Result r = convolution.FilterPlane(planes[static_cast<std::size_t>(p)], p); !r.ok()) return r;
        }
    }
    // The last checkpoint: a cancel here still ends the run with the cancel code.
    checkpoints.SetCeiling(total);
    return checkpoints.Pass(total) ? kOk : kUserCanceled;
}

}  // namespace aperlume
