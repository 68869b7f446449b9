// What the plans and the per-processor kernel files share: the kernel entry points of each path and
// the alignment the kernels give their scratch area.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/fft.h"

// The 32-bit Windows stack is only 4-byte aligned when a host built elsewhere calls in; vector spills
// need 16, so every entry that reaches vector code realigns it there.
#if defined(__i386__)
#define APERLUME_FFT_ENTRY __attribute__((force_align_arg_pointer))
#else
#define APERLUME_FFT_ENTRY
#endif

namespace aperlume::fft::detail {

using Index = std::ptrdiff_t;

// Complex values per lane block of the two-dimensional kernels (columns or rows handled together).
inline constexpr Index kLaneWidth = 4;
// The kernels round their scratch pointer up to this many bytes; ScratchDoubles leaves room for it.
inline constexpr std::size_t kScratchAlignment = 64;

// exp(+2*pi*i*j/n) to within an ulp, exact at quarter turns.
void UnitRoot(std::int64_t j, std::int64_t n, double& cosine, double& sine) noexcept;

struct Real2dTables {
    const Factorization* rowCore;
    const Factorization* columnCore;
    const double* rowTwiddles;     // rowCore's table
    const double* columnTwiddles;  // columnCore's table
    const double* realTwiddles;
};

// The two-dimensional kernels of one processor path.
struct RealKernels {
    void (*forward)(const Real2dTables& tables, const double* real, Index realStride, double* spectrum,
                    Index spectrumStride, double* scratch) noexcept;
    void (*inverse)(const Real2dTables& tables, double* spectrum, Index spectrumStride, double* real,
                    Index realStride, Index firstRow, Index rowCount, double* scratch) noexcept;
};
extern const RealKernels kBaselineKernels;
extern const RealKernels kAvx2Kernels;  // only where SimdPathAvailable(SimdPath::kAvx2)

// The one-dimensional transform on interleaved data; scratch holds 2 * length doubles.
void ComplexTransform(const Factorization& core, bool inverse, double* data, double* scratch) noexcept;

}  // namespace aperlume::fft::detail
