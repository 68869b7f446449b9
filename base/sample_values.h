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

}  // namespace aperlume
