// The built-in sample: a night street, drawn procedurally so that the tool can show the filter without
// an image of one's own. Dark sky and buildings with many small bright lights of several colours and
// sizes (windows, street lamps, traffic and car lights, distant city lights), and a few neon shapes:
// under the blur every bright point blooms into the shape of the aperture.
#pragma once

#include <cstdint>

#include "tools/imagefile/tool_image.h"

namespace aperlume::tool {

inline constexpr std::int32_t kSampleWidth = 640;
inline constexpr std::int32_t kSampleHeight = 400;

// The sample as an 8-bit RGB image. The same every time.
ToolImage BuildSampleImage();

}  // namespace aperlume::tool
