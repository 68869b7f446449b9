// Flattening alpha onto a colour.
#include "tools/imagefile/alpha_flattening.h"

#include <algorithm>

#include "tools/imagefile/byte_order.h"

namespace aperlume::tool {
namespace {

// The background's values in the image's range, one per colour channel.
void BackgroundSamples(RgbColour colour, std::int32_t colours, std::uint32_t full, std::uint32_t out[3]) {
    const std::uint32_t rgb[3] = {colour.red, colour.green, colour.blue};
    if (colours == 1) {
        const std::uint64_t luma1000 = 299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2];
        out[0] = static_cast<std::uint32_t>((luma1000 * full + 127500) / 255000);
        return;
    }
    for (int c = 0; c < 3; ++c) out[c] = (rgb[c] * full + 127) / 255;
}

}  // namespace

void FlattenAlpha(ToolImage& image, RgbColour background) {
    if (!HasAlpha(image)) return;
    const std::int32_t colours = image.channels - 1;
    const bool wide = image.BytesPerSample() == 2;
    const std::uint32_t full = wide ? 32768u : 255u;
    std::uint32_t behind[3];
    BackgroundSamples(background, colours, full, behind);
    std::uint8_t* samples = image.samples.data();
    const auto read = [&](std::size_t index) -> std::uint32_t {
        // A sample beyond the range (no host should hand one back) counts as full.
        return std::min(wide ? LittleEndian16(samples + 2 * index) : samples[index], full);
    };
    const auto write = [&](std::size_t index, std::uint32_t value) {
        if (wide) {
            samples[2 * index] = static_cast<std::uint8_t>(value);
            samples[2 * index + 1] = static_cast<std::uint8_t>(value >> 8);
        } else {
            samples[index] = static_cast<std::uint8_t>(value);
        }
    };
    // Pixel p is written to [p * colours, (p + 1) * colours), which never reaches past its own samples
    // at p * channels, so the image shrinks in place; each pixel is read whole before it is written.
    const std::size_t pixels = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    const auto channels = static_cast<std::size_t>(image.channels);
    const auto colourCount = static_cast<std::size_t>(colours);
    for (std::size_t p = 0; p < pixels; ++p) {
        const std::uint32_t alpha = read(p * channels + colourCount);
        std::uint32_t flat[3];
        for (std::size_t c = 0; c < colourCount; ++c)
            flat[c] = (read(p * channels + c) * alpha + behind[c] * (full - alpha) + full / 2) / full;
        for (std::size_t c = 0; c < colourCount; ++c) write(p * colourCount + c, flat[c]);
    }
    image.channels = colours;
    image.samples.resize(image.RowBytes() * static_cast<std::size_t>(image.height));
}

}  // namespace aperlume::tool
