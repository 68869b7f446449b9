// The built module carries the builders' bytes: the property list, the terminology and the version
// record, read back through the system's resource calls as a host reads them, plus the about box's
// template.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/property_list.h"
#include "resources/terminology.h"
#include "resources/version_record.h"
#include "tests/support/linked_host.h"

namespace aperlume {
namespace {

const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

class ModuleResources : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = testing::ModulePath();
        ASSERT_FALSE(path.empty());
        module_ = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr) << path << " error " << GetLastError();
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }

    std::vector<std::uint8_t> Resource(LPCSTR type, WORD id) {
        HRSRC found = FindResourceExA(module_, type, MAKEINTRESOURCEA(id), kJapanese);
        if (found == nullptr) return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const auto* bytes = static_cast<const std::uint8_t*>(LockResource(loaded));
        if (bytes == nullptr) return {};
        return std::vector<std::uint8_t>(bytes, bytes + SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;
};

TEST_F(ModuleResources, PropertyListIsTheBuildersBytesUnderJapanese) {
    const std::vector<std::uint8_t> embedded = Resource("PIPL", 16000);
    ASSERT_FALSE(embedded.empty());
    EXPECT_EQ(embedded, BuildPropertyList(kBuildArchitecture));
    // The count says which module this is: 23 properties with the 64-bit entry point.
    EXPECT_EQ(embedded[6], sizeof(void*) == 8 ? 23 : 22);
}

TEST_F(ModuleResources, TerminologyIsTheBuildersBytesUnderJapanese) {
    const std::vector<std::uint8_t> embedded = Resource("AETE", 16000);
    ASSERT_FALSE(embedded.empty());
    EXPECT_EQ(embedded, BuildTerminology());
}

TEST_F(ModuleResources, VersionRecordIsTheBuildersBytesAndReadsBack) {
    const std::vector<std::uint8_t> embedded = Resource(MAKEINTRESOURCEA(16), 1);
    ASSERT_FALSE(embedded.empty());
    EXPECT_EQ(embedded, BuildVersionRecord());

    // Through the version API, loaded at run time so that the test needs no extra import library.
    HMODULE versionApi = LoadLibraryA("version.dll");
    ASSERT_NE(versionApi, nullptr);
    using QueryValue = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    auto query = reinterpret_cast<QueryValue>(reinterpret_cast<void*>(GetProcAddress(versionApi, "VerQueryValueW")));
    ASSERT_NE(query, nullptr);
    std::vector<std::uint8_t> block = embedded;  // the API wants a writable copy
    block.resize(embedded.size() * 2);
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query(block.data(), L"\\", &value, &length));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x0000000Du);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00050000u);
    EXPECT_EQ(fixed->dwFileOS, 4u);
    EXPECT_EQ(fixed->dwFileType, 2u);
    ASSERT_TRUE(query(block.data(), L"\\StringFileInfo\\041104b0\\ProductVersion", &value, &length));
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), L"0.13.5");
    ASSERT_TRUE(query(block.data(), L"\\StringFileInfo\\041104b0\\OriginalFilename", &value, &length));
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), L"Aperlume.8bf");
    ASSERT_TRUE(query(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0411);
    EXPECT_EQ(static_cast<const WORD*>(value)[1], 0x04B0);
    FreeLibrary(versionApi);
}

TEST_F(ModuleResources, AboutBoxTemplateIsAnExtendedPopupWithOneStatic) {
    const std::vector<std::uint8_t> t = Resource(MAKEINTRESOURCEA(5), 101);
    ASSERT_GE(t.size(), 26u);
    auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(t[at] | (t[at + 1] << 8)); };
    auto u32 = [&](std::size_t at) { return static_cast<std::uint32_t>(u16(at) | (u16(at + 2) << 16)); };
    EXPECT_EQ(u16(0), 1) << "extended template";
    EXPECT_EQ(u16(2), 0xFFFF);
    EXPECT_EQ(u32(12), 0x800000C0u) << "popup, modal frame, font given; no caption";
    EXPECT_EQ(u16(16), 1) << "one control";
    EXPECT_EQ(u16(22), 162);
    EXPECT_EQ(u16(24), 100);
    std::size_t at = 26;
    EXPECT_EQ(u16(at), 0) << "no menu";
    at += 2;
    EXPECT_EQ(u16(at), 0) << "the standard dialog class";
    at += 2;
    EXPECT_EQ(u16(at), 0) << "no title";
    at += 2;
    EXPECT_EQ(u16(at), 9) << "9-point font";
    at += 6;  // point size, weight, italic, character set
    std::wstring face;
    for (; u16(at) != 0; at += 2) face += static_cast<wchar_t>(u16(at));
    at += 2;
    EXPECT_EQ(face, L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF");
    at = (at + 3) & ~static_cast<std::size_t>(3);
    EXPECT_EQ(u32(at + 8), 0x50020001u) << "visible child, group, centred text, no notify";
    EXPECT_EQ(u16(at + 12), 7);
    EXPECT_EQ(u16(at + 14), 7);
    EXPECT_EQ(u16(at + 16), 148);
    EXPECT_EQ(u16(at + 18), 86);
    EXPECT_EQ(u32(at + 20), 1001u);
}

}  // namespace
}  // namespace aperlume
