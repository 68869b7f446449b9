// The selection the tool gives the plug-in (and its depth map), from a gray image file of the image's size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/imagefile/tool_image.h"

namespace aperlume::tool {

// One selection byte per pixel from an image of the given size, read with SampleRange::File (16-bit
// values scaled to 8 bits with rounding): gray as it is, colour by its luma; alpha is ignored. Fails,
// naming `what`, for an image of another size.
ToolStatus SelectionFromImage(const ToolImage& image, std::int32_t width, std::int32_t height,
                              const std::string& what, std::vector<std::uint8_t>& selection);

}  // namespace aperlume::tool
