// The plug-in's scripting read (and the write after it) against random descriptors served by our host's
// descriptor suite: any keys, any value types and values, missing procedures, a reader token that never
// comes, a close that fails, any play information. Whatever happens: no fault, no undefined behaviour,
// every reader and writer closed, and every host handle made for a descriptor released (when the host
// offers the procedures to release it).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "host/movable_handle.h"
#include "host/plugin_context.h"
#include "plugin/plugin_export.h"
#include "scripting/script_parameters.h"
#include "tools/host/descriptor_suite.h"

namespace aperlume::fuzz {
namespace {

// The keys and enumerators the plug-in knows, among others it does not.
constexpr DescriptorKeyID kKeys[] = {FourCC("Amnt"), FourCC("srgh"), FourCC("Peak"), FourCC("Edg "),
                                     FourCC("Rt  "), FourCC("Rtt "), FourCC("Soft"), FourCC("Mthd"),
                                     FourCC("Cmpn"), FourCC("Dpth"), FourCC("Fcs "), FourCC("null"),
                                     0,              FourCC("Xtra")};
constexpr DescriptorTypeID kTypes[] = {testhost::kTypeInteger,   testhost::kTypeFloat,     testhost::kTypeUnitFloat,
                                       testhost::kTypeBoolean,   testhost::kTypeText,      testhost::kTypeAlias,
                                       testhost::kTypeEnumerated, testhost::kTypeClass,    testhost::kTypeReference,
                                       testhost::kTypeObject,    testhost::kTypeCount,     testhost::kTypeString,
                                       0};
constexpr DescriptorEnumID kEnumerators[] = {FourCC("MCov"), FourCC("MMC "), FourCC("MFFT"), FourCC("CGmm"),
                                             FourCC("CExp"), 0};

testhost::DescriptorItem DrawItem(FuzzedDataProvider& in) {
    testhost::DescriptorItem item;
    item.key = in.ConsumeBool() ? in.PickValueInArray(kKeys) : in.ConsumeIntegral<DescriptorKeyID>();
    item.type = in.PickValueInArray(kTypes);
    item.detail = in.ConsumeBool() ? item.key : in.ConsumeIntegral<std::uint32_t>();
    item.integer = in.ConsumeBool() ? in.PickValueInArray(kEnumerators) : in.ConsumeIntegral<std::int64_t>();
    item.real = in.ConsumeFloatingPoint<double>();
    item.data = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 300));
    return item;
}

}  // namespace
}  // namespace aperlume::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace aperlume;
    using namespace aperlume::fuzz;
    FuzzedDataProvider in(data, size);
    InputScope scope;
    testhost::FilterHost host(&PluginMain);
    host.PrepareRecord();
    const std::int32_t handles = host.HostHandlesLive();
    {
        testhost::DescriptorSuite suite(host.HandleProcedures());
        std::vector<testhost::DescriptorItem> items;
        const int count = in.ConsumeIntegralInRange<int>(0, 16);
        for (int i = 0; i < count; ++i) items.push_back(DrawItem(in));
        if (in.ConsumeIntegralInRange<int>(0, 7) != 0) suite.SetDescriptor(items);
        suite.SetPlayInfo(in.ConsumeIntegralInRange<std::int16_t>(-1, 3));
        if (in.ConsumeIntegralInRange<int>(0, 5) == 0)
            suite.NullReadProcedure(in.ConsumeIntegralInRange<std::size_t>(0, testhost::kReadProcedureSlots - 1));
        if (in.ConsumeIntegralInRange<int>(0, 5) == 0)
            suite.NullWriteProcedure(in.ConsumeIntegralInRange<std::size_t>(0, testhost::kWriteProcedureSlots - 1));
        if (in.ConsumeIntegralInRange<int>(0, 5) == 0) suite.SetCloseReadResult(in.ConsumeIntegral<std::int16_t>());
        suite.SetNullReaderToken(in.ConsumeIntegralInRange<int>(0, 9) == 0);

        FilterRecord& record = host.Record();
        record.descriptorParameters = suite.Parameters();
        // Without handle procedures the plug-in cannot release the host's descriptor; the host keeps it.
        const bool handleProcedures = in.ConsumeIntegralInRange<int>(0, 9) != 0;
        if (!handleProcedures) record.handleProcs = nullptr;
        record.parameters = in.ConsumeIntegralInRange<int>(0, 9) == 0 ? nullptr : NewHandle(24);
        PluginContext context{};
        context.filterRecord = &record;
        static_cast<void>(ReadScriptParameters(context));
        WriteScriptParameters(context);
        static_cast<void>(ReadScriptParameters(context));
        Require(suite.OpenTokens() == 0, "every reader and writer closed");
        suite.ClearDescriptor();
        Require(!handleProcedures || host.HostHandlesLive() == handles, "every descriptor handle released");
    }
    return 0;
}
