// Drawing documents and quirks from the fuzzer's bytes, and the end of an input.
#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "base/working_memory.h"
#include "host/global_memory_probe.h"
#include "host/process_state.h"
#include "ui/about_box_probe.h"
#include "ui/dialog_helpers_probe.h"
#include "ui/native_dialog.h"
#include "ui/preview_state.h"

namespace aperlume::fuzz {
namespace {

constexpr std::int16_t kModes[] = {kModeGrayScale, kModeRGB, kModeCMYK,   kModeLab, kModeGray16,
                                   kModeRGB48,     kModeLab48, kModeCMYK64, 0,        2,
                                   7,              -1};

// The dialog's ranges (amount, brightness, vertices, edge, ratio, rotation, soft, reserved, method,
// correction, depth, focus).
constexpr std::int16_t kLow[12] = {0, 1, 1, 0, -100, 0, 0, 0, 0, 0, 0, 0};
constexpr std::int16_t kHigh[12] = {100, 100, 8, 100, 100, 359, 1, 0, 2, 1, 1, 255};

}  // namespace

testhost::HostImage DrawImage(FuzzedDataProvider& in, std::int32_t maxSide, std::int16_t maxPlanes) {
    const std::int32_t width = in.ConsumeIntegralInRange<std::int32_t>(0, maxSide);
    const std::int32_t height = in.ConsumeIntegralInRange<std::int32_t>(0, maxSide);
    const auto planes = in.ConsumeIntegralInRange<std::int16_t>(0, maxPlanes);
    testhost::HostImage image = testhost::MakeImage(width, height, planes, in.PickValueInArray(kModes));
    std::uint32_t state = in.ConsumeIntegral<std::uint32_t>();
    const std::uint32_t flat = in.ConsumeIntegralInRange<std::uint32_t>(0, 3);  // 0: noise; else few levels
    for (std::uint8_t& sample : image.samples) {
        state = state * 1664525u + 1013904223u;
        sample = static_cast<std::uint8_t>(flat == 0 ? state >> 24 : ((state >> 30) * 85 / flat));
    }
    if (image.BytesPerSample() == 2)  // the host's 16-bit range ends at 32768
        for (std::size_t i = 1; i < image.samples.size(); i += 2) image.samples[i] &= 0x7f;
    return image;
}

std::vector<std::uint8_t> DrawSelection(FuzzedDataProvider& in, const testhost::HostImage& image) {
    if (!in.ConsumeBool()) return {};
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
    const auto kind = in.ConsumeIntegralInRange<int>(0, 3);
    std::uint32_t state = in.ConsumeIntegral<std::uint32_t>();
    for (std::uint8_t& m : mask) {
        state = state * 1664525u + 1013904223u;
        const auto r = static_cast<std::uint8_t>(state >> 24);
        m = kind == 0 ? 0 : (kind == 1 ? 255 : (kind == 2 ? (r < 128 ? 0 : 255) : r));
    }
    return mask;
}

testhost::HostQuirks DrawQuirks(FuzzedDataProvider& in) {
    testhost::HostQuirks q;
    const auto flags = in.ConsumeIntegral<std::uint16_t>();
    q.noHandleProcs = (flags & 1) != 0;
    q.nullPlatformData = (flags & 2) != 0;
    q.testsOnlyRight = (flags & 4) != 0;
    q.forgetsDataSlot = (flags & 8) != 0;
    q.noColumnBytes = (flags & 16) != 0;
    q.abortOnlyThere = (flags & 32) != 0;
    q.noAdvanceState = (flags & 0x7c0) == 0x7c0;  // rare: the run ends at once
    if ((flags & 0x800) != 0) q.advanceStateError = in.PickValueInArray<std::int16_t>({-108, -128, -1, 1, -30100});
    q.abortAtPoll = (flags & 0x1000) != 0 ? in.ConsumeIntegralInRange<std::int32_t>(1, 40) : 0;
    if ((flags & 0x2000) != 0) {
        q.layout.columnPadding = in.ConsumeIntegralInRange<std::int32_t>(0, 5);
        q.layout.rowPadding = in.ConsumeIntegralInRange<std::int32_t>(0, 9);
    }
    if ((flags & 0xc000) != 0) {  // misbehaviour
        q.misbehaveFromCall = in.ConsumeIntegralInRange<std::int32_t>(1, 4);
        const auto what = in.ConsumeIntegral<std::uint16_t>();
        if ((what & 1) != 0) q.clipColumns = in.ConsumeIntegralInRange<std::int16_t>(1, 4);
        if ((what & 2) != 0) q.tileSize = in.ConsumeIntegralInRange<std::int16_t>(1, 8);
        if ((what & 4) != 0) q.maskRowsShort = in.ConsumeIntegralInRange<std::int16_t>(1, 3);
        if ((what & 8) != 0) q.planesOff = in.ConsumeIntegralInRange<std::int16_t>(-3, 3);
        if ((what & 16) != 0) q.rowBytesUnderstated = in.ConsumeIntegralInRange<std::int32_t>(1, 64);
        if ((what & 32) != 0) q.columnBytesUnderstated = in.ConsumeIntegralInRange<std::int32_t>(1, 8);
        q.nullInData = (what & 64) != 0;
        q.nullOutData = (what & 128) != 0;
        q.nullMaskData = (what & 256) != 0;
    }
    return q;
}

void DrawSettings(FuzzedDataProvider& in, std::int16_t* slots) {
    for (int i = 0; i < 12; ++i) {
        if (in.ConsumeIntegralInRange<int>(0, 7) != 0)
            slots[i] = in.ConsumeIntegralInRange<std::int16_t>(kLow[i], kHigh[i]);
        else
            slots[i] = in.ConsumeIntegral<std::int16_t>();
    }
    if (slots[0] > kMaxAmount) slots[0] = static_cast<std::int16_t>(slots[0] % (kMaxAmount + 1));
}

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

InputScope::InputScope() : live_(LiveAllocations()), hostKind_(GetHostKind()) { ClearDialogScript(); }

InputScope::~InputScope() {
    FailAllocationNumber(0);
    Require(LiveAllocations() == live_, "every working buffer released");
    Require(GetPreviewState() == PreviewState::Idle, "the preview state idle after every selector");
    ReleaseAllMovableBlocks();
    SetHostKind(hostKind_);
    ClearDialogScript();
    ClearShownAboutBoxes();
    ClearShownAlerts();
}

}  // namespace aperlume::fuzz
