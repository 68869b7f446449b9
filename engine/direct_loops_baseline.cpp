// The direct method's loops for every x86 processor (SSE2), and the choice among the builds.
#define APERLUME_DIRECT_LOOPS baseline
#define APERLUME_DIRECT_DOUBLES 2
#include "engine/direct_loop_bodies.h"

namespace aperlume::direct {

constinit const Loops kBaselineLoops = {&baseline::Gather, &baseline::AddScaled, &baseline::Means};

const Loops& LoopsFor(fft::SimdPath path) {
    if (path != fft::SimdPath::kBaseline && fft::SimdPathAvailable(fft::SimdPath::kAvx2)) return kAvx2Loops;
    return kBaselineLoops;
}

}  // namespace aperlume::direct
