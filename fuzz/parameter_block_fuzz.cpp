// A parameters handle with any 0..64 bytes, as a hostile or broken host may restore it, through whole
// runs (with and without the dialog) on a small document. A block shorter than the settings is refused
// with the bad-parameters code; any other is read as settings, whatever their values. Whatever happens:
// no fault, no undefined behaviour, no leak, and a failed run leaves the document untouched.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/result.h"
#include "fuzz/fuzz_support.h"
#include "host/movable_handle.h"
#include "plugin/plugin_export.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace aperlume;
    using namespace aperlume::fuzz;
    FuzzedDataProvider in(data, size);
    InputScope scope;
    const bool dialog = in.ConsumeBool();
    const auto mode = in.PickValueInArray<std::int16_t>({kModeRGB, kModeRGB48, kModeGrayScale, kModeGray16});
    const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 64));
    std::vector<std::uint8_t> block = bytes;
    // The amount (the first slot) is kept within what a fuzz run can give memory for.
    if (block.size() >= 2) {
        std::int16_t amount = 0;
        std::memcpy(&amount, block.data(), 2);
        if (amount > kMaxAmount) amount = static_cast<std::int16_t>(amount % (kMaxAmount + 1));
        std::memcpy(block.data(), &amount, 2);
    }

    testhost::FilterHost host(&PluginMain);
    testhost::HostImage image = testhost::MakeImage(11, 8, mode == kModeRGB || mode == kModeRGB48 ? 3 : 1, mode);
    for (std::size_t i = 0; i < image.samples.size(); ++i) image.samples[i] = static_cast<std::uint8_t>(i * 29 % 128);
    host.SetImage(image);
    if (in.ConsumeBool()) host.SetSelection(std::vector<std::uint8_t>(88, in.ConsumeIntegral<std::uint8_t>()));
    Handle parameters = NewHandle(static_cast<std::int32_t>(block.size()));
    Require(parameters != nullptr, "a handle for the block");
    if (!block.empty()) std::memcpy(HandleData(parameters), block.data(), block.size());
    host.Record().parameters = parameters;

    const std::int16_t result = host.Run(dialog);
    if (block.size() < 24) Require(result == kBadParameters, "a short block is refused");
    Require(result == 0 || host.Output().samples == image.samples, "a failed run leaves the document");
    Require(host.Record().parameters == parameters, "the host's block stays");
    return 0;
}
