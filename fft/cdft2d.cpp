// The two-dimensional complex FFT: radix-4 decimation in time over radix-2 bit-reversed data, rows
// first, then columns gathered sixteen at a time so that every butterfly works on contiguous memory.
#include "fft/cdft2d.h"

#include <array>
#include <cmath>
#include <cstring>
#include <utility>

namespace aperlume {
namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;
// The largest R and K: the scratch area (32 doubles per row) and the tables must count in 32 bits.
constexpr std::int32_t kMaxSize = std::int32_t{1} << 25;
constexpr std::int32_t kColumnBatch = 16;  // 256 bytes of each row per gather

bool IsPowerOfTwo(std::int32_t n) { return n > 0 && (n & (n - 1)) == 0; }

int Log2(std::int32_t n) {
    int log = 0;
    while ((std::int32_t{1} << log) < n) ++log;
    return log;
}

// The 32 bits of v in reverse order, a byte at a time through a table built at compile time.
constexpr std::array<std::uint8_t, 256> kReversedBytes = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned r = 0;
        for (int k = 0; k < 8; ++k) r |= ((b >> k) & 1u) << (7 - k);
        table[b] = static_cast<std::uint8_t>(r);
    }
    return table;
}();

std::uint32_t ReverseBits(std::uint32_t v) {
    return (static_cast<std::uint32_t>(kReversedBytes[v & 0xffu]) << 24) |
           (static_cast<std::uint32_t>(kReversedBytes[(v >> 8) & 0xffu]) << 16) |
           (static_cast<std::uint32_t>(kReversedBytes[(v >> 16) & 0xffu]) << 8) |
           static_cast<std::uint32_t>(kReversedBytes[v >> 24]);
}

// exp(2*pi*i * j / n) for 0 <= j < n, n a power of two >= 4. Only the first octant is computed with
// cos and sin; the rest follows by exact symmetry, so quarter turns are exactly 0 and +-1 and the
// table does not depend on how a platform's sin and cos behave far from zero.
void UnitRoot(std::int32_t j, std::int32_t n, double& re, double& im) {
    const std::int32_t quarter = n / 4;
    const std::int32_t turns = j / quarter;
    const std::int32_t rest = j % quarter;
    double c = 0.0;
    double s = 0.0;
    if (2 * rest <= quarter) {
        const double angle = kTwoPi * rest / n;
        c = std::cos(angle);
        s = std::sin(angle);
    } else {
        const double angle = kTwoPi * (quarter - rest) / n;
        c = std::sin(angle);
        s = std::cos(angle);
    }
    switch (turns) {
        case 0: re = c; im = s; break;
        case 1: re = -s; im = c; break;
        case 2: re = -c; im = -s; break;
        default: re = s; im = -c; break;
    }
}

// The table holds exp(2*pi*i*j/n) for j < 3n/4: a radix-4 butterfly of length L at offset k needs the
// powers k, 2k and 3k of exp(2*pi*i/L), which lie at indices below 3n/4 after scaling by n/L.
void BuildTwiddles(std::int32_t n, double* table) {
    for (std::int32_t j = 0; j < 3 * (n / 4); ++j) UnitRoot(j, n, table[2 * j], table[2 * j + 1]);
}

// One-dimensional transforms of n points on kBatch interleaved sequences: point p of lane c is the
// complex value at doubles 2*(p*kBatch + c) and 2*(p*kBatch + c) + 1. Lanes let the column pass work
// on whole cache lines of four gathered columns while sharing the twiddle loads.
template <int kBatch, bool kForward>
class LaneTransform {
public:
    LaneTransform(double* data, std::int32_t n, const double* table, std::int32_t tableSize)
        : data_(data), n_(n), table_(table), tableSize_(tableSize) {}

    void Run() {
        BitReverse();
        std::int32_t length = 4;
        if (LogIsOdd()) {
            RadixTwoPass();
            length = 8;
        }
        for (; length <= n_; length *= 4) RadixFourPass(length);
    }

private:
    double* Point(std::int32_t p) const { return data_ + 2 * static_cast<std::ptrdiff_t>(p) * kBatch; }

    bool LogIsOdd() const { return (Log2(n_) & 1) != 0; }

    void BitReverse() {
        const int shift = 32 - Log2(n_);
        for (std::int32_t i = 1; i < n_; ++i) {
            const auto j = static_cast<std::int32_t>(ReverseBits(static_cast<std::uint32_t>(i)) >> shift);
            if (i < j) {
                double* a = Point(i);
                double* b = Point(j);
                for (int d = 0; d < 2 * kBatch; ++d) {
                    const double t = a[d];
                    a[d] = b[d];
                    b[d] = t;
                }
            }
        }
    }

    void RadixTwoPass() {
        for (std::int32_t p = 0; p < n_; p += 2) {
            double* a = Point(p);
            double* b = Point(p + 1);
            for (int d = 0; d < 2 * kBatch; ++d) {
                const double t = a[d];
                a[d] = t + b[d];
                b[d] = t - b[d];
            }
        }
    }

    // Combines four transforms of length/4 points into one of length points. In radix-2 bit-reversed
    // order the four quarter blocks hold the transforms of the samples 4m, 4m + 2, 4m + 1 and 4m + 3.
    void RadixFourPass(std::int32_t length) {
        const std::int32_t quarter = length / 4;
        const std::int32_t step = tableSize_ / length;
        for (std::int32_t block = 0; block < n_; block += length) {
            for (std::int32_t k = 0; k < quarter; ++k) {
                double* p0 = Point(block + k);
                double* p1 = Point(block + quarter + k);
                double* p2 = Point(block + 2 * quarter + k);
                double* p3 = Point(block + 3 * quarter + k);
                if (k == 0) {
                    Butterfly(p0, p1, p2, p3, 1.0, 0.0, 1.0, 0.0, 1.0, 0.0);
                    continue;
                }
                const double* w1 = table_ + 2 * static_cast<std::ptrdiff_t>(k) * step;
                const double* w2 = table_ + 4 * static_cast<std::ptrdiff_t>(k) * step;
                const double* w3 = table_ + 6 * static_cast<std::ptrdiff_t>(k) * step;
                const double conj = kForward ? 1.0 : -1.0;
                Butterfly(p0, p1, p2, p3, w1[0], conj * w1[1], w2[0], conj * w2[1], w3[0], conj * w3[1]);
            }
        }
    }

    static void Butterfly(double* p0, double* p1, double* p2, double* p3, double w1r, double w1i, double w2r,
                          double w2i, double w3r, double w3i) {
        for (int c = 0; c < kBatch; ++c) {
            const int re = 2 * c;
            const int im = re + 1;
            // a1 = w^k F1 (in the third block), a2 = w^2k F2 (second block), a3 = w^3k F3 (fourth).
            const double a0r = p0[re];
            const double a0i = p0[im];
            const double a2r = w2r * p1[re] - w2i * p1[im];
            const double a2i = w2r * p1[im] + w2i * p1[re];
            const double a1r = w1r * p2[re] - w1i * p2[im];
            const double a1i = w1r * p2[im] + w1i * p2[re];
            const double a3r = w3r * p3[re] - w3i * p3[im];
            const double a3i = w3r * p3[im] + w3i * p3[re];
            const double sumEvenR = a0r + a2r;
            const double sumEvenI = a0i + a2i;
            const double diffEvenR = a0r - a2r;
            const double diffEvenI = a0i - a2i;
            const double sumOddR = a1r + a3r;
            const double sumOddI = a1i + a3i;
            // (a1 - a3) turned by a quarter in the transform's direction: i*z forward, -i*z inverse.
            const double turnedR = kForward ? -(a1i - a3i) : (a1i - a3i);
            const double turnedI = kForward ? (a1r - a3r) : -(a1r - a3r);
            p0[re] = sumEvenR + sumOddR;
            p0[im] = sumEvenI + sumOddI;
            p2[re] = sumEvenR - sumOddR;
            p2[im] = sumEvenI - sumOddI;
            p1[re] = diffEvenR + turnedR;
            p1[im] = diffEvenI + turnedI;
            p3[re] = diffEvenR - turnedR;
            p3[im] = diffEvenI - turnedI;
        }
    }

    double* data_;
    std::int32_t n_;
    const double* table_;
    std::int32_t tableSize_;
};

template <int kBatch>
void TransformLanes(double* data, std::int32_t n, bool forward, const double* table, std::int32_t tableSize) {
    if (forward) {
        LaneTransform<kBatch, true>(data, n, table, tableSize).Run();
    } else {
        LaneTransform<kBatch, false>(data, n, table, tableSize).Run();
    }
}

void TransformColumns(std::int32_t rowCount, std::int32_t columnCount, bool forward, double* const* rows,
                      double* scratch, const double* table, std::int32_t tableSize) {
    const std::int32_t batch = columnCount < kColumnBatch ? columnCount : kColumnBatch;
    const std::size_t rowBytes = sizeof(double) * 2 * static_cast<std::size_t>(batch);
    for (std::int32_t column = 0; column < columnCount; column += batch) {
        for (std::int32_t y = 0; y < rowCount; ++y)
            std::memcpy(scratch + 2 * static_cast<std::ptrdiff_t>(y) * batch, rows[y] + 2 * column, rowBytes);
        switch (batch) {
            case 1: TransformLanes<1>(scratch, rowCount, forward, table, tableSize); break;
            case 2: TransformLanes<2>(scratch, rowCount, forward, table, tableSize); break;
            case 4: TransformLanes<4>(scratch, rowCount, forward, table, tableSize); break;
            case 8: TransformLanes<8>(scratch, rowCount, forward, table, tableSize); break;
            default: TransformLanes<kColumnBatch>(scratch, rowCount, forward, table, tableSize); break;
        }
        for (std::int32_t y = 0; y < rowCount; ++y)
            std::memcpy(rows[y] + 2 * column, scratch + 2 * static_cast<std::ptrdiff_t>(y) * batch, rowBytes);
    }
}

bool ValidSizes(std::int32_t rowCount, std::int32_t columnCount) {
    return IsPowerOfTwo(rowCount) && IsPowerOfTwo(columnCount) && rowCount <= kMaxSize && columnCount <= kMaxSize;
}

std::int32_t Larger(std::int32_t a, std::int32_t b) { return a > b ? a : b; }

}  // namespace

std::int32_t TransformWorkSize(std::int32_t rowCount, std::int32_t columnCount) noexcept {
    const double n = static_cast<double>(Larger(columnCount, rowCount / 2));
    return 2 + static_cast<std::int32_t>(std::sqrt(n + 0.5));
}

std::int32_t TwiddleTableSize(std::int32_t rowCount, std::int32_t columnCount) noexcept {
    return static_cast<std::int32_t>(3 * static_cast<std::int64_t>(Larger(rowCount, columnCount)) / 2);
}

std::int32_t TransformScratchSize(std::int32_t rowCount, std::int32_t columnCount) noexcept {
    const std::int32_t batch = columnCount < kColumnBatch ? columnCount : kColumnBatch;
    return static_cast<std::int32_t>(2 * static_cast<std::int64_t>(batch) * rowCount);
}

ResultCode cdft2d(std::int32_t rowCount, std::int32_t rowDoubles, std::int32_t sign, double* const* rows,
                  double* scratch, std::int32_t* work, double* twiddles) noexcept {
    if (rowDoubles < 2 || rowDoubles % 2 != 0) return kBadParameters;
    const std::int32_t columnCount = rowDoubles / 2;
    if (!ValidSizes(rowCount, columnCount) || (sign != 1 && sign != -1)) return kBadParameters;
    if (rows == nullptr || work == nullptr || twiddles == nullptr) return kBadParameters;

    Buffer<double> ownScratch;
    if (scratch == nullptr) {
        ownScratch = AllocateBuffer<double>(static_cast<std::size_t>(TransformScratchSize(rowCount, columnCount)));
        if (!ownScratch) return kOutOfMemory;
        scratch = ownScratch.get();
    }

    // Below four points no butterfly needs a twiddle factor, so no table is built or read.
    const std::int32_t needed = Larger(rowCount, columnCount);
    if (needed >= 4 && !(IsPowerOfTwo(work[0]) && work[0] >= needed)) {
        BuildTwiddles(needed, twiddles);
        work[0] = needed;
    }
    const std::int32_t tableSize = needed >= 4 ? work[0] : 4;

    const bool forward = sign > 0;
    for (std::int32_t y = 0; y < rowCount; ++y) TransformLanes<1>(rows[y], columnCount, forward, twiddles, tableSize);
    if (rowCount > 1) TransformColumns(rowCount, columnCount, forward, rows, scratch, twiddles, tableSize);
    return kNoError;
}

ComplexGrid ComplexGrid::Allocate(std::int32_t rowCount, std::int32_t columnCount) noexcept {
    ComplexGrid grid;
    if (rowCount <= 0 || columnCount <= 0) return grid;
    Buffer<double> block = AllocateRaster<double>(2 * static_cast<std::int64_t>(columnCount), rowCount);
    if (!block) return grid;
    Buffer<double*> table = AllocateBuffer<double*>(static_cast<std::size_t>(rowCount));
    if (!table) return grid;
    const std::size_t rowDoubles = 2 * static_cast<std::size_t>(columnCount);
    for (std::int32_t y = 0; y < rowCount; ++y) table[y] = block.get() + rowDoubles * static_cast<std::size_t>(y);
    grid.rowTable_ = std::move(table);
    grid.block_ = std::move(block);
    grid.rowCount_ = rowCount;
    grid.columnCount_ = columnCount;
    return grid;
}

}  // namespace aperlume
