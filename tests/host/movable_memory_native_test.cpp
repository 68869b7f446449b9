// The movable-handle emulation and the context's life, observed through the native movable memory.
#include <gtest/gtest.h>

#include "host/global_memory.h"
#include "host/global_memory_probe.h"
#include "host/movable_handle.h"
#include "host/plugin_context.h"
#include "base/result.h"
#include "scripting/host_handles.h"
#include "tests/support/linked_host.h"

namespace aperlume {
namespace {

TEST(MovableHandle, IsAMasterRecordOverALockedZeroedBlock) {
    const std::int64_t live = LiveMovableBlocks();
    Handle handle = NewHandle(24);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(LiveMovableBlocks(), live + 2);
    auto* master = static_cast<MasterRecord*>(handle);
    EXPECT_EQ(std::string(master->tag, 4), "OTOF");
    EXPECT_EQ(MovableLockCount(master->data), 1);
    EXPECT_EQ(MovableLockCount(master), 1);
    EXPECT_EQ(GetHandleSize(handle), 24);
    const auto* bytes = static_cast<const std::uint8_t*>(master->data);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(bytes[i], 0);
    DisposeHandle(handle);
    EXPECT_EQ(LiveMovableBlocks(), live);
}

TEST(MovableHandle, ResizingKeepsTheContentsAndTheLock) {
    const std::int64_t live = LiveMovableBlocks();
    Handle handle = NewHandle(4);
    static_cast<std::uint8_t*>(HandleData(handle))[3] = 9;
    SetHandleSize(handle, 100);
    EXPECT_EQ(GetHandleSize(handle), 100);
    EXPECT_EQ(static_cast<std::uint8_t*>(HandleData(handle))[3], 9);
    EXPECT_EQ(static_cast<std::uint8_t*>(HandleData(handle))[99], 0);
    EXPECT_EQ(MovableLockCount(HandleData(handle)), 1);
    DisposeHandle(handle);
    DisposeHandle(nullptr);
    SetHandleSize(nullptr, 5);
    EXPECT_EQ(GetHandleSize(nullptr), 0);
    EXPECT_EQ(LiveMovableBlocks(), live);
}

TEST(MovableHandle, AFailedAllocationLeavesNothingBehind) {
    const std::int64_t live = LiveMovableBlocks();
    for (int ordinal = 1; ordinal <= 2; ++ordinal) {
        FailMovableAllocationNumber(ordinal);
        EXPECT_EQ(NewHandle(24), nullptr);
        FailMovableAllocationNumber(0);
        EXPECT_EQ(LiveMovableBlocks(), live);
    }
    EXPECT_EQ(NewHandle(-1), nullptr);
}

TEST(HostHandles, UnusableProceduresFallBackToOurOwnHandles) {
    HandleProcs procs{};
    procs.handleProcsVersion = 2;
    procs.numHandleProcs = 8;
    EXPECT_FALSE(UsableHandleProcs(&procs));
    procs.handleProcsVersion = 1;
    procs.numHandleProcs = 6;
    EXPECT_FALSE(UsableHandleProcs(&procs));
    EXPECT_FALSE(UsableHandleProcs(nullptr));
    const std::int64_t live = LiveMovableBlocks();
    Handle handle = HostNewHandle(&procs, 16);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(HostLockHandle(&procs, handle, 1), HandleData(handle));
    HostUnlockHandle(&procs, handle);
    HostDisposeHandle(&procs, handle);
    EXPECT_EQ(LiveMovableBlocks(), live);
}

TEST(Protocol, AParameterBlockThatCannotBeMadeIsRetriedByTheNextCall) {
    auto host = testing::LinkedHost();
    host.SetImage(testing::RandomImage(4, 4, 3, kModeRGB, 1u));
    // The first call makes the context (one block) and then tries the parameter block (two blocks):
    // fail the master record. The entry point drops that -108 for a new context.
    FailMovableAllocationNumber(2);
    EXPECT_EQ(host.Call(kSelectorPrepare), kNoError);
    FailMovableAllocationNumber(0);
    EXPECT_EQ(Handle{host.Record().parameters}, nullptr);  // a copy: the field is packed

    // Start retries; when that fails too, it ends with -108 and empty rectangles.
    FailMovableAllocationNumber(1);
    host.Record().inRect = {0, 0, 4, 4};
    EXPECT_EQ(host.Call(kSelectorStart), kOutOfMemory);
    FailMovableAllocationNumber(0);
    EXPECT_EQ(host.Record().inRect.right, 0);
    EXPECT_EQ(Handle{host.Record().parameters}, nullptr);  // a copy: the field is packed

    EXPECT_EQ(host.Call(kSelectorParameters), kNoError);
    ASSERT_NE(host.Settings(), nullptr);
    EXPECT_EQ(host.Settings()[0], 5);
}

TEST(Protocol, AContextThatCannotBeMadeIsOutOfMemory) {
    auto host = testing::LinkedHost();
    host.SetImage(testing::RandomImage(4, 4, 3, kModeRGB, 1u));
    FailMovableAllocationNumber(1);
    EXPECT_EQ(host.Call(kSelectorParameters), kOutOfMemory);
    FailMovableAllocationNumber(0);
    EXPECT_EQ(host.DataSlot(), 0);
}

TEST(Protocol, TheContextStaysLockedOnlyByItsCreation) {
    auto host = testing::LinkedHost();
    host.SetImage(testing::RandomImage(4, 4, 3, kModeRGB, 1u));
    ASSERT_EQ(host.Call(kSelectorParameters), kNoError);
    const void* context = reinterpret_cast<const void*>(host.DataSlot());
    EXPECT_EQ(MovableLockCount(context), 1);
    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
    EXPECT_EQ(MovableLockCount(context), 1);  // each call's lock is paired with an unlock
}

}  // namespace
}  // namespace aperlume
