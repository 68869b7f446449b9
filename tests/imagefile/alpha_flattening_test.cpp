// Flattening alpha onto a colour: every pixel of pseudo-random images of both depths, gray and colour,
// against the compositing formula in real arithmetic (a pixel's colour over the background by its alpha).
#include <gtest/gtest.h>

#include <cmath>

#include "tests/imagefile/image_test_support.h"
#include "tools/imagefile/alpha_flattening.h"

namespace aperlume::tool {
namespace {

using testing::SampleAt;

TEST(AlphaFlattening, EveryPixelIsItsColourOverTheBackgroundByItsAlpha) {
    const RgbColour background{200, 30, 90};
    for (std::int32_t bitDepth : {8, 16})
        for (std::size_t channels : {2, 4}) {
            SCOPED_TRACE(::testing::Message() << channels << " channels, " << bitDepth << " bits");
            const double full = bitDepth == 16 ? 32768.0 : 255.0;
            ToolImage image = testing::PatternImage(61, 37, static_cast<std::int32_t>(channels), bitDepth);
            testing::SetSampleAt(image, channels - 1, static_cast<std::uint32_t>(full));  // pixel 0 opaque
            testing::SetSampleAt(image, 2 * channels - 1, 0);                            // pixel 1 transparent
            ToolImage flat = image;
            FlattenAlpha(flat, background);
            const std::size_t colours = channels - 1;
            ASSERT_EQ(flat.channels, static_cast<std::int32_t>(colours));
            ASSERT_EQ(flat.samples.size(), flat.RowBytes() * 37);
            const double rgb[3] = {background.red * full / 255, background.green * full / 255,
                                   background.blue * full / 255};
            const double luma = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];  // what a gray image takes
            for (std::size_t p = 0; p < 61 * 37; ++p)
                for (std::size_t c = 0; c < colours; ++c) {
                    const double alpha = SampleAt(image, p * channels + colours) / full;
                    const double behind = colours == 1 ? luma : rgb[c];
                    const double expected = SampleAt(image, p * channels + c) * alpha + behind * (1 - alpha);
                    // Rounded to the nearest, the background rounded into the range first: within 1; exact
                    // for an opaque pixel, and within rounding of the background for a transparent one.
                    const double tolerance = p == 0 ? 0.0 : p == 1 ? 0.5 : 1.0;
                    ASSERT_LE(std::abs(SampleAt(flat, p * colours + c) - expected), tolerance) << "pixel " << p;
                }
        }
}

}  // namespace
}  // namespace aperlume::tool
