// The whole plug-in through its entry point, driven by our own host: random documents (size, image mode,
// plane count, transparency beside, selection), host quirks and misbehaviour, host kinds, settings within
// and outside their ranges, dialog users, and selector sequences in any order, with the record edited
// between calls as a hostile host might. Whatever happens: no fault, no undefined behaviour, no leak,
// every working buffer released and the preview idle after each input, and a run that fails leaves the
// document untouched.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "host/process_state.h"
#include "plugin/plugin_export.h"
#include "ui/dialog_ids.h"
#include "ui/native_dialog.h"

namespace aperlume::fuzz {
namespace {

constexpr std::int16_t kHostKinds[] = {HostOther, HostFireworks, HostPhotoshop, HostPremiere, HostAfterEffects};
constexpr std::int16_t kSliders[] = {kAmountSlider, kBrightnessSlider, kVerticesSlider, kEdgeSlider,
                                     kRatioSlider,  kRotationSlider,   kFocusSlider};
constexpr std::int16_t kButtons[] = {kOkButton,   kCancelButton,    kZoomInButton, kZoomOutButton, kSoftCheck,
                                     kDepthCheck, kLogarithmRadio,  kGammaRadio,   kNormalRadio,   kMonteCarloRadio,
                                     kFftRadio};

// What the user does in the next dialog, before or during its preview renders.
void ScriptUser(FuzzedDataProvider& in) {
    const int actions = in.ConsumeIntegralInRange<int>(0, 3);
    for (int i = 0; i < actions; ++i) {
        const bool during = in.ConsumeBool();
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
            case 0:
                ScriptDialogAction(
                    MoveSliderAction(in.PickValueInArray(kSliders), in.ConsumeIntegralInRange<std::int32_t>(-5, 400), during));
                break;
            case 1:
                ScriptDialogAction(ClickAction(in.PickValueInArray(kButtons), during));
                break;
            case 2:
                ScriptDialogAction(TypeAction(kAmountEdit, in.ConsumeBool() ? "-12" : "250", during));
                break;
            default:
                ScriptDialogAction(CloseAction(during));
                break;
        }
    }
}

// The record as a hostile host hands it over: geometry that no longer matches what was served.
void EditRecord(FuzzedDataProvider& in, FilterRecord& record) {
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
        case 0:
            record.imageSize.v = in.ConsumeIntegralInRange<std::int16_t>(-2, 30);
            break;
        case 1:
            record.imageSize.h = in.ConsumeIntegralInRange<std::int16_t>(-2, 30);
            break;
        case 2:
            record.planes = in.ConsumeIntegralInRange<std::int16_t>(-1, 10);
            break;
        case 3:
            record.haveMask = static_cast<Boolean>(in.ConsumeBool());
            break;
        case 4:
            record.filterRect = Rect16{in.ConsumeIntegralInRange<std::int16_t>(-3, 30), in.ConsumeIntegralInRange<std::int16_t>(-3, 30),
                                       in.ConsumeIntegralInRange<std::int16_t>(-3, 30), in.ConsumeIntegralInRange<std::int16_t>(-3, 30)};
            break;
        default:
            record.imageMode = in.ConsumeIntegralInRange<std::int16_t>(0, 14);
            break;
    }
}

std::int16_t Selector(FuzzedDataProvider& in) {
    const auto pick = in.ConsumeIntegralInRange<int>(0, 12);
    return pick < 11 ? static_cast<std::int16_t>(1 + pick % 5) : (pick == 11 ? std::int16_t{0} : std::int16_t{6});
}

}  // namespace
}  // namespace aperlume::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace aperlume;
    using namespace aperlume::fuzz;
    FuzzedDataProvider in(data, size);
    InputScope scope;
    SetHostKind(in.PickValueInArray(kHostKinds));
    testhost::FilterHost host(&PluginMain);
    testhost::HostImage image = DrawImage(in, 20, 9);
    host.SetImage(image);
    host.SetTransparencyBeside(image.planes > 1 && in.ConsumeBool());
    host.SetSelection(DrawSelection(in, image));
    host.SetQuirks(DrawQuirks(in));

    const int steps = in.ConsumeIntegralInRange<int>(1, 8);
    for (int step = 0; step < steps && in.remaining_bytes() > 0; ++step) {
        switch (in.ConsumeIntegralInRange<int>(0, 9)) {
            case 0:
            case 1: {  // a whole run from the document as it stands
                ScriptUser(in);
                host.SetImage(image);
                const std::int16_t result = host.Run(in.ConsumeBool());
                Require(result == 0 || host.Output().samples == image.samples, "a failed run leaves the document");
                break;
            }
            case 2:
            case 3:
            case 4: {
                ScriptUser(in);
                const std::int16_t selector = Selector(in);
                static_cast<void>(selector == kSelectorAbout ? host.CallAbout() : host.Call(selector));
                break;
            }
            case 5:
                if (std::int16_t* slots = host.Settings(); slots != nullptr) DrawSettings(in, slots);
                break;
            case 6:
                host.PrepareRecord();
                EditRecord(in, host.Record());
                static_cast<void>(host.CallAsIs(std::max<std::int16_t>(Selector(in), kSelectorParameters)));
                break;
            case 7:
                host.SetQuirks(DrawQuirks(in));
                break;
            case 8:
                FailAllocationNumber(in.ConsumeIntegralInRange<std::int64_t>(1, 40));
                break;
            default:
                image = DrawImage(in, 20, 9);
                host.SetImage(image);
                host.SetSelection(DrawSelection(in, image));
                break;
        }
    }
    return 0;
}
