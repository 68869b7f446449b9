// The body of the Monte Carlo method's fast loop (engine/monte_carlo_rows.h), written once and built by
// each file that includes it with its own instruction-set flags: the including file defines
// APERLUME_MC_LOOPS (this copy's namespace, the one its estimator was built in) and APERLUME_MC_LANES,
// the 32-bit lanes of one of its vector registers.
//
// The generator is linear, so the state n draws ahead is one multiply-add away (kJump): a block's draws
// are independent of one another, and the rows of the next block are computed before the samples of
// this one are summed, so that their memory reads are under way while the sums wait on each other.
// The next block's rows are the same whether the pixel goes on or ends there (they follow the same
// state); only the columns differ, and they are added when the block is used.
//
// Nothing here may instantiate a standard-library inline function (builtins only).
#if !defined(APERLUME_MC_LOOPS) || !defined(APERLUME_MC_LANES)
#error "define APERLUME_MC_LOOPS (this copy's namespace) and APERLUME_MC_LANES (its register width)"
#endif

#include <cstdint>

#include "engine/monte_carlo.h"
#include "engine/monte_carlo_rows.h"

namespace aperlume::montecarlo::APERLUME_MC_LOOPS {

constexpr std::int32_t kCheckPeriod = 20;
constexpr std::int32_t kPeriodicChecksEnd = 100;  // after this sample every sample is checked
static_assert(kPeriodicChecksEnd % kCheckPeriod == 0 && kCheckPeriod <= kDrawBlock);

// The generator n draws ahead: state_n = a[n] * state + c[n] (mod 2^32), n = 0..kDrawBlock; padded for
// vector loads.
struct JumpTable {
    alignas(32) std::uint32_t a[kDrawBlock + 8];
    alignas(32) std::uint32_t c[kDrawBlock + 8];
};
constexpr JumpTable MakeJumpTable() {
    JumpTable table{};
    std::uint32_t a = 1;
    std::uint32_t c = 0;
    for (std::int32_t n = 0; n <= kDrawBlock; ++n) {
        table.a[n] = a;
        table.c[n] = c;
        a *= 214013u;
        c = c * 214013u + 2531011u;
    }
    return table;
}
constexpr JumpTable kJump = MakeJumpTable();

inline std::uint32_t Advance(std::uint32_t state, std::int32_t draws) {
    return kJump.a[draws] * state + kJump.c[draws];
}

// Where the samples of one block land: byte offsets from the window's origin, kernel element offsets
// from the kernel's end (0 or negative).
struct SampleOffsets {
    alignas(32) std::int32_t pixel[kDrawBlock];
    alignas(32) std::int32_t kernel[kDrawBlock];
};

// Where kDrawBlock draws land, a register of lanes at a time. A row is (h + (h >> 15) + 1) >> 15 with
// h = draw * span + 16383 (engine/monte_carlo_rows.h); offsets wrap in unsigned arithmetic and are
// stored as their signed values (the kernel's are negative).
struct DrawBlock {
    static constexpr std::int32_t kLanes = APERLUME_MC_LANES;
    typedef std::uint32_t Lanes __attribute__((vector_size(4 * kLanes)));
    static constexpr std::int32_t kVectors = kDrawBlock / kLanes;
    static_assert(kDrawBlock % kLanes == 0);

    struct Rows {
        Lanes pixel[kVectors];   // row * rowBytes
        Lanes kernel[kVectors];  // -row * D
    };

    static Lanes LoadLanes(const void* from) {
        Lanes lanes;
        __builtin_memcpy(&lanes, from, sizeof lanes);
        return lanes;
    }

    static void Compute(std::uint32_t state, const FullWindows& windows, Rows& rows) {
        const Lanes generator = Lanes{} + state;
        const auto span = static_cast<std::uint32_t>(windows.diameter - 1);
        const auto rowBytes = static_cast<std::uint32_t>(windows.rowBytes);
        const std::uint32_t kernelRow = 0u - static_cast<std::uint32_t>(windows.diameter);
        for (std::int32_t v = 0; v < kVectors; ++v) {
            const Lanes drawn = LoadLanes(kJump.a + 1 + kLanes * v) * generator + LoadLanes(kJump.c + 1 + kLanes * v);
            const Lanes draw = (drawn << 1) >> 17;  // bits 16..30
            const Lanes h = draw * span + 16383u;
            const Lanes row = (h + (h >> 15) + 1u) >> 15;
            rows.pixel[v] = row * rowBytes;
            rows.kernel[v] = row * kernelRow;
        }
    }

    static void Place(const Rows& rows, const FullWindows& windows, std::int32_t k, SampleOffsets& at) {
        for (std::int32_t v = 0; v < kVectors; ++v) {
            const Lanes pixel = rows.pixel[v] + LoadLanes(windows.columnBytes + k + 1 + kLanes * v);
            const Lanes kernel = rows.kernel[v] + LoadLanes(windows.columnKernel + k + 1 + kLanes * v);
            __builtin_memcpy(at.pixel + kLanes * v, &pixel, sizeof pixel);
            __builtin_memcpy(at.kernel + kLanes * v, &kernel, sizeof kernel);
        }
    }
};

// Draws samples into `estimator` until it has settled twice or the bound is reached; returns the number
// drawn. `state` is the generator's state, advanced past the pixel's last draw; `rows` holds the rows of
// the draws after `state` where `rowsAhead` says so, and is left so for the next pixel.
template <class Estimator>
std::int32_t SampleWindow(Estimator& estimator, const FullWindows& windows, const char* origin, std::uint32_t& state,
                          DrawBlock::Rows& rows, bool& rowsAhead) {
    std::uint32_t blockState = state;
    if (!rowsAhead) DrawBlock::Compute(blockState, windows, rows);
    SampleOffsets at;
    const auto draw = [&](std::int32_t n) {
        WorkPixel source;
        __builtin_memcpy(&source, origin + at.pixel[n], sizeof source);
        estimator.Add(windows.kernelEnd[at.kernel[n]], windows.wideKernelEnd[at.kernel[n]], source);
    };
    // Checks at every kCheckPeriod-th sample up to kPeriodicChecksEnd, then at every sample. The settled
    // count is never reset: the second settled check ends the pixel, consecutive or not.
    std::int32_t settled = 0;
    std::int32_t k = 0;
    while (k < kPeriodicChecksEnd) {
        DrawBlock::Place(rows, windows, k, at);
        blockState = Advance(blockState, kCheckPeriod);
        DrawBlock::Compute(blockState, windows, rows);
        // Not unrolled: the compiler would then load all of a block's offsets first and spill them.
#pragma GCC unroll 1
        for (std::int32_t n = 0; n < kCheckPeriod; ++n) draw(n);
        k += kCheckPeriod;
        if (estimator.CanCheck() && estimator.Check() && ++settled > 1) {
            state = blockState;
            rowsAhead = true;
            return k;
        }
    }
    while (k < kMaxSamplesPerPixel) {
        DrawBlock::Place(rows, windows, k, at);
        const std::int32_t count = kMaxSamplesPerPixel - k < kDrawBlock ? kMaxSamplesPerPixel - k : kDrawBlock;
        const std::uint32_t first = blockState;
        blockState = Advance(blockState, count);
        DrawBlock::Compute(blockState, windows, rows);
        for (std::int32_t n = 0; n < count; ++n) {
            draw(n);
            ++k;
            if (estimator.CanCheck() && estimator.Check() && ++settled > 1) {
                state = Advance(first, n + 1);
                rowsAhead = n + 1 == count;
                return k;
            }
        }
    }
    state = blockState;
    rowsAhead = true;
    return k;
}

template <class Estimator>
std::uint32_t SampleRow(const FullWindows& windows, const InteriorRow& row, std::uint32_t state) {
    DrawBlock::Rows rows;
    bool rowsAhead = false;
    for (std::int32_t p = 0; p < row.count; ++p) {
        Estimator estimator;
        SampleWindow<Estimator>(estimator, windows, reinterpret_cast<const char*>(row.window + p), state, rows,
                                       rowsAhead);
        const WorkPixel value = estimator.Result(row.own[p]);
        for (std::int32_t ch = 0; ch < 4; ++ch) {
            if (row.out[ch] != nullptr) row.out[ch][p] = value.c[ch];
        }
    }
    return state;
}

constexpr RowSamplers MakeRowSamplers() {
    return RowSamplers{&SampleRow<Estimator<1, false>>, &SampleRow<Estimator<1, true>>, &SampleRow<Estimator<3, false>>,
                       &SampleRow<Estimator<3, true>>};
}

}  // namespace aperlume::montecarlo::APERLUME_MC_LOOPS
