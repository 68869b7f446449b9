// The exchange between GEGL buffers and the engine's planes, band by band of rows: GEGL converts into the
// chosen format, and the samples are spread into planes (or gathered from them) here.
#include "gegl/gegl_pixels.h"

#include <array>
#include <cstddef>

#include "base/image_modes.h"
#include "base/row_bands.h"
#include "base/sample_values.h"
#include "base/working_memory.h"

namespace aperlume::gegl_op {
namespace {

// A band of rows is fetched from GEGL or handed to it at a time, on the calling thread: a few megabytes,
// however large the image. Its rows are converted on the render's threads.
constexpr std::size_t kBandBytes = std::size_t{4} << 20;

using EightBitValues = std::array<float, 256>;
EightBitValues MakeEightBitValues() {
    EightBitValues values{};
    for (std::uint32_t s = 0; s < 256; ++s) values[s] = SampleValue(s, 1);
    return values;
}

// Calls visit(band, firstRow, rows) for consecutive bands of `area`'s rows, with a band buffer of
// `components` samples per pixel.
template <class Sample, class Visit>
Result ForEachBand(const GeglRectangle& area, std::size_t components, Visit visit) {
    if (area.width <= 0 || area.height <= 0) return kOk;
    const std::size_t rowSamples = static_cast<std::size_t>(area.width) * components;
    const std::size_t fit = kBandBytes / (rowSamples * sizeof(Sample));
    const std::int32_t rows =
        fit < 1 ? 1 : (fit < static_cast<std::size_t>(area.height) ? static_cast<std::int32_t>(fit) : area.height);
    Buffer<Sample> band = AllocateBuffer<Sample>(rowSamples * static_cast<std::size_t>(rows));
    if (band == nullptr) return kOutOfMemory;
    for (std::int32_t first = 0; first < area.height; first += rows) {
        const std::int32_t count = area.height - first < rows ? area.height - first : rows;
        visit(band.get(), first, count);
    }
    return kOk;
}

GeglRectangle BandRect(const GeglRectangle& area, std::int32_t first, std::int32_t count) {
    return GeglRectangle{area.x, area.y + first, area.width, count};
}

template <class Sample, class Value>
Result Read(GeglBuffer* buffer, const GeglRectangle& extent, const Babl* format, std::span<const PlaneView> planes,
            std::int32_t threads, Value value) {
    const std::size_t channels = planes.size();
    return ForEachBand<Sample>(extent, channels, [&](Sample* band, std::int32_t first, std::int32_t count) {
        const GeglRectangle rect = BandRect(extent, first, count);
        gegl_buffer_get(buffer, &rect, 1.0, format, band, GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
        ForEachRowBand(threads, extent.width, count, [&](std::int32_t begin, std::int32_t end) {
            for (std::int32_t r = begin; r < end; ++r) {
                const Sample* row = band + static_cast<std::size_t>(r) * static_cast<std::size_t>(extent.width) * channels;
                for (std::size_t c = 0; c < channels; ++c) {
                    float* out = planes[c].Row(first + r);
                    for (std::int32_t x = 0; x < extent.width; ++x)
                        out[x] = value(row[static_cast<std::size_t>(x) * channels + c]);
                }
            }
        });
    });
}

// One plane's row into every `channels`-th sample from `out`: the values are converted a chunk at a
// time into a contiguous array, in a loop the compiler turns into vector code, and only then spread.
template <class Sample, class Store>
void StoreRow(const float* in, std::int32_t width, Sample* out, std::size_t channels, Store store) {
    constexpr std::int32_t kChunk = 256;
    Sample chunk[kChunk];
    for (std::int32_t x0 = 0; x0 < width; x0 += kChunk) {
        const std::int32_t n = width - x0 < kChunk ? width - x0 : kChunk;
        // A loop of fixed length vectorises without an epilogue, which the compiler's cheap cost model wants.
        if (n == kChunk) {
            for (std::int32_t j = 0; j < kChunk; ++j) chunk[j] = store(in[x0 + j]);
        } else {
            for (std::int32_t j = 0; j < n; ++j) chunk[j] = store(in[x0 + j]);
        }
        Sample* target = out + static_cast<std::size_t>(x0) * channels;
        for (std::int32_t j = 0; j < n; ++j) target[static_cast<std::size_t>(j) * channels] = chunk[j];
    }
}

template <class Sample, class Store>
Result Write(GeglBuffer* buffer, const GeglRectangle& extent, const GeglRectangle& area, const Babl* format,
             std::span<const PlaneView> planes, std::int32_t threads, Store store) {
    const std::size_t channels = planes.size();
    const std::int32_t left = area.x - extent.x;
    const std::int32_t top = area.y - extent.y;
    return ForEachBand<Sample>(area, channels, [&](Sample* band, std::int32_t first, std::int32_t count) {
        ForEachRowBand(threads, area.width, count, [&](std::int32_t begin, std::int32_t end) {
            for (std::int32_t r = begin; r < end; ++r) {
                Sample* row = band + static_cast<std::size_t>(r) * static_cast<std::size_t>(area.width) * channels;
                for (std::size_t c = 0; c < channels; ++c)
                    StoreRow(planes[c].Row(top + first + r) + left, area.width, row + c, channels, store);
            }
        });
        const GeglRectangle rect = BandRect(area, first, count);
        gegl_buffer_set(buffer, &rect, 0, format, band, GEGL_AUTO_ROWSTRIDE);
    });
}

bool IsType(const Babl* format, const char* type) { return babl_format_get_type(format, 0) == babl_type(type); }

}  // namespace

std::int16_t PixelFormat::ImageMode() const {
    const bool eight = kind == SampleKind::Eight;
    if (gray) return eight ? kModeGrayScale : kModeGray16;
    return eight ? kModeRGB : kModeRGB48;
}

PixelFormat ChoosePixelFormat(const Babl* source) {
    PixelFormat format;
    const Babl* space = nullptr;
    if (source != nullptr) {
        const BablModelFlag flags = babl_get_model_flags(babl_format_get_model(source));
        format.gray = (flags & BABL_MODEL_FLAG_GRAY) != 0;
        format.alpha = babl_format_has_alpha(source) != 0;
        // Integer samples are taken as they are only when GEGL would not have to convert them.
        const bool asStored = (flags & BABL_MODEL_FLAG_NONLINEAR) != 0 && (flags & BABL_MODEL_FLAG_ASSOCIATED) == 0;
        if (asStored && IsType(source, "u8")) format.kind = SampleKind::Eight;
        if (asStored && IsType(source, "u16")) format.kind = SampleKind::Sixteen;
        space = babl_format_get_space(source);
    }
    const char* names[2][2][3] = {
        {{"R'G'B' u8", "R'G'B' u16", "R'G'B' float"}, {"R'G'B'A u8", "R'G'B'A u16", "R'G'B'A float"}},
        {{"Y' u8", "Y' u16", "Y' float"}, {"Y'A u8", "Y'A u16", "Y'A float"}},
    };
    format.babl = babl_format_with_space(names[format.gray][format.alpha][static_cast<int>(format.kind)], space);
    return format;
}

const Babl* DepthMapFormat(const Babl* source) {
    if (source == nullptr) return babl_format("Y' u16");
    const bool gray = (babl_get_model_flags(babl_format_get_model(source)) & BABL_MODEL_FLAG_GRAY) != 0;
    return babl_format_with_space(gray ? "Y' u16" : "R'G'B' u16", babl_format_get_space(source));
}

Result ReadPlanes(GeglBuffer* buffer, const GeglRectangle& extent, const PixelFormat& format,
                  std::span<const PlaneView> planes, std::int32_t threads) {
    switch (format.kind) {
        case SampleKind::Eight: {
            const EightBitValues eightBit = MakeEightBitValues();
            return Read<std::uint8_t>(buffer, extent, format.babl, planes, threads, [&](std::uint8_t s) { return eightBit[s]; });
        }
        case SampleKind::Sixteen:
            return Read<std::uint16_t>(buffer, extent, format.babl, planes, threads,
                                       [](std::uint16_t s) { return SampleValue(HostFromFile16(s), 2); });
        case SampleKind::Float:
            break;
    }
    return Read<float>(buffer, extent, format.babl, planes, threads, [](float v) { return v; });
}

Result WritePlanes(GeglBuffer* buffer, const GeglRectangle& extent, const GeglRectangle& area,
                   const PixelFormat& format, std::span<const PlaneView> planes, std::int32_t threads) {
    switch (format.kind) {
        case SampleKind::Eight:
            return Write<std::uint8_t>(buffer, extent, area, format.babl, planes, threads, [](float v) {
                return static_cast<std::uint8_t>(SampleLevel(v * double{kEightBitWhite}, kEightBitWhite));
            });
        case SampleKind::Sixteen:
            return Write<std::uint16_t>(buffer, extent, area, format.babl, planes, threads, [](float v) {
                return FileFromHost16(static_cast<std::uint32_t>(SampleLevel(v * double{kSixteenBitWhite}, kSixteenBitWhite)));
            });
        case SampleKind::Float:
            break;
    }
    // NaN fails both comparisons and becomes 0, as the integer write-backs make it.
    return Write<float>(buffer, extent, area, format.babl, planes, threads,
                        [](float v) { return v >= 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; });
}

Result ReadDepthMap(GeglBuffer* aux, const GeglRectangle& extent, const Babl* format, float* weights,
                    std::int32_t threads) {
    const EightBitValues eightBit = MakeEightBitValues();
    const auto components = static_cast<std::size_t>(babl_format_get_n_components(format));
    constexpr std::uint64_t kFull = 65535;
    const auto width = static_cast<std::size_t>(extent.width);
    return ForEachBand<std::uint16_t>(extent, components, [&](std::uint16_t* band, std::int32_t first, std::int32_t count) {
        const GeglRectangle rect = BandRect(extent, first, count);
        gegl_buffer_get(aux, &rect, 1.0, format, band, GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
        ForEachRowBand(threads, extent.width, count, [&](std::int32_t begin, std::int32_t end) {
            for (std::size_t i = static_cast<std::size_t>(begin) * width; i < static_cast<std::size_t>(end) * width; ++i) {
                const std::uint16_t* p = band + i * components;
                const std::uint8_t level =
                    components >= 3 ? SelectionLevel(p[0], p[1], p[2], kFull) : SelectionLevel(p[0], p[0], p[0], kFull);
                weights[static_cast<std::size_t>(first) * width + i] = eightBit[level];
            }
        });
    });
}

}  // namespace aperlume::gegl_op
