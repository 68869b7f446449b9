// Whole-image requests and the conversion between the host's samples and the engine's float planes.
#include "host/image_exchange.h"

#include <cstring>

#include "base/filter_parameters.h"
#include "base/result.h"

namespace aperlume {
namespace {

constexpr Fixed kUnitRate = 0x10000;  // 1.0 in 16.16 fixed point

void RequestWholeImage(FilterRecord& record) {
    Rect whole = WholeImageRect(record);
    record.inRect = whole;
    record.outRect = whole;
    record.maskRect = whole;
}

bool Contains(const Rect& rect, int row, int column) {
    return row >= rect.top && row < rect.bottom && column >= rect.left && column < rect.right;
}

// Addresses in whole-image coordinates; 64-bit arithmetic so large images cannot wrap the offset.
const std::uint8_t* InputPixel(const FilterRecord& record, int row, int column) {
    return static_cast<const std::uint8_t*>(record.inData) +
           static_cast<std::ptrdiff_t>(row) * record.inRowBytes +
           static_cast<std::ptrdiff_t>(column) * record.inColumnBytes;
}

std::uint8_t* OutputPixel(const FilterRecord& record, int row, int column) {
    return static_cast<std::uint8_t*>(record.outData) + static_cast<std::ptrdiff_t>(row) * record.outRowBytes +
           static_cast<std::ptrdiff_t>(column) * record.outColumnBytes;
}

std::uint16_t Load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void Store16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, sizeof v); }

// Adds 0.5, truncates toward zero, clamps to 0..maximum.
std::int32_t RoundAndClamp(double x, std::int32_t maximum) {
    double rounded = x + 0.5;
    if (!(rounded >= 0.0)) return 0;  // negative, or not a number
    if (rounded >= static_cast<double>(maximum)) return maximum;
    return static_cast<std::int32_t>(rounded);
}

}  // namespace

int BytesPerSample(const FilterRecord& record) {
    return record.imageMode == kModeGray16 || record.imageMode == kModeRGB48 ? 2 : 1;
}

void FixColumnBytes(FilterRecord& record) {
    std::int32_t natural = record.planes * BytesPerSample(record);
    if (record.inColumnBytes <= 0) record.inColumnBytes = natural;
    if (record.outColumnBytes <= 0) record.outColumnBytes = natural;
}

void FetchWholeImage(PluginContext& context) {
    FilterRecord& record = *context.filterRecord;
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
    SetResult(context, record.advanceState == nullptr ? kUserCanceled : record.advanceState());
}

void CopyInputToOutput(PluginContext& context) {
    const FilterRecord& record = *context.filterRecord;
    if (record.inData == nullptr || record.outData == nullptr || record.inRowBytes <= 0) return;
    // Both buffers cover the whole image with the same planes and depth; never copy more than a row of
    // the output can hold.
    std::int32_t rowBytes = record.outRowBytes > 0 && record.outRowBytes < record.inRowBytes ? record.outRowBytes
                                                                                               : record.inRowBytes;
    for (int row = 0; row < record.imageSize.v; ++row)
        std::memcpy(OutputPixel(record, row, 0), InputPixel(record, row, 0), static_cast<std::size_t>(rowBytes));
}

void ComputeSelectionBounds(PluginContext& context) {
    FilterRecord& record = *context.filterRecord;
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

void ReadPlanes(PluginContext& context, int bytesPerSample, int planeCount, float* const* planes, float* weights) {
    const FilterRecord& record = *context.filterRecord;
    const Rect& area = context.renderRect;
    const bool haveMask = record.haveMask != 0 && record.maskData != nullptr;
    const double scale = bytesPerSample == 2 ? 1.0 / 32768.0 : 1.0 / 255.0;
    std::size_t j = 0;
    for (int row = area.top; row < area.bottom; ++row) {
        const std::uint8_t* pixel = InputPixel(record, row, area.left);
        const std::uint8_t* mask = haveMask ? static_cast<const std::uint8_t*>(record.maskData) +
                                                  static_cast<std::ptrdiff_t>(row) * record.maskRowBytes + area.left
                                            : nullptr;
        for (int column = area.left; column < area.right; ++column, ++j) {
            for (int p = 0; p < planeCount; ++p) {
                const std::uint8_t* sample = pixel + p * bytesPerSample;
                double value = bytesPerSample == 2 ? Load16(sample) / 32768.0 : *sample * scale;
                planes[p][j] = static_cast<float>(value);
            }
            if (weights != nullptr) {
                if (haveMask)
                    weights[j] = Contains(record.filterRect, row, column)
                                     ? static_cast<float>(*mask * (1.0 / 255.0))
                                     : 0.0f;
                else
                    weights[j] = 1.0f;
            }
            pixel += record.inColumnBytes;
            if (mask != nullptr) ++mask;
        }
    }
}

void WritePlanes(PluginContext& context, int bytesPerSample, int planeCount, const float* const* planes,
                 const float* weights) {
    const FilterRecord& record = *context.filterRecord;
    const Rect& area = context.renderRect;
    const FilterParameters* settings = Parameters(context);
    const bool depthMap = settings != nullptr && DepthMapInForce(*settings);
    const bool blend = record.haveMask != 0 && !depthMap && weights != nullptr;
    const std::int32_t maximum = bytesPerSample == 2 ? 32768 : 255;
    std::size_t j = 0;
    for (int row = area.top; row < area.bottom; ++row) {
        const std::uint8_t* source = InputPixel(record, row, area.left);
        std::uint8_t* target = OutputPixel(record, row, area.left);
        for (int column = area.left; column < area.right; ++column, ++j) {
            for (int p = 0; p < planeCount; ++p) {
                double v = planes[p][j];
                double x;
                if (blend) {
                    const std::uint8_t* s = source + p * bytesPerSample;
                    double sample = bytesPerSample == 2 ? Load16(s) : *s;
                    double w = weights[j];
                    x = sample * (1.0 - w) + v * w * maximum;
                } else {
                    x = v * maximum;
                }
                std::int32_t stored = RoundAndClamp(x, maximum);
                std::uint8_t* out = target + p * bytesPerSample;
                if (bytesPerSample == 2)
                    Store16(out, static_cast<std::uint16_t>(stored));
                else
                    *out = static_cast<std::uint8_t>(stored);
            }
            source += record.inColumnBytes;
            target += record.outColumnBytes;
        }
    }
}

}  // namespace aperlume
