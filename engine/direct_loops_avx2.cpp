// The direct method's loops built for AVX2 with fused multiply-add (this file alone gets those flags);
// reached only after the processor check of LoopsFor.
#define APERLUME_DIRECT_LOOPS avx2
#define APERLUME_DIRECT_DOUBLES 4
#include "engine/direct_loop_bodies.h"

namespace aperlume::direct {

constinit const Loops kAvx2Loops = {&avx2::Gather, &avx2::AddScaled, &avx2::Means};

}  // namespace aperlume::direct
