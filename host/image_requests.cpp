// Whole-image requests: the plug-in always asks for the whole image at once, and reads nothing that the
// host did not deliver as asked.
#include "host/image_requests.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/pixel_conversion.h"
#include "host/rect.h"

namespace aperlume {
namespace {

constexpr Fixed kUnitRate = 0x10000;  // 1.0 in 16.16 fixed point
constexpr std::int64_t kLargestOffset = PTRDIFF_MAX;

// The fields a host must hand back as they were asked: the request, and the image it is a request of.
struct Request {
    Rect inRect, outRect, maskRect;
    std::int16_t inLoPlane, inHiPlane, outLoPlane, outHiPlane;
    Point16 imageSize;
    std::int16_t planes;
    Boolean haveMask;
};

Request RequestOf(const FilterRecord& record) {
    return Request{record.inRect,     record.outRect,     record.maskRect,  record.inLoPlane, record.inHiPlane,
                   record.outLoPlane, record.outHiPlane,  record.imageSize, record.planes,    record.haveMask};
}

bool SameRequest(const Request& a, const Request& b) {
    return a.inRect == b.inRect && a.outRect == b.outRect && a.maskRect == b.maskRect &&
           a.inLoPlane == b.inLoPlane && a.inHiPlane == b.inHiPlane && a.outLoPlane == b.outLoPlane &&
           a.outHiPlane == b.outHiPlane && a.imageSize.v == b.imageSize.v && a.imageSize.h == b.imageSize.h &&
           a.planes == b.planes && a.haveMask == b.haveMask;
}

// A buffer of interleaved samples for `rect` with planes lo..hi: every sample the readers address lies
// inside rows of `rowBytes`, pixels do not overlap, and the last offset fits the address arithmetic.
bool SamplesFit(const void* data, std::int32_t rowBytes, std::int32_t columnBytes, const Rect& rect,
                std::int16_t lo, std::int16_t hi, int bytesPerSample) {
    const std::int64_t width = std::int64_t{rect.right} - rect.left;
    const std::int64_t height = std::int64_t{rect.bottom} - rect.top;
    const std::int64_t planes = std::int64_t{hi} - lo + 1;
    if (width <= 0 || height <= 0 || planes <= 0) return true;  // nothing is read or written
    if (data == nullptr) return false;
    const std::int64_t pixelBytes = planes * bytesPerSample;
    const std::int64_t column = columnBytes > 0 ? columnBytes : pixelBytes;
    if (column < pixelBytes) return false;
    const std::int64_t rowSpan = (width - 1) * column + pixelBytes;
    if (rowBytes < rowSpan) return false;
    return (height - 1) * rowBytes <= kLargestOffset - rowSpan;
}

bool MaskFits(const FilterRecord& record) {
    if (record.haveMask == 0) return true;
    return SamplesFit(record.maskData, record.maskRowBytes, 1, record.maskRect, 0, 0, 1);
}

bool BuffersFit(const FilterRecord& record) {
    const int bytesPerSample = BytesPerSample(record);
    return SamplesFit(record.inData, record.inRowBytes, record.inColumnBytes, record.inRect, record.inLoPlane,
                      record.inHiPlane, bytesPerSample) &&
           SamplesFit(record.outData, record.outRowBytes, record.outColumnBytes, record.outRect,
                      record.outLoPlane, record.outHiPlane, bytesPerSample) &&
           MaskFits(record);
}

bool WholeImageRequested(const FilterRecord& record) {
    const Rect whole = WholeImageRect(record);
    const auto last = static_cast<std::int16_t>(record.planes - 1);
    return record.inRect == whole && record.outRect == whole && (record.haveMask == 0 || record.maskRect == whole) &&
           record.inLoPlane == 0 && record.inHiPlane == last && record.outLoPlane == 0 && record.outHiPlane == last;
}

// Row starts in whole-image coordinates; 64-bit arithmetic so large images cannot wrap the offset.
const std::uint8_t* InputRow(const FilterRecord& record, int row) {
    return static_cast<const std::uint8_t*>(record.inData) + static_cast<std::ptrdiff_t>(row) * record.inRowBytes;
}

std::uint8_t* OutputRow(const FilterRecord& record, int row) {
    return static_cast<std::uint8_t*>(record.outData) + static_cast<std::ptrdiff_t>(row) * record.outRowBytes;
}

}  // namespace

void RequestWholeImage(FilterRecord& record) {
    const Rect whole = WholeImageRect(record);
    record.inRect = whole;
    record.outRect = whole;
    record.maskRect = whole;
    record.inputRate = kUnitRate;
    record.maskRate = kUnitRate;
    record.inLoPlane = 0;
    record.outLoPlane = 0;
    record.outHiPlane = static_cast<std::int16_t>(record.planes - 1);
    record.inHiPlane = record.outHiPlane;
    record.inputPadding = 255;
    record.outputPadding = 255;
    record.maskPadding = 255;
}

Result AdvanceState(FilterRecord& record) {
    if (record.advanceState == nullptr) return kUserCanceled;
    const Request asked = RequestOf(record);
    if (Result r = record.advanceState(); !r.ok()) return r;
    if (!SameRequest(RequestOf(record), asked) || !BuffersFit(record)) return kHostInsufficient;
    return kOk;
}

Result FetchWholeImage(FilterRecord& record) {
    RequestWholeImage(record);
    return AdvanceState(record);
}

Result CheckWholeImageDelivered(const FilterRecord& record) {
    return WholeImageRequested(record) && BuffersFit(record) ? kOk : kHostInsufficient;
}

Result CopyInputToOutput(const FilterRecord& record) {
    if (Result r = CheckWholeImageDelivered(record); !r.ok()) return r;
    const std::int32_t width = record.imageSize.h;
    const std::int32_t pixelBytes = record.planes * BytesPerSample(record);
    if (width <= 0 || pixelBytes <= 0) return kOk;
    const std::int32_t inColumn = record.inColumnBytes > 0 ? record.inColumnBytes : pixelBytes;
    const std::int32_t outColumn = record.outColumnBytes > 0 ? record.outColumnBytes : pixelBytes;
    for (int row = 0; row < record.imageSize.v; ++row) {
        const std::uint8_t* in = InputRow(record, row);
        std::uint8_t* out = OutputRow(record, row);
        if (inColumn == outColumn) {
            // The same layout: one copy of the row's pixels (never the padding after its last one).
            std::memcpy(out, in, static_cast<std::size_t>(width - 1) * static_cast<std::size_t>(inColumn) +
                                     static_cast<std::size_t>(pixelBytes));
            continue;
        }
        for (int column = 0; column < width; ++column, in += inColumn, out += outColumn)
            std::memcpy(out, in, static_cast<std::size_t>(pixelBytes));
    }
    return kOk;
}

Result ComputeSelectionBounds(FilterRecord& record) {
    const Rect whole = WholeImageRect(record);
    // Without a selection, or without a pixel to scan (no mask is delivered for an empty image).
    if (record.haveMask == 0 || whole.bottom <= 0 || whole.right <= 0) {
        record.filterRect = whole;
        return kOk;
    }
    if (!(record.maskRect == whole) || !MaskFits(record)) return kHostInsufficient;
    int top = -1, bottom = -1, left = whole.right, right = -1;
    for (int row = 0; row < whole.bottom; ++row) {
        const std::uint8_t* mask = static_cast<const std::uint8_t*>(record.maskData) +
                                   static_cast<std::ptrdiff_t>(row) * record.maskRowBytes;
        for (int column = 0; column < whole.right; ++column) {
            if (mask[column] == 0) continue;
            if (top < 0) top = row;
            bottom = row;
            if (column < left) left = column;
            if (column > right) right = column;
        }
    }
    if (top < 0) {
        record.filterRect = whole;
        return kOk;
    }
    record.filterRect = Rect{static_cast<std::int16_t>(top), static_cast<std::int16_t>(left),
                             static_cast<std::int16_t>(bottom + 1), static_cast<std::int16_t>(right + 1)};
    return kOk;
}

}  // namespace aperlume
