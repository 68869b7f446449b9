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

constinit const RealKernels kAvx2Kernels = avx2::KernelsFor<avx2::BlockLanes>();

}  // namespace detail
}  // namespace aperlume::fft
