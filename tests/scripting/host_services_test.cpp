// The checks before the plug-in calls into the host's descriptor suite, and closing readers and writers.
#include "scripting/host_services.h"

#include <gtest/gtest.h>

#include "tests/scripting/scripting_fixture.h"

namespace aperlume {
namespace {

using testing::ScriptingTest;

using DescriptorSuiteCheck = ScriptingTest;

TEST_F(DescriptorSuiteCheck, OurHostsCompleteSuiteIsAvailable) {
    EXPECT_TRUE(DescriptorSuiteAvailable(suite_.Parameters()));
}

TEST_F(DescriptorSuiteCheck, MissingRecordsOrWrongVersionsMakeItUnavailable) {
    EXPECT_FALSE(DescriptorSuiteAvailable(nullptr));
    PIDescriptorParameters& parameters = *suite_.Parameters();

    parameters.descriptorParametersVersion = 1;
    EXPECT_FALSE(DescriptorSuiteAvailable(&parameters));
    parameters.descriptorParametersVersion = 0;

    parameters.readDescriptorProcs = nullptr;
    EXPECT_FALSE(DescriptorSuiteAvailable(&parameters));
    parameters.readDescriptorProcs = &suite_.ReadProcs();

    parameters.writeDescriptorProcs = nullptr;
    EXPECT_FALSE(DescriptorSuiteAvailable(&parameters));
    parameters.writeDescriptorProcs = &suite_.WriteProcs();

    suite_.ReadProcs().readDescriptorProcsVersion = 1;
    EXPECT_FALSE(DescriptorSuiteAvailable(&parameters));
    suite_.ReadProcs().readDescriptorProcsVersion = 0;

    suite_.WriteProcs().writeDescriptorProcsVersion = 1;
    EXPECT_FALSE(DescriptorSuiteAvailable(&parameters));
    suite_.WriteProcs().writeDescriptorProcsVersion = 0;

    EXPECT_TRUE(DescriptorSuiteAvailable(&parameters));
}

TEST_F(DescriptorSuiteCheck, ShortRecordsMakeItUnavailable) {
    suite_.ReadProcs().numReadDescriptorProcs = 17;
    EXPECT_FALSE(DescriptorSuiteAvailable(suite_.Parameters()));
    suite_.ReadProcs().numReadDescriptorProcs = 18;
    suite_.WriteProcs().numWriteDescriptorProcs = 15;
    EXPECT_FALSE(DescriptorSuiteAvailable(suite_.Parameters()));
    suite_.ReadProcs().numReadDescriptorProcs = 20;
    suite_.WriteProcs().numWriteDescriptorProcs = 20;
    EXPECT_TRUE(DescriptorSuiteAvailable(suite_.Parameters())) << "longer records of newer hosts";
}

TEST_F(DescriptorSuiteCheck, AnyEmptyReadSlotMakesItUnavailable) {
    for (std::size_t slot = 0; slot < testhost::kReadProcedureSlots; ++slot) {
        testhost::DescriptorSuite suite(&handleProcs_);
        suite.NullReadProcedure(slot);
        EXPECT_FALSE(DescriptorSuiteAvailable(suite.Parameters())) << "read slot " << slot;
    }
}

TEST_F(DescriptorSuiteCheck, OnlyTheWriteProceduresWeCallAreRequired) {
    for (std::size_t slot = 0; slot < testhost::kWriteProcedureSlots; ++slot) {
        testhost::DescriptorSuite suite(&handleProcs_);
        suite.NullWriteProcedure(slot);
        const bool used = slot == 0 || slot == 1 || slot == 2 || slot == 8;
        EXPECT_EQ(DescriptorSuiteAvailable(suite.Parameters()), !used) << "write slot " << slot;
    }
}

TEST_F(DescriptorSuiteCheck, WantsDialogOnlyForPlayInfoOne) {
    for (std::int16_t playInfo : {std::int16_t{0}, std::int16_t{1}, std::int16_t{2}, std::int16_t{-1}}) {
        suite_.SetPlayInfo(playInfo);
        EXPECT_EQ(WantsDialog(*suite_.Parameters()), playInfo == 1) << playInfo;
    }
}

using DescriptorClosing = ScriptingTest;

TEST_F(DescriptorClosing, ClosingAReaderReleasesTheDescriptorAndReturnsTheHostsResult) {
    suite_.SetDescriptor({testhost::IntegerItem(FourCC("Amnt"), 3)});
    PIDescriptorParameters& parameters = *suite_.Parameters();
    DescriptorKeyID keys[] = {FourCC("Amnt"), FourCC("Peak"), 0};
    PIReadDescriptor token = parameters.readDescriptorProcs->openReadDescriptorProc(parameters.descriptor, keys);
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(CloseDescriptorReader(parameters, &handleProcs_, token), kMissingParameter);
    EXPECT_EQ(token, nullptr);
    EXPECT_EQ(parameters.descriptor, nullptr);
    EXPECT_EQ(HandlesDisposed(), 1);
}

TEST_F(DescriptorClosing, WithoutUsableHandleProceduresTheHostsDescriptorIsNotTouched) {
    suite_.SetDescriptor({});
    PIDescriptorParameters& parameters = *suite_.Parameters();
    Handle held = parameters.descriptor;
    DescriptorKeyID keys[] = {0};
    PIReadDescriptor token = parameters.readDescriptorProcs->openReadDescriptorProc(held, keys);
    HandleProcs oldHost = handleProcs_;
    oldHost.handleProcsVersion = 2;  // a record the plug-in may not use
    EXPECT_EQ(CloseDescriptorReader(parameters, &oldHost, token), 0);
    EXPECT_EQ(parameters.descriptor, nullptr);
    EXPECT_EQ(HandlesDisposed(), 0) << "our own disposal must not be applied to a host handle";
    DisposeHostHandle(held);
}

TEST_F(DescriptorClosing, ClosingAWriterInstallsTheNewDescriptor) {
    suite_.SetDescriptor({testhost::IntegerItem(FourCC("Amnt"), 3)});
    PIDescriptorParameters& parameters = *suite_.Parameters();
    parameters.recordInfo = 1;
    PIWriteDescriptor token = parameters.writeDescriptorProcs->openWriteDescriptorProc();
    ASSERT_NE(token, nullptr);
    (void)parameters.writeDescriptorProcs->putIntegerProc(token, FourCC("Peak"), 6);
    CloseDescriptorWriter(parameters, &handleProcs_, token);
    EXPECT_EQ(token, nullptr);
    EXPECT_EQ(parameters.recordInfo, 0);
    EXPECT_EQ(HandlesDisposed(), 1) << "the previous descriptor";
    const auto items = suite_.Descriptor();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].key, FourCC("Peak"));
    EXPECT_EQ(items[0].integer, 6);
}

}  // namespace
}  // namespace aperlume
