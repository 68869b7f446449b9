// Our own host's images.
#include "tools/host/host_image.h"

namespace aperlume::testhost {
namespace {

std::size_t SampleOffset(const HostImage& image, int row, int column, int plane) {
    return static_cast<std::size_t>(row) * image.RowBytes() + static_cast<std::size_t>(column) * image.PixelBytes() +
           static_cast<std::size_t>(plane) * static_cast<std::size_t>(image.BytesPerSample());
}

}  // namespace

std::size_t HostImage::PixelBytes() const {
    return static_cast<std::size_t>(planes < 0 ? 0 : planes) * static_cast<std::size_t>(BytesPerSample());
}

std::size_t HostImage::RowBytes() const { return static_cast<std::size_t>(width < 0 ? 0 : width) * PixelBytes(); }

std::uint32_t HostImage::Sample(int row, int column, int plane) const {
    const std::size_t at = SampleOffset(*this, row, column, plane);
    if (BytesPerSample() == 1) return samples[at];
    return static_cast<std::uint32_t>(samples[at] | (samples[at + 1] << 8));
}

void HostImage::SetSample(int row, int column, int plane, std::uint32_t value) {
    const std::size_t at = SampleOffset(*this, row, column, plane);
    samples[at] = static_cast<std::uint8_t>(value & 0xff);
    if (BytesPerSample() == 2) samples[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

HostImage MakeImage(std::int32_t width, std::int32_t height, std::int16_t planes, std::int16_t imageMode) {
    HostImage image;
    image.width = width;
    image.height = height;
    image.planes = planes;
    image.imageMode = imageMode;
    image.samples.assign(image.RowBytes() * static_cast<std::size_t>(height), 0);
    return image;
}

}  // namespace aperlume::testhost
