// Test fixture for the scripting tests: a filter record with host handle procedures that count their
// live handles, the plug-in's parameter block, and our host's descriptor suite.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "host/movable_handle.h"
#include "host/plugin_context.h"
#include "tools/host/descriptor_suite.h"

namespace aperlume::testing {

// Host handles: a heap block behind a small master record, as the classic handle model has it.
struct CountingHandles {
    struct Block {
        void* data;
        std::int32_t size;
    };
    static inline std::int32_t live = 0;
    static inline std::int32_t disposed = 0;

    static Handle New(std::int32_t size) {
        if (size < 0) return nullptr;
        auto* block = static_cast<Block*>(std::calloc(1, sizeof(Block)));
        block->data = std::calloc(size == 0 ? 1 : static_cast<std::size_t>(size), 1);
        block->size = size;
        ++live;
        return block;
    }
    static void Dispose(Handle handle) {
        if (handle == nullptr) return;
        auto* block = static_cast<Block*>(handle);
        std::free(block->data);
        std::free(block);
        --live;
        ++disposed;
    }
    static std::int32_t Size(Handle handle) { return handle == nullptr ? 0 : static_cast<Block*>(handle)->size; }
    static OSErr SetSize(Handle, std::int32_t) { return -108; }
    static Ptr Lock(Handle handle, Boolean) { return handle == nullptr ? nullptr : static_cast<Block*>(handle)->data; }
    static void Unlock(Handle) {}

    static HandleProcs Procs() { return HandleProcs{1, 8, &New, &Dispose, &Size, &SetSize, &Lock, &Unlock, nullptr, nullptr}; }
};

class ScriptingTest : public ::testing::Test {
protected:
    ScriptingTest() {
        CountingHandles::live = 0;
        CountingHandles::disposed = 0;
        record_.handleProcs = &handleProcs_;
        record_.descriptorParameters = suite_.Parameters();
        record_.parameters = NewHandle(static_cast<std::int32_t>(sizeof(FilterParameters)));
        *Settings() = kDefaultParameters;
        context_.filterRecord = &record_;
    }
    ~ScriptingTest() override {
        suite_.ClearDescriptor();
        DisposeHandle(record_.parameters);
        EXPECT_EQ(CountingHandles::live, 0) << "a host handle leaked";
        EXPECT_EQ(suite_.OpenTokens(), 0) << "a reader or writer was left open";
    }

    FilterParameters* Settings() { return static_cast<FilterParameters*>(HandleData(record_.parameters)); }

    HandleProcs handleProcs_ = CountingHandles::Procs();
    testhost::DescriptorSuite suite_{&handleProcs_};
    FilterRecord record_{};
    PluginContext context_{};
};

}  // namespace aperlume::testing
