// The conversion between the host's samples and the engine's float planes.
#include "host/pixel_conversion.h"

#include <cstring>

namespace aperlume {
namespace {

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

void ReadPlanes(const FilterRecord& record, const Rect& area, int bytesPerSample, std::span<const PlaneView> planes,
                float* weights) {
    const bool haveMask = record.haveMask != 0 && record.maskData != nullptr;
    const double scale = bytesPerSample == 2 ? 1.0 / 32768.0 : 1.0 / 255.0;
    std::size_t j = 0;
    for (int row = area.top; row < area.bottom; ++row) {
        // A host that counts no planes delivers no samples: only the weights are read.
        const std::uint8_t* pixel = planes.empty() ? nullptr : InputPixel(record, row, area.left);
        const std::uint8_t* mask = haveMask ? static_cast<const std::uint8_t*>(record.maskData) +
                                                  static_cast<std::ptrdiff_t>(row) * record.maskRowBytes + area.left
                                            : nullptr;
        const std::int32_t y = row - area.top;
        for (int column = area.left; column < area.right; ++column, ++j) {
            const std::int32_t x = column - area.left;
            for (std::size_t p = 0; p < planes.size(); ++p) {
                const std::uint8_t* sample = pixel + static_cast<std::ptrdiff_t>(p) * bytesPerSample;
                double value = bytesPerSample == 2 ? Load16(sample) / 32768.0 : *sample * scale;
                planes[p].Row(y)[x] = static_cast<float>(value);
            }
            if (weights != nullptr) {
                if (haveMask)
                    weights[j] = Contains(record.filterRect, row, column)
                                     ? static_cast<float>(*mask * (1.0 / 255.0))
                                     : 0.0f;
                else
                    weights[j] = 1.0f;
            }
            if (pixel != nullptr) pixel += record.inColumnBytes;
            if (mask != nullptr) ++mask;
        }
    }
}

void WritePlanes(const FilterRecord& record, const Rect& area, int bytesPerSample, std::span<const PlaneView> planes,
                 const float* weights, bool depthMapInForce) {
    if (planes.empty()) return;  // no samples delivered, none to write
    const bool blend = record.haveMask != 0 && !depthMapInForce && weights != nullptr;
    const std::int32_t maximum = bytesPerSample == 2 ? 32768 : 255;
    std::size_t j = 0;
    for (int row = area.top; row < area.bottom; ++row) {
        const std::uint8_t* source = InputPixel(record, row, area.left);
        std::uint8_t* target = OutputPixel(record, row, area.left);
        const std::int32_t y = row - area.top;
        for (int column = area.left; column < area.right; ++column, ++j) {
            for (std::size_t p = 0; p < planes.size(); ++p) {
                double v = planes[p].Row(y)[column - area.left];
                double x;
                if (blend) {
                    const std::uint8_t* s = source + static_cast<std::ptrdiff_t>(p) * bytesPerSample;
                    double sample = bytesPerSample == 2 ? Load16(s) : *s;
                    double w = weights[j];
                    x = sample * (1.0 - w) + v * w * maximum;
                } else {
                    x = v * maximum;
                }
                std::int32_t stored = RoundAndClamp(x, maximum);
                std::uint8_t* out = target + static_cast<std::ptrdiff_t>(p) * bytesPerSample;
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
