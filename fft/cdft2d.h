// The two-dimensional complex FFT: in place, unnormalised, double precision, power-of-two sizes.
//
// Grid: R rows of K complex values, each row 2*K doubles with the real part at index 2*j and the
// imaginary part at 2*j + 1, addressed through a table of R row pointers. R and K are powers of two,
// at least 1 and at most 2^25. ComplexGrid below owns such a grid with all rows in one block.
//
// cdft2d(R, 2*K, sign, rows, scratch, work, twiddles) replaces the grid, in natural order, with
//     X[u][v] = sum over y < R, x < K of s[y][x] * exp(sign*2*pi*i*y*u/R) * exp(sign*2*pi*i*x*v/K)
// for sign +1 (forward: the exponent is positive, so for four points the second output is
// (s0 - s2) + i*(s1 - s3)) or -1 (inverse). Neither direction scales: the inverse of the forward
// transform gives the input multiplied by R*K. Every row is transformed first (K points each), then
// every column (R points each, gathered up to sixteen at a time through the scratch area).
//
// Caller-owned tables, kept across the calls of one run:
// - work: TransformWorkSize(R, K) 32-bit integers. Entry 0 = 0 says that the tables are not built
//   yet; the transform then builds them for max(R, K) points and records that size in entry 0. A later
//   call reuses them when they are at least as large as it needs and rebuilds them only for a larger
//   size, so one run that sets entry 0 to 0 once builds them once.
// - twiddles: TwiddleTableSize(R, K) doubles for the largest size used with this work array.
// - scratch: TransformScratchSize(R, K) doubles, or null; with null the transform obtains the area
//   for the duration of the call.
//
// Result: kNoError; kOutOfMemory when the scratch area cannot be had; kBadParameters when a size is
// not a power of two up to 2^25, the sign is not +1 or -1, or a required pointer is null. On failure
// the grid is untouched. Nothing here ends the process or throws.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "base/working_memory.h"

namespace aperlume {

// Table and scratch sizes for an R x K transform (numbers of elements, not bytes).
[[nodiscard]] std::int32_t TransformWorkSize(std::int32_t rowCount, std::int32_t columnCount) noexcept;
[[nodiscard]] std::int32_t TwiddleTableSize(std::int32_t rowCount, std::int32_t columnCount) noexcept;
[[nodiscard]] std::int32_t TransformScratchSize(std::int32_t rowCount, std::int32_t columnCount) noexcept;

[[nodiscard]] ResultCode cdft2d(std::int32_t rowCount, std::int32_t rowDoubles, std::int32_t sign,
                                double* const* rows, double* scratch, std::int32_t* work,
                                double* twiddles) noexcept;

// Owner of an R x K grid: a table of R row pointers into one contiguous block of R*2*K doubles,
// released together. Move-only; empty (false) when the memory cannot be had or the size overflows.
class ComplexGrid {
public:
    ComplexGrid() = default;

    [[nodiscard]] static ComplexGrid Allocate(std::int32_t rowCount, std::int32_t columnCount) noexcept;

    explicit operator bool() const noexcept { return rowTable_ != nullptr; }
    [[nodiscard]] double* const* Rows() const noexcept { return rowTable_.get(); }
    [[nodiscard]] double* Row(std::int32_t row) const noexcept { return rowTable_[row]; }
    [[nodiscard]] std::int32_t RowCount() const noexcept { return rowCount_; }
    [[nodiscard]] std::int32_t ColumnCount() const noexcept { return columnCount_; }  // complex values

private:
    Buffer<double*> rowTable_;
    Buffer<double> block_;
    std::int32_t rowCount_ = 0;
    std::int32_t columnCount_ = 0;
};

}  // namespace aperlume
