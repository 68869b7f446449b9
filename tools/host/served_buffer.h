// The buffers our own host serves through advanceState: a rectangle of an image's planes in interleaved
// samples. Where the request is the document's own layout (the whole image, every plane, no padding) the
// buffer is the document's rows themselves, as hosts that keep the image in one block serve it; anything
// else is a copy laid out as the host chooses (row and pixel padding), filled with the padding value
// outside the image, and written back into the image from the same layout.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_records.h"

namespace aperlume::testhost {

struct HostImage;

struct ServedBuffer {
    std::vector<std::uint8_t> bytes;   // a copy: exactly rows x rowBytes, no slack, so a read past it shows
    std::uint8_t* document = nullptr;  // or the document's own samples (sized exactly as well)
    Rect16 rect{};
    std::int16_t loPlane = 0;
    std::int16_t hiPlane = -1;
    std::int32_t rowBytes = 0;
    std::int32_t columnBytes = 0;
    int bytesPerSample = 1;

    bool InDocument() const { return document != nullptr; }
    bool Empty() const { return document == nullptr && bytes.empty(); }
    // What the record points at: null when nothing was served.
    std::uint8_t* Data() { return document != nullptr ? document : (bytes.empty() ? nullptr : bytes.data()); }
};

// The layout a host chooses beyond the packed one: bytes after each pixel and after each row.
struct ServedLayout {
    std::int32_t columnPadding = 0;
    std::int32_t rowPadding = 0;
};

// Planes lo..hi of `rect` from `image`, padding (0..255) outside it and 0 for planes it does not have;
// the image's own rows when `share` and the request is the whole image with every plane in a packed
// layout. An empty rectangle or plane range serves nothing.
ServedBuffer ServeSamples(HostImage& image, const Rect16& rect, std::int16_t lo, std::int16_t hi,
                          std::int16_t padding, const ServedLayout& layout, bool share);

// One byte per pixel of `rect` from a width x height mask, padding outside it; the mask itself when
// `share` and the request is the whole mask without row padding.
ServedBuffer ServeMask(std::vector<std::uint8_t>& mask, std::int32_t width, std::int32_t height,
                       const Rect16& rect, std::int16_t padding, const ServedLayout& layout, bool share);

// The samples of a served copy back into the image, where they lie inside it (nothing when the image has
// since changed to another sample size, or when the buffer is the image's own rows).
void CommitSamples(const ServedBuffer& buffer, HostImage& image);

}  // namespace aperlume::testhost
