// Recognising the host by the exact file name of its executable.
#include "host/host_identification.h"

#include <gtest/gtest.h>

#include "host/process_state.h"

namespace aperlume {
namespace {

TEST(IdentifyHost, TheKnownExecutablesGiveTheirKinds) {
    EXPECT_EQ(IdentifyHost("Photoshp.exe"), HostPhotoshop);
    EXPECT_EQ(IdentifyHost("Photoshop.exe"), HostPhotoshop);
    EXPECT_EQ(IdentifyHost("Fireworks.exe"), HostFireworks);
    EXPECT_EQ(IdentifyHost("AfterFX.exe"), HostAfterEffects);
    EXPECT_EQ(IdentifyHost("premiere.exe"), HostPremiere);
    EXPECT_EQ(HostPhotoshop, 3);
    EXPECT_EQ(HostFireworks, 1);
    EXPECT_EQ(HostAfterEffects, 11);
    EXPECT_EQ(HostPremiere, 8);
}

TEST(IdentifyHost, NamesDifferingOnlyInCaseAreOtherHosts) {
    for (const char* name : {"photoshop.exe", "PHOTOSHOP.EXE", "AfterFx.exe", "Premiere.exe", "fireworks.exe",
                             "Photoshop.EXE"})
        EXPECT_EQ(IdentifyHost(name), HostOther) << name;
}

TEST(IdentifyHost, TheWholeNameMustBeEqual) {
    for (const char* name : {"Photoshop.exe.bak", "xPhotoshop.exe", "Photoshop.ex", " Photoshop.exe",
                             "Photoshop.exe ", "Photoshop", "", "C:\\Program Files\\Photoshop.exe"})
        EXPECT_EQ(IdentifyHost(name), HostOther) << '"' << name << '"';
}

TEST(IdentifyHost, NoNameIsAnOtherHost) { EXPECT_EQ(IdentifyHost(nullptr), HostOther); }

TEST(IdentifyRunningHost, ATestProgramIsAnOtherHost) { EXPECT_EQ(IdentifyRunningHost(), HostOther); }

}  // namespace
}  // namespace aperlume
