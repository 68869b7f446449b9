// A selection from an image: its brightness, one byte per pixel.
#include "tools/aperlume/selection_image.h"

#include "base/sample_values.h"
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
    // Gray as it is, colour by its luma (SelectionLevel); alpha is no part of a selection's value.
    const std::uint64_t full = wide ? 65535u : 255u;
    selection.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = i * channels;
        selection[i] = channels >= 3 ? SelectionLevel(sample(at), sample(at + 1), sample(at + 2), full)
                                     : SelectionLevel(sample(at), sample(at), sample(at), full);
    }
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
