// Recording and replaying the settings through our host's descriptor suite.
#include "scripting/script_parameters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/scripting/scripting_fixture.h"

namespace aperlume {
namespace {

using testhost::DescriptorItem;
using testhost::EnumeratedItem;
using testhost::IntegerItem;
using testing::ScriptingTest;

// The keys in the settings table's order (the terminology test holds them byte for byte).
DescriptorKeyID KeyAt(std::size_t i) { return FourCC(kSettings.at(i).key); }

using ScriptParametersRead = ScriptingTest;
using ScriptParametersWrite = ScriptingTest;

TEST_F(ScriptParametersRead, ADescriptorWithOnlyFocusChangesFocusAlone) {
    FilterParameters before = *Settings();
    before.reserved = 77;
    *Settings() = before;
    suite_.SetDescriptor({IntegerItem(FourCC("Fcs "), 200)});
    EXPECT_EQ(ReadScriptParameters(context_), kMissingParameter) << "the nine expected keys were missing";
    FilterParameters expected = before;
    expected.focus = 200;
    EXPECT_EQ(std::memcmp(Settings(), &expected, sizeof expected), 0);
}

TEST_F(ScriptParametersRead, TheReaderIsClosedAndTheDescriptorConsumed) {
    suite_.SetDescriptor({IntegerItem(FourCC("Amnt"), 9)});
    (void)ReadScriptParameters(context_);
    EXPECT_EQ(suite_.Parameters()->descriptor, nullptr);
    EXPECT_EQ(HandlesDisposed(), 1) << "released through the host's dispose procedure";
    EXPECT_EQ(suite_.ReadersOpened(), 1);
}

TEST_F(ScriptParametersRead, AForcedMissingParameterResultKeepsTheValuesRead) {
    suite_.SetDescriptor({IntegerItem(FourCC("Amnt"), 12)});
    suite_.SetCloseReadResult(kMissingParameter);
    EXPECT_EQ(ReadScriptParameters(context_), kMissingParameter);
    EXPECT_EQ(Settings()->amount, 12);
}

TEST_F(ScriptParametersRead, AnotherCloseErrorIsReportedAndKeepsTheValuesRead) {
    suite_.SetDescriptor({IntegerItem(FourCC("Amnt"), 12)});
    suite_.SetCloseReadResult(-108);
    EXPECT_EQ(ReadScriptParameters(context_), -108);
    EXPECT_EQ(Settings()->amount, 12);
}

TEST_F(ScriptParametersRead, IntegersKeepTheirLow16BitsUnchecked) {
    suite_.SetDescriptor({IntegerItem(FourCC("Amnt"), 65536 + 5), IntegerItem(FourCC("Rt  "), -70000),
                          IntegerItem(FourCC("Rtt "), 40000), IntegerItem(FourCC("Peak"), 99)});
    (void)ReadScriptParameters(context_);
    EXPECT_EQ(Settings()->amount, 5);
    EXPECT_EQ(Settings()->ratio, static_cast<std::int16_t>(-70000 & 0xffff));
    EXPECT_EQ(Settings()->rotation, static_cast<std::int16_t>(40000 - 65536));
    EXPECT_EQ(Settings()->vertices, 99) << "out of range values are stored as they arrive";
}

TEST_F(ScriptParametersRead, EnumeratorsMapToTheirValuesAndUnknownOnesToZero) {
    struct Case {
        DescriptorEnumID enumerator;
        std::int16_t expected;
    };
    for (const Case c : {Case{FourCC("MFFT"), 2}, Case{FourCC("MMC "), 1}, Case{FourCC("MCov"), 0},
                         Case{FourCC("MXYZ"), 0}}) {
        Settings()->method = 5;
        suite_.SetDescriptor({EnumeratedItem(FourCC("Mthd"), FourCC("Mthd"), c.enumerator)});
        (void)ReadScriptParameters(context_);
        EXPECT_EQ(Settings()->method, c.expected) << std::hex << c.enumerator;
    }
    for (const Case c : {Case{FourCC("CExp"), 1}, Case{FourCC("CGmm"), 0}, Case{FourCC("MFFT"), 0}}) {
        Settings()->correction = 5;
        suite_.SetDescriptor({EnumeratedItem(FourCC("Cmpn"), FourCC("Cmpn"), c.enumerator)});
        (void)ReadScriptParameters(context_);
        EXPECT_EQ(Settings()->correction, c.expected) << std::hex << c.enumerator;
    }
}

TEST_F(ScriptParametersRead, UnknownKeysAreSkippedAndWrongTypesLeaveTheField) {
    DescriptorItem unknown = IntegerItem(FourCC("Xtra"), 1234);
    DescriptorItem amountAsEnum = EnumeratedItem(FourCC("Amnt"), FourCC("Mthd"), FourCC("MFFT"));
    suite_.SetDescriptor({unknown, amountAsEnum, IntegerItem(FourCC("Edg "), 42)});
    (void)ReadScriptParameters(context_);
    EXPECT_EQ(Settings()->amount, 5) << "a value the host could not deliver as an integer";
    EXPECT_EQ(Settings()->edge, 42) << "reading goes on after an unknown key";
}

TEST_F(ScriptParametersRead, ShowDialogFollowsPlayInfoWhenTheSuiteIsAvailable) {
    for (std::int16_t playInfo : {std::int16_t{0}, std::int16_t{1}, std::int16_t{2}}) {
        context_.showDialog = 1;  // as after a parameters call
        suite_.SetPlayInfo(playInfo);
        suite_.SetDescriptor({});
        (void)ReadScriptParameters(context_);
        EXPECT_EQ(context_.showDialog, playInfo == 1 ? 1 : 0) << "playInfo " << playInfo;
    }
}

TEST_F(ScriptParametersRead, ANullReaderTokenReadsNothingButStillDecidesTheDialog) {
    suite_.SetDescriptor({IntegerItem(FourCC("Amnt"), 50)});
    suite_.SetNullReaderToken(true);
    suite_.SetPlayInfo(1);
    EXPECT_EQ(ReadScriptParameters(context_), 0);
    EXPECT_EQ(Settings()->amount, 5);
    EXPECT_EQ(context_.showDialog, 1);
    EXPECT_NE(suite_.Parameters()->descriptor, nullptr) << "nothing was read, so nothing was consumed";
}

TEST_F(ScriptParametersRead, AnIncompleteSuiteIsNotUsedAndLeavesShowDialog) {
    suite_.SetDescriptor({IntegerItem(FourCC("Amnt"), 50)});
    suite_.SetPlayInfo(0);
    suite_.NullReadProcedure(17);  // the last slot, which the plug-in never calls
    context_.showDialog = 1;
    EXPECT_EQ(ReadScriptParameters(context_), 0);
    EXPECT_EQ(Settings()->amount, 5);
    EXPECT_EQ(context_.showDialog, 1);
    EXPECT_EQ(suite_.ReadersOpened(), 0);
}

TEST_F(ScriptParametersRead, ANullDescriptorBlockIsAHostWithoutScripting) {
    record_.descriptorParameters = nullptr;
    context_.showDialog = 1;
    EXPECT_EQ(ReadScriptParameters(context_), 0);
    EXPECT_EQ(context_.showDialog, 1);
}

// The expected-key list is the ten keys without focus, ending in 0, and is handed over writable.
DescriptorKeyID capturedKeys[16];
OpenReadDescriptorProc forwardOpen = nullptr;

PIReadDescriptor CapturingOpen(Handle descriptor, DescriptorKeyIDArray keys) {
    for (int i = 0; i < 16; ++i) {
        capturedKeys[i] = keys[i];
        if (keys[i] == 0) break;
    }
    return forwardOpen(descriptor, keys);
}

TEST_F(ScriptParametersRead, TheExpectedKeysAreTenWithoutFocus) {
    forwardOpen = suite_.ReadProcs().openReadDescriptorProc;
    suite_.ReadProcs().openReadDescriptorProc = &CapturingOpen;
    suite_.SetDescriptor({});
    (void)ReadScriptParameters(context_);
    for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(capturedKeys[i], KeyAt(i)) << i;
    EXPECT_EQ(capturedKeys[10], 0u);
}

TEST_F(ScriptParametersWrite, AllElevenKeysInOrderWithTheirTypes) {
    *Settings() = FilterParameters{-1, 100, 8, 50, -100, 359, 1, 99, 2, 1, 1, 255};
    WriteScriptParameters(context_);
    const std::vector<DescriptorItem> items = suite_.Descriptor();
    ASSERT_EQ(items.size(), 11u);
    for (std::size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].key, KeyAt(i)) << i;
    EXPECT_EQ(items[0].type, testhost::kTypeInteger);
    EXPECT_EQ(items[0].integer, -1) << "sign-extended";
    EXPECT_EQ(items[7].type, testhost::kTypeEnumerated);
    EXPECT_EQ(items[7].detail, FourCC("Mthd")) << "the enumeration type is the key itself";
    EXPECT_EQ(items[7].integer, FourCC("MFFT"));
    EXPECT_EQ(items[8].detail, FourCC("Cmpn"));
    EXPECT_EQ(items[8].integer, FourCC("CExp"));
    EXPECT_EQ(items[10].integer, 255);
    EXPECT_EQ(suite_.Parameters()->recordInfo, 0);
}

TEST_F(ScriptParametersWrite, OutOfRangeChoicesAreWrittenAsTheFirstEnumerator) {
    Settings()->method = 7;
    Settings()->correction = 2;
    WriteScriptParameters(context_);
    const std::vector<DescriptorItem> items = suite_.Descriptor();
    ASSERT_EQ(items.size(), 11u);
    EXPECT_EQ(items[7].integer, FourCC("MCov"));
    EXPECT_EQ(items[8].integer, FourCC("CGmm"));

    Settings()->method = -1;
    WriteScriptParameters(context_);
    EXPECT_EQ(suite_.Descriptor()[7].integer, FourCC("MCov"));
}

TEST_F(ScriptParametersWrite, TheNewDescriptorReplacesTheOldOne) {
    suite_.SetDescriptor({IntegerItem(FourCC("Amnt"), 1)});
    suite_.Parameters()->recordInfo = 2;
    WriteScriptParameters(context_);
    EXPECT_EQ(HandlesDisposed(), 1) << "the old descriptor is released";
    EXPECT_EQ(HandlesLive(), 1);
    EXPECT_EQ(suite_.Descriptor().size(), 11u);
    EXPECT_EQ(suite_.Parameters()->recordInfo, 0);
}

TEST_F(ScriptParametersWrite, ASuiteMissingAProcedureWeCallIsNotUsed) {
    // open, close, put integer, put enumerated: slots 0, 1, 2 and 8 of the write record.
    for (std::size_t slot : {0u, 1u, 2u, 8u}) {
        testhost::DescriptorSuite suite(&handleProcs_);
        suite.NullWriteProcedure(slot);
        record_.descriptorParameters = suite.Parameters();
        WriteScriptParameters(context_);
        EXPECT_EQ(suite.WritersOpened(), 0) << slot;
        EXPECT_EQ(suite.Parameters()->descriptor, nullptr) << slot;
    }
    record_.descriptorParameters = suite_.Parameters();
}

TEST_F(ScriptParametersWrite, AWriteRecordWithOtherSlotsEmptyIsStillUsed) {
    suite_.NullWriteProcedure(3);   // put float
    suite_.NullWriteProcedure(15);  // put scoped object
    WriteScriptParameters(context_);
    EXPECT_EQ(suite_.Descriptor().size(), 11u);
}

TEST_F(ScriptParametersWrite, ANullWriterTokenWritesNothing) {
    suite_.WriteProcs().openWriteDescriptorProc = []() -> PIWriteDescriptor { return nullptr; };
    suite_.SetDescriptor({IntegerItem(FourCC("Amnt"), 1)});
    suite_.Parameters()->recordInfo = 2;
    WriteScriptParameters(context_);
    EXPECT_EQ(suite_.Descriptor().size(), 1u) << "the old descriptor stays";
    EXPECT_EQ(suite_.Parameters()->recordInfo, 2);
}

TEST_F(ScriptParametersWrite, AllElevenSettingsSurviveARoundTrip) {
    const FilterParameters recorded{-1, 100, 8, 50, -100, 359, 1, 33, 2, 1, 1, 255};
    *Settings() = recorded;
    WriteScriptParameters(context_);
    *Settings() = kDefaultParameters;
    Settings()->reserved = 33;
    suite_.SetPlayInfo(1);
    EXPECT_EQ(ReadScriptParameters(context_), 0) << "every expected key was there";
    EXPECT_EQ(std::memcmp(Settings(), &recorded, sizeof recorded), 0);
    EXPECT_EQ(context_.showDialog, 1);
}

TEST_F(ScriptParametersWrite, NoParameterBlockWritesNothing) {
    record_.parameters = nullptr;
    WriteScriptParameters(context_);
    EXPECT_EQ(suite_.WritersOpened(), 0);
}

}  // namespace
}  // namespace aperlume
