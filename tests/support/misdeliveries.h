// Test support: each way a host can fail to deliver the image the plug-in asked for, as quirks of our own
// host, for the tests that check that the plug-in refuses them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/working_memory.h"
#include "tests/support/linked_host.h"
#include "tools/host/filter_host.h"

namespace aperlume::testing {

struct Misdelivery {
    const char* name;
    void (*misbehave)(testhost::HostQuirks&);
};

inline std::span<const Misdelivery> Misdeliveries() {
    static const Misdelivery kAll[] = {
        {"ClippedRectangle", [](testhost::HostQuirks& q) { q.clipColumns = 2; }},
        {"Tile", [](testhost::HostQuirks& q) { q.tileSize = 4; }},
        {"ShortMask", [](testhost::HostQuirks& q) { q.maskRowsShort = 1; }},
        {"FewerPlanes", [](testhost::HostQuirks& q) { q.planesOff = -1; }},
        {"MorePlanes", [](testhost::HostQuirks& q) { q.planesOff = 1; }},
        {"RowBytesTooSmall", [](testhost::HostQuirks& q) { q.rowBytesUnderstated = 1; }},
        {"ColumnBytesTooSmall", [](testhost::HostQuirks& q) { q.columnBytesUnderstated = 1; }},
        {"NoInput", [](testhost::HostQuirks& q) { q.nullInData = true; }},
        {"NoOutput", [](testhost::HostQuirks& q) { q.nullOutData = true; }},
        {"NoMask", [](testhost::HostQuirks& q) { q.nullMaskData = true; }},
    };
    return kAll;
}

// Runs an RGB document with transparency beside and (unless `selected` is false) a selection, with or
// without the dialog, through a host that misdelivers from advanceState call `from` on: the run ends there
// with kHostInsufficient, the output untouched, nothing kept.
inline void ExpectRunRefused(const Misdelivery& misdelivery, bool withDialog, std::int32_t from,
                             bool selected = true) {
    testhost::FilterHost host = LinkedHost();
    host.SetImage(RandomImage(9, 7, 4, kModeRGB, 11u));
    host.SetTransparencyBeside(true);
    if (selected) host.SetSelection(std::vector<std::uint8_t>(63, 200));
    testhost::HostQuirks quirks;
    misdelivery.misbehave(quirks);
    quirks.misbehaveFromCall = from;
    host.SetQuirks(quirks);
    const std::int64_t live = LiveAllocations();
    const std::int32_t handles = host.HostHandlesLive();
    EXPECT_EQ(host.Run(withDialog), kHostInsufficient) << withDialog << " " << from << " " << selected;
    EXPECT_EQ(host.AdvanceStateCalls(), from);
    EXPECT_EQ(host.ContinueCalls(), 0);
    EXPECT_EQ(host.Record().inRect.right, 0);
    EXPECT_EQ(host.Output().samples, host.Input().samples);
    EXPECT_EQ(LiveAllocations(), live);
    EXPECT_EQ(host.HostHandlesLive(), handles);
}

inline std::string MisdeliveryName(const ::testing::TestParamInfo<Misdelivery>& info) { return info.param.name; }

}  // namespace aperlume::testing
