// What ParallelFor costs a render beyond its work: one call of trivial pieces, starting and joining its
// own threads or reusing a scope's helpers (as RenderLensBlur's passes do), on 2 and 4 threads. A
// render makes dozens of calls (some 80 for the direct method at 12 MP, one per 32 rows for the Monte
// Carlo method's source ring); on Windows every thread start also runs each loaded library's
// thread-attach code, so the difference grows there (measured under Wine: about 1.2 ms a call without a
// scope).
#include <benchmark/benchmark.h>

#include <atomic>
#include <optional>

#include "base/parallel_for.h"

namespace aperlume::bench {
namespace {

// Arguments: threads, scope (0/1).
void BM_ParallelForCall(benchmark::State& state) {
    const auto threads = static_cast<std::int32_t>(state.range(0));
    std::optional<ParallelScope> scope;
    if (state.range(1) != 0) scope.emplace();
    std::atomic<std::int64_t> sum{0};
    for (auto _ : state) ParallelFor(threads, threads, [&sum](std::int64_t piece) noexcept { sum += piece; });
    benchmark::DoNotOptimize(sum.load());
}

BENCHMARK(BM_ParallelForCall)->ArgNames({"threads", "scope"})->ArgsProduct({{2, 4}, {0, 1}})->UseRealTime();

}  // namespace
}  // namespace aperlume::bench
