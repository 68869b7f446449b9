// A selection from an image: its brightness, one byte per pixel.
#include "tools/aperlume/selection_image.h"

#include "tools/imagefile/byte_order.h"

namespace aperlume::tool {

ToolStatus SelectionFromImage(const ToolImage& image, std::int32_t width, std::int32_t height,
                              const std::string& what, std::vector<std::uint8_t>& selection) {
    if (image.width != width || image.height != height)
        return ToolStatus::Failure(what + ": the selection is " + SizeText(image.width, image.height) +
                                   " but the image is " + SizeText(width, height));
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const auto channels = static_cast<std::size_t>(image.channels);
    const bool wide = image.BytesPerSample() == 2;
    const auto sample = [&](std::size_t index) -> std::uint64_t {
        return wide ? LittleEndian16(&image.samples[2 * index]) : image.samples[index];
    };
    // Gray as it is; colour by its luma (ITU-R BT.601 weights, as an editor turns colour into gray);
    // alpha is no part of a selection's value. One rounding from the file's value to 8 bits.
    const std::uint64_t full = wide ? 65535u : 255u;
    selection.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = i * channels;
        const std::uint64_t luma1000 =
            channels >= 3 ? 299 * sample(at) + 587 * sample(at + 1) + 114 * sample(at + 2) : 1000 * sample(at);
        selection[i] = static_cast<std::uint8_t>((luma1000 * 255 + 500 * full) / (1000 * full));
    }
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
