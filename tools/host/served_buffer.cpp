// Serving and committing rectangles of an image: the image's own rows where they are what was asked,
// else copies made a row (or a pixel, where the layouts differ) at a time.
#include "tools/host/served_buffer.h"

#include <algorithm>
#include <cstring>

#include "host/rect.h"
#include "tools/host/host_image.h"

namespace aperlume::testhost {
namespace {

bool IsWhole(const Rect16& rect, std::int32_t width, std::int32_t height) {
    return width > 0 && height > 0 &&
           rect == Rect16{0, 0, static_cast<std::int16_t>(height), static_cast<std::int16_t>(width)};
}

std::size_t Size(std::int32_t v) { return static_cast<std::size_t>(v); }

// Sizes the buffer for `rect` with `pixelBytes` per pixel in the layout, filled with the padding value;
// false (nothing served) for an empty rectangle.
bool Shape(ServedBuffer& buffer, const Rect16& rect, std::int32_t pixelBytes, std::int16_t padding,
           const ServedLayout& layout) {
    const std::int32_t width = rect.right - rect.left;
    const std::int32_t height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0 || pixelBytes <= 0) return false;
    buffer.rect = rect;
    buffer.columnBytes = pixelBytes + layout.columnPadding;
    buffer.rowBytes = width * buffer.columnBytes + layout.rowPadding;
    buffer.bytes.assign(static_cast<std::size_t>(buffer.rowBytes) * static_cast<std::size_t>(height),
                        static_cast<std::uint8_t>(padding < 0 ? 0 : padding));
    return true;
}

// Points the buffer at a document's own samples, laid out as `rect` in rows of `rowBytes`.
void Share(ServedBuffer& buffer, std::vector<std::uint8_t>& samples, const Rect16& rect, std::size_t rowBytes,
           std::size_t pixelBytes) {
    buffer.document = samples.data();
    buffer.rect = rect;
    buffer.rowBytes = static_cast<std::int32_t>(rowBytes);
    buffer.columnBytes = static_cast<std::int32_t>(pixelBytes);
}

// Calls copy(buffer pixel, image row, first column, pixel count) for the run of each buffer row that lies
// inside a width x height image.
template <class Buffer, class Copy>
void ForEachRunInside(Buffer& buffer, std::int32_t width, std::int32_t height, Copy copy) {
    const int first = std::max<int>(buffer.rect.left, 0);
    const int last = std::min<int>(buffer.rect.right, width);
    if (first >= last) return;
    for (int row = std::max<int>(buffer.rect.top, 0); row < std::min<int>(buffer.rect.bottom, height); ++row) {
        auto* pixel = buffer.bytes.data() + Size(row - buffer.rect.top) * Size(buffer.rowBytes) +
                      Size(first - buffer.rect.left) * Size(buffer.columnBytes);
        copy(pixel, row, first, last - first);
    }
}

// `count` pixels of `bytes` bytes from one layout to another: one copy when both are packed.
void CopyPixels(const std::uint8_t* from, std::size_t fromStep, std::uint8_t* to, std::size_t toStep, int count,
                std::size_t bytes) {
    if (fromStep == bytes && toStep == bytes) {
        std::memcpy(to, from, static_cast<std::size_t>(count) * bytes);
        return;
    }
    for (int i = 0; i < count; ++i, from += fromStep, to += toStep) std::memcpy(to, from, bytes);
}

// The planes a buffer of planes lo..hi shares with the image: from `first`, `count` of them.
struct SharedPlanes {
    int first;
    int count;
};

SharedPlanes PlanesIn(const ServedBuffer& buffer, const HostImage& image) {
    const int first = std::max<int>(buffer.loPlane, 0);
    return {first, std::min<int>(buffer.hiPlane, image.planes - 1) - first + 1};
}

}  // namespace

ServedBuffer ServeSamples(HostImage& image, const Rect16& rect, std::int16_t lo, std::int16_t hi,
                          std::int16_t padding, const ServedLayout& layout, bool share) {
    ServedBuffer buffer;
    const int bytes = image.BytesPerSample();
    const int planes = hi - lo + 1;
    buffer.bytesPerSample = bytes;
    buffer.loPlane = lo;
    buffer.hiPlane = hi;
    if (share && planes > 0 && IsWhole(rect, image.width, image.height) && lo == 0 && hi == image.planes - 1 &&
        layout.columnPadding == 0 && layout.rowPadding == 0 && image.Complete()) {
        Share(buffer, image.samples, rect, image.RowBytes(), image.PixelBytes());
        return buffer;
    }
    if (!Shape(buffer, rect, planes * bytes, padding, layout)) return ServedBuffer{};
    const SharedPlanes shared = PlanesIn(buffer, image);
    const bool missing = lo < 0 || hi >= image.planes;
    const std::size_t pixelBytes = image.PixelBytes();
    const std::size_t column = Size(buffer.columnBytes);
    ForEachRunInside(buffer, image.width, image.height, [&](std::uint8_t* to, int row, int first, int count) {
        if (missing)  // inside the image, planes it does not have read as 0
            for (int i = 0; i < count; ++i) std::memset(to + Size(i) * column, 0, Size(planes * bytes));
        if (shared.count <= 0) return;
        CopyPixels(image.Row(row) + Size(first) * pixelBytes + Size(shared.first * bytes), pixelBytes,
                   to + Size((shared.first - lo) * bytes), column, count, Size(shared.count * bytes));
    });
    return buffer;
}

ServedBuffer ServeMask(std::vector<std::uint8_t>& mask, std::int32_t width, std::int32_t height,
                       const Rect16& rect, std::int16_t padding, const ServedLayout& layout, bool share) {
    ServedBuffer buffer;
    buffer.hiPlane = 0;
    if (share && IsWhole(rect, width, height) && layout.rowPadding == 0 &&
        mask.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        Share(buffer, mask, rect, static_cast<std::size_t>(width), 1);
        return buffer;
    }
    if (!Shape(buffer, rect, 1, padding, layout)) return ServedBuffer{};
    ForEachRunInside(buffer, width, height, [&](std::uint8_t* to, int row, int first, int count) {
        CopyPixels(mask.data() + Size(row) * Size(width) + Size(first), 1, to, Size(buffer.columnBytes), count, 1);
    });
    return buffer;
}

void CommitSamples(const ServedBuffer& buffer, HostImage& image) {
    const int bytes = image.BytesPerSample();
    if (buffer.InDocument() || buffer.Empty() || buffer.bytesPerSample != bytes) return;
    const SharedPlanes shared = PlanesIn(buffer, image);
    if (shared.count <= 0) return;
    const std::size_t pixelBytes = image.PixelBytes();
    ForEachRunInside(buffer, image.width, image.height, [&](const std::uint8_t* from, int row, int first, int count) {
        CopyPixels(from + Size((shared.first - buffer.loPlane) * bytes), Size(buffer.columnBytes),
                   image.Row(row) + Size(first) * pixelBytes + Size(shared.first * bytes), pixelBytes, count,
                   Size(shared.count * bytes));
    });
}

}  // namespace aperlume::testhost
