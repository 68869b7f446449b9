// The same kernels built for AVX2 with fused multiply-add (this file alone gets those instruction
// flags); reached only after the processor check of SimdPathAvailable.
#define APERLUME_FFT_LANES avx2
#include "fft/lane_kernels.h"

namespace aperlume::fft {
namespace avx2 {

typedef double Double4 __attribute__((vector_size(32)));
using BlockLanes = Lanes<Double4, 1>;
static_assert(BlockLanes::kWidth == detail::kLaneWidth);

}  // namespace avx2

namespace detail {

void ForwardAvx2(const Real2dTables& tables, const double* real, Index realStride, double* spectrum,
                 Index spectrumStride, double* scratch) noexcept {
    avx2::Forward2d<avx2::BlockLanes>(tables, real, realStride, spectrum, spectrumStride, scratch);
}

void InverseAvx2(const Real2dTables& tables, double* spectrum, Index spectrumStride, double* real,
                 Index realStride, std::int32_t firstRow, std::int32_t rowCount, double* scratch) noexcept {
    avx2::Inverse2d<avx2::BlockLanes>(tables, spectrum, spectrumStride, real, realStride, firstRow, rowCount, scratch);
}

}  // namespace detail
}  // namespace aperlume::fft
