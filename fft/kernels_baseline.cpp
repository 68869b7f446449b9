// The kernels every build runs: SSE2 pairs of doubles, four complex values per lane block, and the
// scalar interleaved form of the one-dimensional plan.
#define APERLUME_FFT_LANES baseline
#include "fft/lane_kernels.h"

namespace aperlume::fft {
namespace baseline {

typedef double Double2 __attribute__((vector_size(16)));
using BlockLanes = Lanes<Double2, 2>;
using ScalarLanes = Lanes<double, 1>;
static_assert(BlockLanes::kWidth == detail::kLaneWidth);

}  // namespace baseline

namespace detail {

constinit const RealKernels kBaselineKernels = baseline::KernelsFor<baseline::BlockLanes>();

void ComplexTransform(const Factorization& core, bool inverse, double* data, double* scratch) noexcept {
    using baseline::ScalarLanes;
    const double* table = core.twiddles.get();
    const double* result = inverse ? baseline::Transform<ScalarLanes, true>(core, table, data, scratch)
                                   : baseline::Transform<ScalarLanes, false>(core, table, data, scratch);
    if (result != data) std::memcpy(data, result, 2 * static_cast<std::size_t>(core.length) * sizeof(double));
}

}  // namespace detail
}  // namespace aperlume::fft
