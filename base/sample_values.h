// The host's samples as the engine sees them: floats with 0.0 for black and 1.0 for white. 8-bit samples
// run 0..255 and 16-bit ones 0..32768 (the host's range, not 65535). One definition for the exchange with
// the host and for the engine's tables keyed by sample value.
#pragma once

#include <cstdint>

#include "base/image_modes.h"

namespace aperlume {

inline constexpr std::int32_t kEightBitWhite = 255;
inline constexpr std::int32_t kSixteenBitWhite = 32768;

// 2 for 16-bit grayscale and 48-bit RGB, else 1.
inline constexpr int BytesPerSampleOfMode(std::int16_t imageMode) {
    return imageMode == kModeGray16 || imageMode == kModeRGB48 ? 2 : 1;
}

inline constexpr std::int32_t SampleWhite(int bytesPerSample) {
    return bytesPerSample == 2 ? kSixteenBitWhite : kEightBitWhite;
}

// The value of a sample: the 8-bit scale is a product with the double nearest 1/255, the 16-bit one
// exact.
inline float SampleValue(std::uint32_t sample, int bytesPerSample) {
    return bytesPerSample == 2 ? static_cast<float>(sample / 32768.0) : static_cast<float>(sample * (1.0 / 255.0));
}

// The stored level of `x` (a render's value times white, or its blend with the source): adds 0.5,
// truncates toward zero, clamps to 0..white; NaN gives 0.
inline std::int32_t SampleLevel(double x, double white) {
    double rounded = x + 0.5;
    rounded = rounded >= 0.0 ? rounded : 0.0;
    rounded = rounded < white ? rounded : white;
    return static_cast<std::int32_t>(rounded);
}

// 16-bit file values (0..65535) to the host's 0..32768 and back, rounding to the nearest; every host
// value survives the trip through a file.
inline std::uint16_t HostFromFile16(std::uint16_t fileValue) {
    return static_cast<std::uint16_t>((static_cast<std::uint32_t>(fileValue) * 32768u + 32767u) / 65535u);
}
inline std::uint16_t FileFromHost16(std::uint32_t hostValue) {
    if (hostValue >= 32768u) return 65535;
    return static_cast<std::uint16_t>((hostValue * 65535u + 16384u) / 32768u);
}

// The 8-bit level of a selection's pixel from its samples of 0..`full`: colour counts by its luma (ITU-R
// BT.601 weights, as an editor turns colour into gray; a gray pixel passes its value three times and
// keeps it), in one rounding.
inline std::uint8_t SelectionLevel(std::uint64_t red, std::uint64_t green, std::uint64_t blue, std::uint64_t full) {
    const std::uint64_t luma1000 = 299 * red + 587 * green + 114 * blue;
    return static_cast<std::uint8_t>((luma1000 * 255 + 500 * full) / (1000 * full));
}

}  // namespace aperlume
