// The conversion between the host's samples and the engine's float planes: row by row, plane by plane,
// over bands of rows on the render's threads. Each row is converted in fixed-size chunks whose loops
// over contiguous buffers the compiler turns into vector code; only the gathering from and scattering to
// the host's interleaved samples steps through them one by one.
#include "host/pixel_conversion.h"

#include <array>
#include <cstring>

#include "base/row_bands.h"
#include "base/sample_values.h"

namespace aperlume {
namespace {

constexpr std::int32_t kChunk = 16;

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

// Every 8-bit sample's value (the 16-bit ones are exact products with 2^-15).
using EightBitValues = std::array<float, 256>;
EightBitValues MakeEightBitValues() {
    EightBitValues values{};
    for (std::uint32_t s = 0; s < 256; ++s) values[s] = SampleValue(s, 1);
    return values;
}

void ReadRow(const FilterRecord& record, int bytesPerSample, const std::uint8_t* pixel, std::int32_t width,
             const EightBitValues& eightBit, std::span<const PlaneView> planes, std::int32_t y) {
    const std::ptrdiff_t step = record.inColumnBytes;
    for (std::size_t p = 0; p < planes.size(); ++p) {
        const std::uint8_t* sample = pixel + static_cast<std::ptrdiff_t>(p) * bytesPerSample;
        float* out = planes[p].Row(y);
        if (bytesPerSample == 2) {
            for (std::int32_t x = 0; x < width; ++x) out[x] = static_cast<float>(Load16(sample + x * step)) * 0x1p-15f;
        } else {
            for (std::int32_t x = 0; x < width; ++x) out[x] = eightBit[sample[x * step]];
        }
    }
}

// The selection weight of each pixel of one row: the mask's inside the filter rectangle, 0 outside it;
// 1 everywhere without a mask.
void ReadWeights(const FilterRecord& record, const Rect& area, int row, const EightBitValues& eightBit, float* weights) {
    const std::int32_t width = area.right - area.left;
    const bool haveMask = record.haveMask != 0 && record.maskData != nullptr;
    if (!haveMask) {
        for (std::int32_t x = 0; x < width; ++x) weights[x] = 1.0f;
        return;
    }
    const Rect& f = record.filterRect;
    const bool rowInside = row >= f.top && row < f.bottom;
    const std::int32_t begin = rowInside ? (f.left > area.left ? f.left - area.left : 0) : width;
    const std::int32_t end = rowInside ? (f.right < area.right ? f.right - area.left : width) : width;
    const std::uint8_t* mask = static_cast<const std::uint8_t*>(record.maskData) +
                               static_cast<std::ptrdiff_t>(row) * record.maskRowBytes + area.left;
    for (std::int32_t x = 0; x < width; ++x) weights[x] = x >= begin && x < end ? eightBit[mask[x]] : 0.0f;
}

// `count` levels (at most kChunk) of one plane's row from `values`, blended with the host's `sources` by
// `weights` when these are given. A full chunk runs through loops of fixed length, which vectorise.
void Levels(const float* values, const double* sources, const float* weights, std::int32_t count, double white,
            std::int32_t* levels) {
    const auto compute = [&](std::int32_t n) {
        if (weights != nullptr) {
            for (std::int32_t j = 0; j < n; ++j) {
                const double w = weights[j];
                levels[j] = SampleLevel(sources[j] * (1.0 - w) + values[j] * w * white, white);
            }
        } else {
            for (std::int32_t j = 0; j < n; ++j) levels[j] = SampleLevel(values[j] * white, white);
        }
    };
    if (count == kChunk) {
        compute(kChunk);
    } else {
        compute(count);
    }
}

void WriteRow(const FilterRecord& record, int bytesPerSample, const std::uint8_t* source, std::uint8_t* target,
              std::int32_t width, std::span<const PlaneView> planes, std::int32_t y, const float* weights) {
    const std::ptrdiff_t inStep = record.inColumnBytes;
    const std::ptrdiff_t outStep = record.outColumnBytes;
    const double white = SampleWhite(bytesPerSample);
    std::int32_t levels[kChunk];
    double sources[kChunk];
    for (std::size_t p = 0; p < planes.size(); ++p) {
        const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(p) * bytesPerSample;
        const float* values = planes[p].Row(y);
        for (std::int32_t x0 = 0; x0 < width; x0 += kChunk) {
            const std::int32_t n = width - x0 < kChunk ? width - x0 : kChunk;
            if (weights != nullptr) {
                const std::uint8_t* s = source + offset + x0 * inStep;
                for (std::int32_t j = 0; j < n; ++j) sources[j] = bytesPerSample == 2 ? Load16(s + j * inStep) : s[j * inStep];
            }
            Levels(values + x0, sources, weights != nullptr ? weights + x0 : nullptr, n, white, levels);
            std::uint8_t* out = target + offset + x0 * outStep;
            if (bytesPerSample == 2) {
                for (std::int32_t j = 0; j < n; ++j) Store16(out + j * outStep, static_cast<std::uint16_t>(levels[j]));
            } else {
                for (std::int32_t j = 0; j < n; ++j) out[j * outStep] = static_cast<std::uint8_t>(levels[j]);
            }
        }
    }
}

}  // namespace

int BytesPerSample(const FilterRecord& record) { return BytesPerSampleOfMode(record.imageMode); }

void FixColumnBytes(FilterRecord& record) {
    std::int32_t natural = record.planes * BytesPerSample(record);
    if (record.inColumnBytes <= 0) record.inColumnBytes = natural;
    if (record.outColumnBytes <= 0) record.outColumnBytes = natural;
}

void ReadPlanes(const FilterRecord& record, const Rect& area, int bytesPerSample, std::span<const PlaneView> planes,
                float* weights, std::int32_t threads) {
    const std::int32_t width = area.right - area.left;
    const std::int32_t height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    const EightBitValues eightBit = MakeEightBitValues();
    ForEachRowBand(threads, width, height, [&](std::int32_t first, std::int32_t end) {
        for (std::int32_t y = first; y < end; ++y) {
            const int row = area.top + y;
            // A host that counts no planes delivers no samples: only the weights are read.
            if (!planes.empty()) ReadRow(record, bytesPerSample, InputPixel(record, row, area.left), width, eightBit, planes, y);
            if (weights != nullptr)
                ReadWeights(record, area, row, eightBit, weights + static_cast<std::ptrdiff_t>(y) * width);
        }
    });
}

void WritePlanes(const FilterRecord& record, const Rect& area, int bytesPerSample, std::span<const PlaneView> planes,
                 const float* weights, bool depthMapInForce, std::int32_t threads) {
    const std::int32_t width = area.right - area.left;
    const std::int32_t height = area.bottom - area.top;
    if (planes.empty() || width <= 0 || height <= 0) return;  // no samples delivered, none to write
    const bool blend = record.haveMask != 0 && !depthMapInForce && weights != nullptr;
    ForEachRowBand(threads, width, height, [&](std::int32_t first, std::int32_t end) {
        for (std::int32_t y = first; y < end; ++y) {
            const int row = area.top + y;
            WriteRow(record, bytesPerSample, InputPixel(record, row, area.left), OutputPixel(record, row, area.left),
                     width, planes, y, blend ? weights + static_cast<std::ptrdiff_t>(y) * width : nullptr);
        }
    });
}

}  // namespace aperlume
