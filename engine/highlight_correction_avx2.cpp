// The inverse highlight correction on eight lanes of AVX2 (this file alone gets those instruction
// flags, without fused multiply-add, so that its results are the baseline's bit for bit); reached only
// after the processor check.
#define APERLUME_CORRECTION_LANES avx2_lanes
#include "engine/correction_lanes.h"

namespace aperlume::correction::avx2 {

void InverseRow(const InverseConstants& constants, float* row, std::int32_t count) {
    typedef float Float8 __attribute__((vector_size(32)));
    typedef std::int32_t Int8 __attribute__((vector_size(32)));
    avx2_lanes::InverseRow<Float8, Int8>(constants, row, count);
}

}  // namespace aperlume::correction::avx2
