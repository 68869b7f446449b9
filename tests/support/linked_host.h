// Test support: our own host driving the plug-in code linked into the test program (the one fake host of
// the test suites), a parameter block for tests that drive parts of the plug-in without its selectors,
// and small image builders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/filter_parameters.h"
#include "host/host_records.h"
#include "tools/host/filter_host.h"

namespace aperlume::testing {

// A host whose entry point is the plug-in's PluginMain linked into this program.
testhost::FilterHost LinkedHost();

// A parameter block with the defaults, in a handle made as the plug-in makes its own; released at the end
// of the scope (which a host would keep).
class ParameterBlock {
public:
    ParameterBlock();
    ~ParameterBlock();
    ParameterBlock(const ParameterBlock&) = delete;
    ParameterBlock& operator=(const ParameterBlock&) = delete;

    Handle Get() const { return handle_; }
    FilterParameters& Settings() const;

private:
    Handle handle_;
};

// An image with every sample drawn from a fixed-seed generator.
testhost::HostImage RandomImage(std::int32_t width, std::int32_t height, std::int16_t planes, std::int16_t imageMode,
                                std::uint32_t seed);

// The plug-in module built beside this test program, in the platform's own path form.
std::string ModulePath();

}  // namespace aperlume::testing
