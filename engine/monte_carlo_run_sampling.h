// The body of the Monte Carlo method's fast loop (engine/monte_carlo_runs.h), written once and built by
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
#include "engine/monte_carlo_runs.h"

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
// h = draw * span + 16383 (engine/monte_carlo_runs.h); offsets wrap in unsigned arithmetic and are
// stored as their signed values (the kernel's are negative).
struct DrawBlock {
    static constexpr std::int32_t kLanes = APERLUME_MC_LANES;
    typedef std::uint32_t Lanes __attribute__((vector_size(4 * kLanes)));
    typedef std::int32_t HalfLanes __attribute__((vector_size(2 * kLanes)));
    typedef double Doubles __attribute__((vector_size(4 * kLanes)));
    static constexpr std::int32_t kVectors = kDrawBlock / kLanes;
    static_assert(kDrawBlock % kLanes == 0 && kLanes % 2 == 0);

    struct Rows {
        Lanes pixel[kVectors];   // row * rowBytes
        Lanes kernel[kVectors];  // -row * D
    };

    template <class Vector, class Element>
    static Vector LoadLanes(const Element* from) {
        Vector lanes;
        __builtin_memcpy(&lanes, from, sizeof lanes);
        return lanes;
    }

    static void Compute(std::uint32_t state, const Windows& windows, const Run& run, Rows& rows) {
        const Lanes generator = Lanes{} + state;
        const auto span = static_cast<std::uint32_t>(run.rowSpan);
        const auto rowBytes = static_cast<std::uint32_t>(windows.rowBytes);
        const std::uint32_t kernelRow = 0u - static_cast<std::uint32_t>(windows.diameter);
        for (std::int32_t v = 0; v < kVectors; ++v) {
            const Lanes drawn = LoadLanes<Lanes>(kJump.a + 1 + kLanes * v) * generator +
                                LoadLanes<Lanes>(kJump.c + 1 + kLanes * v);
            const Lanes draw = (drawn << 1) >> 17;  // bits 16..30
            const Lanes h = draw * span + 16383u;
            const Lanes row = (h + (h >> 15) + 1u) >> 15;
            rows.pixel[v] = row * rowBytes;
            rows.kernel[v] = row * kernelRow;
        }
    }

    // The columns of samples k+1.. of a window that does not span the whole aperture: columnSpan *
    // fraction + 0.5 truncated, in double precision as the straightforward loop computes it.
    static Lanes Columns(const Windows& windows, const Run& run, std::int32_t first) {
        const double span = run.columnSpan;
        const Doubles low = LoadLanes<Doubles>(windows.columnFractions + first) * span + 0.5;
        const Doubles high = LoadLanes<Doubles>(windows.columnFractions + first + kLanes / 2) * span + 0.5;
        const HalfLanes lowColumns = __builtin_convertvector(low, HalfLanes);
        const HalfLanes highColumns = __builtin_convertvector(high, HalfLanes);
        Lanes columns;
        __builtin_memcpy(&columns, &lowColumns, sizeof lowColumns);
        __builtin_memcpy(reinterpret_cast<char*>(&columns) + sizeof lowColumns, &highColumns, sizeof highColumns);
        return columns;
    }

    static void Place(const Rows& rows, const Windows& windows, const Run& run, std::int32_t k, SampleOffsets& at) {
        const bool fullSpan = run.columnSpan == windows.diameter - 1;
        for (std::int32_t v = 0; v < kVectors; ++v) {
            const std::int32_t first = k + 1 + kLanes * v;
            Lanes pixel = rows.pixel[v];
            Lanes kernel = rows.kernel[v];
            if (fullSpan) {
                pixel += LoadLanes<Lanes>(windows.columnBytes + first);
                kernel += LoadLanes<Lanes>(windows.columnKernel + first);
            } else {
                const Lanes columns = Columns(windows, run, first);
                pixel += columns * static_cast<std::uint32_t>(sizeof(WorkPixel));
                kernel -= columns;
            }
            __builtin_memcpy(at.pixel + kLanes * v, &pixel, sizeof pixel);
            __builtin_memcpy(at.kernel + kLanes * v, &kernel, sizeof kernel);
        }
    }
};

// Draws samples into `estimator` until it has settled twice or the bound is reached; returns the number
// drawn. `state` is the generator's state, advanced past the pixel's last draw; `rows` holds the rows of
// the draws after `state` where `rowsAhead` says so, and is left so for the next pixel.
template <class Estimator>
std::int32_t SampleWindow(Estimator& estimator, const Windows& windows, const Run& run, const char* origin,
                          std::uint32_t& state, DrawBlock::Rows& rows, bool& rowsAhead) {
    std::uint32_t blockState = state;
    if (!rowsAhead) DrawBlock::Compute(blockState, windows, run, rows);
    SampleOffsets at;
    const auto draw = [&](std::int32_t n) {
        WorkPixel source;
        __builtin_memcpy(&source, origin + at.pixel[n], sizeof source);
        estimator.Add(run.kernel[at.kernel[n]], run.wideKernel[at.kernel[n]], source);
    };
    // Checks at every kCheckPeriod-th sample up to kPeriodicChecksEnd, then at every sample. The settled
    // count is never reset: the second settled check ends the pixel, consecutive or not.
    std::int32_t settled = 0;
    std::int32_t k = 0;
    while (k < kPeriodicChecksEnd) {
        DrawBlock::Place(rows, windows, run, k, at);
        blockState = Advance(blockState, kCheckPeriod);
        DrawBlock::Compute(blockState, windows, run, rows);
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
        DrawBlock::Place(rows, windows, run, k, at);
        const std::int32_t count = kMaxSamplesPerPixel - k < kDrawBlock ? kMaxSamplesPerPixel - k : kDrawBlock;
        const std::uint32_t first = blockState;
        blockState = Advance(blockState, count);
        DrawBlock::Compute(blockState, windows, run, rows);
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
std::uint32_t SampleRun(const Windows& windows, const Run& run, std::uint32_t state) {
    DrawBlock::Rows rows;
    bool rowsAhead = false;
    for (std::int32_t p = 0; p < run.count; ++p) {
        Estimator estimator;
        SampleWindow<Estimator>(estimator, windows, run, reinterpret_cast<const char*>(run.window + p), state, rows,
                                rowsAhead);
        const WorkPixel value = estimator.Result(run.own[p]);
        for (std::int32_t ch = 0; ch < 4; ++ch) {
            if (run.out[ch] != nullptr) run.out[ch][p] = value.c[ch];
        }
    }
    return state;
}

constexpr RunSamplers MakeRunSamplers() {
    return RunSamplers{&SampleRun<Estimator<1, false>>, &SampleRun<Estimator<1, true>>, &SampleRun<Estimator<3, false>>,
                       &SampleRun<Estimator<3, true>>};
}

}  // namespace aperlume::montecarlo::APERLUME_MC_LOOPS
