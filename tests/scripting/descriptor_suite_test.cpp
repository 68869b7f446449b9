// Our host's descriptor suite: every value kind goes through a written descriptor and reads back, and
// the reader reports expected keys it did not deliver, as the hosts it imitates do.
#include "tools/host/descriptor_suite.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/scripting/scripting_fixture.h"

namespace aperlume {
namespace {

using DescriptorSuiteTest = testing::ScriptingTest;

TEST_F(DescriptorSuiteTest, EveryValueKindSurvivesAWriteAndARead) {
    WriteDescriptorProcs& w = suite_.WriteProcs();
    PIWriteDescriptor writer = w.openWriteDescriptorProc();
    ASSERT_NE(writer, nullptr);
    const double real = 2.5;
    Handle text = NewHostHandle(3);
    std::memcpy(LockHostHandle(text), "abc", 3);
    const std::uint8_t name[] = {2, 'h', 'i'};
    EXPECT_EQ(w.putIntegerProc(writer, FourCC("Intg"), -7), 0);
    EXPECT_EQ(w.putFloatProc(writer, FourCC("Flot"), &real), 0);
    EXPECT_EQ(w.putUnitFloatProc(writer, FourCC("Unit"), FourCC("#Pxl"), &real), 0);
    EXPECT_EQ(w.putBooleanProc(writer, FourCC("Bool"), 1), 0);
    EXPECT_EQ(w.putTextProc(writer, FourCC("Text"), text), 0);
    EXPECT_EQ(w.putEnumeratedProc(writer, FourCC("Enum"), FourCC("Mthd"), FourCC("MFFT")), 0);
    EXPECT_EQ(w.putClassProc(writer, FourCC("Clss"), FourCC("Lyr ")), 0);
    EXPECT_EQ(w.putCountProc(writer, FourCC("Cont"), 9u), 0);
    EXPECT_EQ(w.putStringProc(writer, FourCC("Strg"), name), 0);
    DisposeHostHandle(text);
    Handle written = nullptr;
    EXPECT_EQ(w.closeWriteDescriptorProc(writer, &written), 0);
    ASSERT_NE(written, nullptr);
    suite_.Parameters()->descriptor = written;

    ReadDescriptorProcs& r = suite_.ReadProcs();
    DescriptorKeyID expected[] = {FourCC("Intg"), FourCC("Strg"), 0};
    PIReadDescriptor reader = r.openReadDescriptorProc(written, expected);
    ASSERT_NE(reader, nullptr);
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    std::int32_t flags = 0;
    int seen = 0;
    while (r.getKeyProc(reader, &key, &type, &flags)) {
        ++seen;
        if (key == FourCC("Intg")) {
            std::int32_t v = 0;
            EXPECT_EQ(r.getIntegerProc(reader, &v), 0);
            EXPECT_EQ(v, -7);
            EXPECT_EQ(r.getPinnedIntegerProc(reader, 0, 5, &v), 0);
            EXPECT_EQ(v, 0);
            double d = 0;
            EXPECT_EQ(r.getFloatProc(reader, &d), testhost::kWrongTypeError);
        } else if (key == FourCC("Flot")) {
            double d = 0;
            EXPECT_EQ(r.getFloatProc(reader, &d), 0);
            EXPECT_EQ(d, 2.5);
        } else if (key == FourCC("Unit")) {
            double d = 0;
            DescriptorUnitID unit = 0;
            EXPECT_EQ(r.getUnitFloatProc(reader, &unit, &d), 0);
            EXPECT_EQ(unit, FourCC("#Pxl"));
            EXPECT_EQ(d, 2.5);
        } else if (key == FourCC("Bool")) {
            Boolean b = 0;
            EXPECT_EQ(r.getBooleanProc(reader, &b), 0);
            EXPECT_EQ(b, 1);
        } else if (key == FourCC("Text")) {
            Handle h = nullptr;
            EXPECT_EQ(r.getTextProc(reader, &h), 0);
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(HostHandleSize(h), 3);
            EXPECT_EQ(std::memcmp(LockHostHandle(h), "abc", 3), 0);
            DisposeHostHandle(h);
        } else if (key == FourCC("Enum")) {
            DescriptorEnumID e = 0;
            EXPECT_EQ(type, testhost::kTypeEnumerated);
            EXPECT_EQ(r.getEnumeratedProc(reader, &e), 0);
            EXPECT_EQ(e, FourCC("MFFT"));
        } else if (key == FourCC("Clss")) {
            DescriptorTypeID c = 0;
            EXPECT_EQ(r.getClassProc(reader, &c), 0);
            EXPECT_EQ(c, FourCC("Lyr "));
        } else if (key == FourCC("Cont")) {
            std::uint32_t n = 0;
            EXPECT_EQ(r.getCountProc(reader, &n), 0);
            EXPECT_EQ(n, 9u);
        } else if (key == FourCC("Strg")) {
            std::uint8_t s[256] = {};
            EXPECT_EQ(r.getStringProc(reader, s), 0);
            EXPECT_EQ(s[0], 2);
            EXPECT_EQ(s[1], 'h');
            EXPECT_EQ(s[2], 'i');
        }
    }
    EXPECT_EQ(seen, 9);
    EXPECT_EQ(r.closeReadDescriptorProc(reader), 0) << "both expected keys were delivered";
}

TEST_F(DescriptorSuiteTest, AnExpectedKeyNotDeliveredIsReportedAtClose) {
    suite_.SetDescriptor({testhost::IntegerItem(FourCC("Amnt"), 1)});
    DescriptorKeyID expected[] = {FourCC("Amnt"), FourCC("Peak"), 0};
    ReadDescriptorProcs& r = suite_.ReadProcs();
    PIReadDescriptor reader = r.openReadDescriptorProc(suite_.Parameters()->descriptor, expected);
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    std::int32_t flags = 0;
    while (r.getKeyProc(reader, &key, &type, &flags)) {
    }
    EXPECT_EQ(r.closeReadDescriptorProc(reader), testhost::kMissingParameterError);
}

TEST_F(DescriptorSuiteTest, ASuiteMadeInsideAnotherHandsBackTheProcedures) {
    {
        testhost::DescriptorSuite inner(&handleProcs_);
        PIWriteDescriptor writer = inner.WriteProcs().openWriteDescriptorProc();
        ASSERT_NE(writer, nullptr);
        EXPECT_EQ(inner.WritersOpened(), 1);
        EXPECT_EQ(suite_.WritersOpened(), 0);
        Handle written = nullptr;
        EXPECT_EQ(inner.WriteProcs().closeWriteDescriptorProc(writer, &written), 0);
        DisposeHostHandle(written);
    }
    PIWriteDescriptor writer = suite_.WriteProcs().openWriteDescriptorProc();
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(suite_.WritersOpened(), 1) << "the outer suite is live again";
    Handle written = nullptr;
    EXPECT_EQ(suite_.WriteProcs().closeWriteDescriptorProc(writer, &written), 0);
    DisposeHostHandle(written);
}

}  // namespace
}  // namespace aperlume
