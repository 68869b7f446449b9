// Conversion between file images and the host's interleaved images.
#include "tools/aperlume/raster_image.h"

#include <string>

namespace aperlume::tool {
namespace {

std::string SizeText(std::int32_t width, std::int32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

ToolStatus CheckRasterGeometry(std::int32_t width, std::int32_t height, std::int32_t channels,
                               std::int32_t bitDepth, const std::string& what) {
    if (width < 1 || height < 1)
        return ToolStatus::Failure(what + ": the image is empty (" + SizeText(width, height) + ")");
    if (width > kMaxImageSide || height > kMaxImageSide)
        return ToolStatus::Failure(what + ": the image is " + SizeText(width, height) + "; the filter takes at most " +
                                   std::to_string(kMaxImageSide) + " pixels a side");
    if (channels < 1 || channels > 4)
        return ToolStatus::Failure(what + ": " + std::to_string(channels) + " channels are not supported");
    if (bitDepth != 8 && bitDepth != 16)
        return ToolStatus::Failure(what + ": " + std::to_string(bitDepth) + "-bit samples are not supported");
    // Sides of at most 2^15 and 4 channels of 2 bytes stay below 2^33 bytes: in range of a 64-bit size,
    // but not of a 32-bit one.
    const std::uint64_t bytes = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) *
                                static_cast<std::uint64_t>(channels) * 2u;
    if (bytes > static_cast<std::uint64_t>(SIZE_MAX / 4))
        return ToolStatus::Failure(what + ": the image is too large for this system (" + SizeText(width, height) + ")");
    return ToolStatus::Success();
}

std::uint16_t HostFromFile16(std::uint16_t fileValue) {
    return static_cast<std::uint16_t>((static_cast<std::uint32_t>(fileValue) * 32768u + 32767u) / 65535u);
}

std::uint16_t FileFromHost16(std::uint32_t hostValue) {
    if (hostValue >= 32768u) return 65535;
    return static_cast<std::uint16_t>((hostValue * 65535u + 16384u) / 32768u);
}

testhost::HostImage ToHostImage(const RasterImage& raster) {
    const bool deep = raster.bitDepth == 16;
    const bool gray = raster.channels <= 2;
    const std::int16_t mode = gray ? (deep ? kModeGray16 : kModeGrayScale) : (deep ? kModeRGB48 : kModeRGB);
    testhost::HostImage image =
        testhost::MakeImage(raster.width, raster.height, static_cast<std::int16_t>(raster.channels), mode);
    const std::size_t count = raster.samples.size();
    if (deep) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint16_t v = HostFromFile16(raster.samples[i]);
            image.samples[2 * i] = static_cast<std::uint8_t>(v & 0xff);
            image.samples[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
        }
    } else {
        for (std::size_t i = 0; i < count; ++i) image.samples[i] = static_cast<std::uint8_t>(raster.samples[i]);
    }
    return image;
}

RasterImage FromHostImage(const testhost::HostImage& image) {
    RasterImage raster;
    raster.width = image.width;
    raster.height = image.height;
    raster.channels = image.planes;
    raster.bitDepth = image.BytesPerSample() * 8;
    const std::size_t count = image.samples.size() / static_cast<std::size_t>(image.BytesPerSample());
    raster.samples.resize(count);
    if (raster.bitDepth == 16) {
        for (std::size_t i = 0; i < count; ++i)
            raster.samples[i] =
                FileFromHost16(static_cast<std::uint32_t>(image.samples[2 * i] | (image.samples[2 * i + 1] << 8)));
    } else {
        for (std::size_t i = 0; i < count; ++i) raster.samples[i] = image.samples[i];
    }
    return raster;
}

ToolStatus SelectionFromRaster(const RasterImage& raster, std::int32_t width, std::int32_t height,
                               const std::string& what, std::vector<std::uint8_t>& selection) {
    if (raster.channels != 1)
        return ToolStatus::Failure(what + ": the selection must be a grayscale PNG without alpha");
    if (raster.width != width || raster.height != height)
        return ToolStatus::Failure(what + ": the selection is " + SizeText(raster.width, raster.height) +
                                   " but the image is " + SizeText(width, height));
    selection.resize(raster.samples.size());
    for (std::size_t i = 0; i < raster.samples.size(); ++i) {
        const std::uint32_t v = raster.samples[i];
        selection[i] = static_cast<std::uint8_t>(raster.bitDepth == 16 ? (v * 255u + 32767u) / 65535u : v);
    }
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
