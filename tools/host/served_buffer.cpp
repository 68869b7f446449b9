// Serving and committing rectangles of an image.
#include "tools/host/served_buffer.h"

#include "tools/host/host_image.h"

namespace aperlume::testhost {
namespace {

bool Inside(int row, int column, std::int32_t width, std::int32_t height) {
    return row >= 0 && column >= 0 && row < height && column < width;
}

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

std::size_t Offset(const ServedBuffer& buffer, int row, int column) {
    return static_cast<std::size_t>(row - buffer.rect.top) * static_cast<std::size_t>(buffer.rowBytes) +
           static_cast<std::size_t>(column - buffer.rect.left) * static_cast<std::size_t>(buffer.columnBytes);
}

}  // namespace

ServedBuffer ServeSamples(const HostImage& image, const Rect16& rect, std::int16_t lo, std::int16_t hi,
                          std::int16_t padding, const ServedLayout& layout) {
    ServedBuffer buffer;
    const int bytes = image.BytesPerSample();
    const int planes = hi - lo + 1;
    if (!Shape(buffer, rect, planes * bytes, padding, layout)) return buffer;
    buffer.bytesPerSample = bytes;
    buffer.loPlane = lo;
    buffer.hiPlane = hi;
    for (int row = rect.top; row < rect.bottom; ++row)
        for (int column = rect.left; column < rect.right; ++column) {
            if (!Inside(row, column, image.width, image.height)) continue;
            std::uint8_t* pixel = buffer.bytes.data() + Offset(buffer, row, column);
            for (int p = 0; p < planes; ++p) {
                const int plane = lo + p;
                const std::uint32_t v = plane >= 0 && plane < image.planes ? image.Sample(row, column, plane) : 0;
                pixel[p * bytes] = static_cast<std::uint8_t>(v & 0xff);
                if (bytes == 2) pixel[p * bytes + 1] = static_cast<std::uint8_t>(v >> 8);
            }
        }
    return buffer;
}

ServedBuffer ServeMask(const std::vector<std::uint8_t>& mask, std::int32_t width, std::int32_t height,
                       const Rect16& rect, std::int16_t padding, const ServedLayout& layout) {
    ServedBuffer buffer;
    if (!Shape(buffer, rect, 1, padding, layout)) return buffer;
    buffer.hiPlane = 0;
    for (int row = rect.top; row < rect.bottom; ++row)
        for (int column = rect.left; column < rect.right; ++column)
            if (Inside(row, column, width, height))
                buffer.bytes[Offset(buffer, row, column)] =
                    mask[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(column)];
    return buffer;
}

void CommitSamples(const ServedBuffer& buffer, HostImage& image) {
    const int bytes = image.BytesPerSample();
    if (buffer.Empty() || buffer.bytesPerSample != bytes) return;
    const int planes = buffer.hiPlane - buffer.loPlane + 1;
    for (int row = buffer.rect.top; row < buffer.rect.bottom; ++row)
        for (int column = buffer.rect.left; column < buffer.rect.right; ++column) {
            if (!Inside(row, column, image.width, image.height)) continue;
            const std::uint8_t* pixel = buffer.bytes.data() + Offset(buffer, row, column);
            for (int p = 0; p < planes; ++p) {
                const int plane = buffer.loPlane + p;
                if (plane < 0 || plane >= image.planes) continue;
                const std::uint8_t* s = pixel + p * bytes;
                image.SetSample(row, column, plane, bytes == 1 ? s[0] : static_cast<std::uint32_t>(s[0] | (s[1] << 8)));
            }
        }
}

}  // namespace aperlume::testhost
