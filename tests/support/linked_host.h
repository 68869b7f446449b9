// Test support: our own host driving the plug-in code linked into the test program, plus small image
// builders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/host/filter_host.h"

namespace aperlume::testing {

// A host whose entry point is the plug-in's PluginMain linked into this program.
testhost::FilterHost LinkedHost();

// An image with every sample drawn from a fixed-seed generator.
testhost::HostImage RandomImage(std::int32_t width, std::int32_t height, std::int16_t planes, std::int16_t imageMode,
                                std::uint32_t seed);

// The plug-in module built beside this test program, in the platform's own path form.
std::string ModulePath();

}  // namespace aperlume::testing
