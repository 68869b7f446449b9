// The highlight correction against the straightforward double computation: the forward pass equal bit
// for bit, the inverse within its stated ulp bound on each instruction set (and the same bits on both),
// every 8- and 16-bit level back as it was, and the same result on any number of threads.
#include "engine/highlight_correction.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "base/sample_values.h"
#include "method_harness.h"

namespace aperlume {
namespace {

// The correction as it was first written: the oracle. (Its logarithm is log10 of a float, rounded to
// float before the division.)
float OracleForward(float v, int correction, double f) {
    return correction == 0 ? static_cast<float>(std::pow(v, f)) : static_cast<float>(std::pow(10.0, v * f));
}
float OracleInverse(float v, int correction, double f) {
    const float r = correction == 0 ? static_cast<float>(std::pow(v, 1.0 / f)) : static_cast<float>(std::log10(v) / f);
    return std::isfinite(r) ? r : (r > 0.0f ? 1.0f : 0.0f);
}

// Distance in representable floats (across zero too).
std::int64_t UlpDistance(float a, float b) {
    const auto ordered = [](float x) {
        const std::int32_t i = std::bit_cast<std::int32_t>(x);
        return i < 0 ? std::int64_t{INT32_MIN} - i : std::int64_t{i};
    };
    const std::int64_t d = ordered(a) - ordered(b);
    return d < 0 ? -d : d;
}

FilterParameters Correction(int correction, int brightness) {
    FilterParameters settings = kDefaultParameters;
    settings.correction = static_cast<std::int16_t>(correction);
    settings.brightness = static_cast<std::int16_t>(brightness);
    return settings;
}

const float kInfinity = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();
// Values whose inverse is exact: zeros, infinities, NaN.
const std::vector<float> kSpecial = {0.0f, -0.0f, kInfinity, -kInfinity, kNaN};

// The special values, then every float from 2^-149 up to 2^10 in steps of a prime number of
// representations, and some below 0.
std::vector<float> SweepValues() {
    std::vector<float> values = kSpecial;
    for (std::uint32_t bits = 1; bits < 0x44800000u; bits += 7919) values.push_back(std::bit_cast<float>(bits));
    for (float v : {-0.5f, -3.0f, -1e-30f, -1e-40f}) values.push_back(v);
    return values;
}

class InversePath : public ::testing::TestWithParam<CorrectionPath> {};

TEST_P(InversePath, StaysWithinItsBoundOfTheDoubleComputation) {
    if (!CorrectionPathAvailable(GetParam())) GTEST_SKIP() << "the processor lacks this instruction set";
    const std::vector<float> sweep = SweepValues();
    for (int correction : {0, 1}) {
        for (int brightness : {1, 2, 3, 4, 5, 7, 10, 13, 25, 30, 60, 100, 1000}) {
            const double f = brightness * 0.1;
            const double bound = correction == 1 ? 4.0 : (f >= 1.0 ? 2.0 : 1.0 + 1.0 / f);
            HighlightCorrection c;
            ASSERT_EQ(c.Prepare(Correction(correction, brightness), 1, GetParam()), kNoError);
            std::vector<float> values = sweep;
            c.Inverse(values.data(), static_cast<std::int32_t>(values.size()));
            std::int64_t worst = 0;
            for (std::size_t i = 0; i < sweep.size(); ++i) {
                const float expected = OracleInverse(sweep[i], correction, f);
                ASSERT_TRUE(std::isfinite(values[i]));
                const std::int64_t d = UlpDistance(values[i], expected);
                if (i < kSpecial.size() || (correction == 0 && brightness == 10)) {
                    ASSERT_EQ(d, 0) << sweep[i] << " correction " << correction << " brightness " << brightness;
                }
                worst = d > worst ? d : worst;
            }
            EXPECT_LE(static_cast<double>(worst), bound) << "correction " << correction << " brightness " << brightness;
        }
    }
}

TEST_P(InversePath, GivesTheBaselinesBitsForEveryRowLength) {
    if (!CorrectionPathAvailable(GetParam())) GTEST_SKIP() << "the processor lacks this instruction set";
    const std::vector<float> input = enginetest::RandomPlane(37, 1, 9);
    for (int correction : {0, 1, 2}) {
        HighlightCorrection baseline, tested;
        ASSERT_EQ(baseline.Prepare(Correction(correction, 3), 1, CorrectionPath::kBaseline), kNoError);
        ASSERT_EQ(tested.Prepare(Correction(correction, 3), 1, GetParam()), kNoError);
        for (std::int32_t length = 0; length <= 37; ++length) {
            std::vector<float> a = input, b = input;
            baseline.Inverse(a.data(), length);
            tested.Inverse(b.data(), length);
            ASSERT_EQ(a, b) << correction << " length " << length;
            if (length < 37) {
                ASSERT_EQ(b[36], input[36]);  // nothing written past the row
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EachInstructionSet, InversePath,
                         ::testing::Values(CorrectionPath::kBaseline, CorrectionPath::kAvx2),
                         [](const auto& tested) { return tested.param == CorrectionPath::kAvx2 ? "Avx2" : "Baseline"; });

TEST(HighlightCorrection, ForwardEqualsTheDoubleComputationForSamplesAndAnyOtherValue) {
    for (int bytes : {1, 2}) {
        std::vector<float> values = {-0.5f, -1e-40f, 1e-40f, 2.5f};
        values.insert(values.end(), kSpecial.begin(), kSpecial.end());
        for (std::uint32_t s = 0; s <= static_cast<std::uint32_t>(SampleWhite(bytes)); ++s) {
            values.push_back(SampleValue(s, bytes));
            values.push_back(std::nextafter(SampleValue(s, bytes), 2.0f));  // beside a sample: not in the table
        }
        for (int correction : {0, 1}) {
            for (int brightness : {1, 30, 100}) {
                HighlightCorrection c;
                ASSERT_EQ(c.Prepare(Correction(correction, brightness), bytes), kNoError);
                std::vector<float> corrected = values;
                c.Forward(corrected.data(), static_cast<std::int32_t>(corrected.size()));
                for (std::size_t i = 0; i < values.size(); ++i) {
                    const float expected = OracleForward(values[i], correction, brightness * 0.1);
                    ASSERT_EQ(std::bit_cast<std::uint32_t>(corrected[i]), std::bit_cast<std::uint32_t>(expected))
                        << values[i] << " " << bytes << " " << correction << " " << brightness;
                }
            }
        }
    }
}

// Rounded as the write-back rounds, every level of 8 and 16 bits comes back from both corrections as
// from the double computation (itself as it was, but for the darkest 16-bit levels that the strongest
// gammas send below the smallest float), at every brightness the dialog offers (16-bit at a sample of
// them), on any number of threads.
TEST(HighlightCorrection, EveryLevelComesBackAsFromTheDoubleComputationOnAnyNumberOfThreads) {
    for (int bytes : {1, 2}) {
        const std::int32_t white = SampleWhite(bytes);
        std::vector<float> levels;
        for (std::int32_t s = 0; s <= white; ++s) levels.push_back(SampleValue(static_cast<std::uint32_t>(s), bytes));
        const std::int32_t width = bytes == 1 ? 16 : 313;  // 16 x 16 and 313 x 105 (one value over)
        const std::int32_t height = static_cast<std::int32_t>((levels.size() + width - 1) / width);
        levels.resize(static_cast<std::size_t>(width) * height, 0.5f);
        for (int correction : {0, 1}) {
            for (int brightness = 1; brightness <= 100; brightness += bytes == 1 ? 1 : 11) {
                std::vector<float> first;
                for (std::int32_t threads : {1, 3}) {
                    enginetest::EngineRun run(bytes == 1 ? kModeGrayScale : kModeGray16, 1);
                    run.Settings() = Correction(correction, brightness);
                    run.Settings().method = -1;
                    RenderJob job = run.Job(1, width, height);
                    job.threads = threads;
                    std::vector<std::vector<float>> planes{levels};
                    ASSERT_EQ(Render(job, enginetest::Views(planes, width, height), nullptr, run.checkPoints), kNoError);
                    const double f = brightness * 0.1;
                    const auto level = [white](float v) { return static_cast<std::int32_t>(v * static_cast<double>(white) + 0.5); };
                    for (std::size_t s = 0; s <= static_cast<std::size_t>(white); ++s) {
                        const std::int32_t expected = level(OracleInverse(OracleForward(levels[s], correction, f), correction, f));
                        ASSERT_EQ(level(planes[0][s]), expected) << bytes << " " << correction << " " << brightness;
                        ASSERT_TRUE(expected == static_cast<std::int32_t>(s) || (bytes == 2 && s < 64)) << s;
                    }
                    if (first.empty()) first = planes[0];
                    EXPECT_EQ(planes[0], first);
                }
            }
        }
    }
}

}  // namespace
}  // namespace aperlume
