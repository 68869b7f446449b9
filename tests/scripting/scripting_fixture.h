// Test fixture for the scripting tests: our own host's record and handle procedures (which count the
// handles made and disposed), the plug-in's parameter block, and our host's descriptor suite.
#pragma once

#include <gtest/gtest.h>

#include "host/plugin_context.h"
#include "tests/support/linked_host.h"
#include "tools/host/descriptor_suite.h"

namespace aperlume::testing {

class ScriptingTest : public ::testing::Test {
protected:
    ScriptingTest() {
        host_.PrepareRecord();
        record_.descriptorParameters = suite_.Parameters();
        record_.parameters = block_.Get();
        context_.filterRecord = &record_;
    }
    ~ScriptingTest() override {
        suite_.ClearDescriptor();
        EXPECT_EQ(HandlesLive(), 0) << "a host handle leaked";
        EXPECT_EQ(suite_.OpenTokens(), 0) << "a reader or writer was left open";
    }

    FilterParameters* Settings() { return &block_.Settings(); }

    // The host's handles made and disposed since the test began.
    std::int32_t HandlesLive() const { return host_.HostHandlesLive() - liveAtStart_; }
    std::int32_t HandlesDisposed() const { return host_.HostHandlesDisposed() - disposedAtStart_; }
    Handle NewHostHandle(std::int32_t size) const { return handleProcs_.newProc(size); }
    void DisposeHostHandle(Handle handle) const { handleProcs_.disposeProc(handle); }
    std::int32_t HostHandleSize(Handle handle) const { return handleProcs_.getSizeProc(handle); }
    Ptr LockHostHandle(Handle handle) const { return handleProcs_.lockProc(handle, 0); }

    testhost::FilterHost host_ = LinkedHost();
    FilterRecord& record_ = host_.Record();
    const HandleProcs& handleProcs_ = *host_.HandleProcedures();
    const std::int32_t liveAtStart_ = host_.HostHandlesLive();
    const std::int32_t disposedAtStart_ = host_.HostHandlesDisposed();
    ParameterBlock block_;
    testhost::DescriptorSuite suite_{&handleProcs_};
    PluginContext context_{};
};

}  // namespace aperlume::testing
