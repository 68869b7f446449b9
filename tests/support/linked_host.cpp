// Test support: the linked host and image builders.
#include "tests/support/linked_host.h"

#include <string>

#include "host/movable_handle.h"
#include "plugin/plugin_export.h"
#include "tools/host/module_loader.h"

namespace aperlume::testing {

testhost::FilterHost LinkedHost() { return testhost::FilterHost(&PluginMain); }

ParameterBlock::ParameterBlock() : handle_(NewHandle(static_cast<std::int32_t>(sizeof(FilterParameters)))) {
    Settings() = kDefaultParameters;
}

ParameterBlock::~ParameterBlock() { DisposeHandle(handle_); }

FilterParameters& ParameterBlock::Settings() const { return *static_cast<FilterParameters*>(HandleData(handle_)); }

testhost::HostImage RandomImage(std::int32_t width, std::int32_t height, std::int16_t planes, std::int16_t imageMode,
                                std::uint32_t seed) {
    testhost::HostImage image = testhost::MakeImage(width, height, planes, imageMode);
    const std::uint32_t maximum = image.BytesPerSample() == 2 ? 32768u : 255u;
    std::uint32_t state = seed;
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            for (int p = 0; p < planes; ++p) {
                state = state * 1664525u + 1013904223u;
                image.SetSample(row, column, p, (state >> 8) % (maximum + 1));
            }
    return image;
}

std::string ModulePath() {
#ifdef APERLUME_MODULE_PATH
    return testhost::PlatformPath(APERLUME_MODULE_PATH);
#else
    return std::string();
#endif
}

}  // namespace aperlume::testing
