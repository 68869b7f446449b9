// The buffers our own host serves through advanceState: a rectangle of an image's planes in interleaved
// samples, laid out as the host chooses (row and pixel padding), filled with the padding value outside
// the image, and written back into the image from the same layout.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_records.h"

namespace aperlume::testhost {

struct HostImage;

struct ServedBuffer {
    std::vector<std::uint8_t> bytes;  // exactly rows x rowBytes: no slack, so a read past it shows
    Rect16 rect{};
    std::int16_t loPlane = 0;
    std::int16_t hiPlane = -1;
    std::int32_t rowBytes = 0;
    std::int32_t columnBytes = 0;
    int bytesPerSample = 1;

    bool Empty() const { return bytes.empty(); }
};

// The layout a host chooses beyond the packed one: bytes after each pixel and after each row.
struct ServedLayout {
    std::int32_t columnPadding = 0;
    std::int32_t rowPadding = 0;
};

// Planes lo..hi of `rect` from `image`, padding (0..255) outside it and for planes it does not have. An
// empty rectangle or plane range serves nothing.
ServedBuffer ServeSamples(const HostImage& image, const Rect16& rect, std::int16_t lo, std::int16_t hi,
                          std::int16_t padding, const ServedLayout& layout);

// One byte per pixel of `rect` from a width x height mask, padding outside it.
ServedBuffer ServeMask(const std::vector<std::uint8_t>& mask, std::int32_t width, std::int32_t height,
                       const Rect16& rect, std::int16_t padding, const ServedLayout& layout);

// The samples of a served buffer back into the image, where they lie inside it (nothing when the image
// has since changed to another sample size).
void CommitSamples(const ServedBuffer& buffer, HostImage& image);

}  // namespace aperlume::testhost
