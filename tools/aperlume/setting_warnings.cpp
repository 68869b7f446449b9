// Finding settings without effect. Whether the aperture draws anything is asked of the drawing code
// itself: the conditions depend on the amount, the edge, the ratio and the anti-aliasing together.
#include "tools/aperlume/setting_warnings.h"

#include <cstdint>

#include "base/settings_table.h"
#include "base/working_memory.h"
#include "engine/aperture_kernel.h"

namespace aperlume::tool {
namespace {

// The number of pixels of the final run's aperture that carry weight (at most 2).
int WeightedAperturePixels(const FilterParameters& settings) {
    const std::int32_t diameter = 2 * settings.amount + 1;
    Buffer<float> kernel = AllocateRaster<float>(diameter, diameter);
    if (kernel == nullptr) return 2;  // cannot tell: say nothing
    BuildApertureKernel(settings, diameter, diameter, diameter, kernel.get());
    int weighted = 0;
    for (std::int64_t i = 0; i < std::int64_t{diameter} * diameter && weighted < 2; ++i)
        if (kernel.get()[i] != 0.0f) ++weighted;
    return weighted;
}

}  // namespace

std::vector<std::string> IneffectiveSettings(const FilterParameters& settings, bool hasSelection) {
    std::vector<std::string> warnings;
    if (settings.depth != 0 && !hasSelection)
        warnings.push_back("--depth-map uses the selection as depth map; without --selection the whole image is at depth 255");
    if (settings.depth != 0 && settings.method != 0)
        warnings.push_back("--depth-map has effect only with --method normal");
    if (settings.depth == 0 && settings.focus != ToolDefault(SettingOf(&FilterParameters::focus)))
        warnings.push_back("--focus has effect only with --depth-map");
    if (settings.amount > 0 && WeightedAperturePixels(settings) < 2)
        warnings.push_back("with --edge " + std::to_string(settings.edge) + " and --ratio " +
                           std::to_string(settings.ratio) +
                           " the aperture is empty or a single point: the image is not blurred");
    return warnings;
}

}  // namespace aperlume::tool
