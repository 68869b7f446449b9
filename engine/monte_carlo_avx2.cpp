// The Monte Carlo method's fast loop built for AVX2 (this file alone gets those flags, without fused
// multiply-add, so that every sum keeps the baseline's bits); reached only after the processor check of
// RunSamplersFor.
#define APERLUME_MC_LOOPS avx2
#define APERLUME_MC_LANES 8
#include "engine/monte_carlo_estimator.h"
#include "engine/monte_carlo_run_sampling.h"

namespace aperlume::montecarlo {

constinit const RunSamplers kAvx2RunSamplers = avx2::MakeRunSamplers();

}  // namespace aperlume::montecarlo
