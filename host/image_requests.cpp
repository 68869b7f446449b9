// Whole-image requests: the plug-in always asks for the whole image at once.
#include "host/image_requests.h"

#include <cstddef>
#include <cstring>

#include "host/rect.h"

namespace aperlume {
namespace {

constexpr Fixed kUnitRate = 0x10000;  // 1.0 in 16.16 fixed point

void RequestWholeImage(FilterRecord& record) {
    Rect whole = WholeImageRect(record);
    record.inRect = whole;
    record.outRect = whole;
    record.maskRect = whole;
}

// Row starts in whole-image coordinates; 64-bit arithmetic so large images cannot wrap the offset.
const std::uint8_t* InputRow(const FilterRecord& record, int row) {
    return static_cast<const std::uint8_t*>(record.inData) + static_cast<std::ptrdiff_t>(row) * record.inRowBytes;
}

std::uint8_t* OutputRow(const FilterRecord& record, int row) {
    return static_cast<std::uint8_t*>(record.outData) + static_cast<std::ptrdiff_t>(row) * record.outRowBytes;
}

}  // namespace

Result FetchWholeImage(FilterRecord& record) {
    RequestWholeImage(record);
    record.inputRate = kUnitRate;
    record.maskRate = kUnitRate;
    record.inLoPlane = 0;
    record.outLoPlane = 0;
    record.outHiPlane = static_cast<std::int16_t>(record.planes - 1);
    record.inHiPlane = record.outHiPlane;
    record.inputPadding = 255;
    record.outputPadding = 255;
    record.maskPadding = 255;
    return record.advanceState == nullptr ? kUserCanceled : record.advanceState();
}

void CopyInputToOutput(const FilterRecord& record) {
    if (record.inData == nullptr || record.outData == nullptr || record.inRowBytes <= 0) return;
    // Both buffers cover the whole image with the same planes and depth; never copy more than a row of
    // the output can hold.
    std::int32_t rowBytes = record.outRowBytes > 0 && record.outRowBytes < record.inRowBytes ? record.outRowBytes
                                                                                               : record.inRowBytes;
    for (int row = 0; row < record.imageSize.v; ++row)
        std::memcpy(OutputRow(record, row), InputRow(record, row), static_cast<std::size_t>(rowBytes));
}

void ComputeSelectionBounds(FilterRecord& record) {
    Rect whole = WholeImageRect(record);
    if (!record.haveMask || record.maskData == nullptr) {
        record.filterRect = whole;
        return;
    }
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
        return;
    }
    record.filterRect = Rect{static_cast<std::int16_t>(top), static_cast<std::int16_t>(left),
                             static_cast<std::int16_t>(bottom + 1), static_cast<std::int16_t>(right + 1)};
}

}  // namespace aperlume
