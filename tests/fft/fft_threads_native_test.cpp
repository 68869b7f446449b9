// One plan executed by several threads at once, each with its own data and scratch: every thread gets
// exactly what a lone execution gives, so execution keeps no state in the plan.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "fft/fft.h"

namespace aperlume::fft {
namespace {

TEST(RealPlan2d, ThreadsSharingOnePlanGetWhatALoneExecutionGives) {
    constexpr std::int32_t kRows = 96;
    constexpr std::int32_t kColumns = 160;
    constexpr int kThreads = 4;
    RealPlan2d plan;
    ASSERT_TRUE(RealPlan2d::Create(kRows, kColumns, plan).ok());
    const std::ptrdiff_t stride = 2 * plan.SpectrumColumns();
    auto run = [&](std::uint32_t seed, std::vector<double>& spectrum, std::vector<double>& back) {
        std::mt19937 generator(seed);
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        std::vector<double> real(static_cast<std::size_t>(kRows) * kColumns);
        for (double& v : real) v = uniform(generator);
        std::vector<double> scratch(plan.ScratchDoubles());
        spectrum.assign(static_cast<std::size_t>(kRows) * stride, 0.0);
        back.assign(real.size(), 0.0);
        for (int repeat = 0; repeat < 20; ++repeat) {
            plan.Forward(real.data(), kColumns, spectrum.data(), stride, scratch.data());
            std::vector<double> work = spectrum;
            plan.Inverse(work.data(), stride, back.data(), kColumns, scratch.data());
        }
    };
    std::vector<std::vector<double>> alone(2 * kThreads);
    for (int t = 0; t < kThreads; ++t) run(static_cast<std::uint32_t>(t), alone[2 * t], alone[2 * t + 1]);
    std::vector<std::vector<double>> together(2 * kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] { run(static_cast<std::uint32_t>(t), together[2 * t], together[2 * t + 1]); });
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < 2 * kThreads; ++i) EXPECT_EQ(together[i], alone[i]) << i;
}

}  // namespace
}  // namespace aperlume::fft
