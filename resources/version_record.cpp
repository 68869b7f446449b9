// The version record's bytes: nested blocks of a length, a value length, a type (0 binary, 1 text), a
// UTF-16 key and the value, each block starting on a 4-byte boundary. A block's length covers its
// children and the padding between them.
#include "resources/version_record.h"

#include <cassert>
#include <string>
#include <string_view>

#include "base/product_info.h"
#include "resources/byte_writer.h"

namespace aperlume {
namespace {

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedInfoVersion = 0x00010000;
constexpr std::uint32_t kFileFlagsMask = 0x3F;
constexpr std::uint32_t kOperatingSystemWin32 = 4;
constexpr std::uint32_t kFileTypeLibrary = 2;
constexpr std::uint16_t kFixedInfoSize = 52;
constexpr std::uint16_t kBinaryBlock = 0;
constexpr std::uint16_t kTextBlock = 1;
constexpr std::uint16_t kJapanese = 0x0411;
constexpr std::uint16_t kUnicodeCodePage = 0x04B0;

class VersionWriter {
public:
    std::size_t Begin(std::string_view key, std::uint16_t valueLength, std::uint16_t type) {
        out.Align(4);
        const std::size_t start = out.Size();
        out.U16(0);  // the length, patched by End
        out.U16(valueLength);
        out.U16(type);
        WideText(key);
        out.Align(4);
        return start;
    }
    void End(std::size_t start) { out.PatchU16(start, static_cast<std::uint16_t>(out.Size() - start)); }

    // The texts here are ASCII, so each character is one UTF-16 unit; the NUL is written too.
    void WideText(std::string_view text) {
        for (char c : text) {
            assert(static_cast<unsigned char>(c) < 0x80);
            out.U16(static_cast<std::uint16_t>(c));
        }
        out.U16(0);
    }

    void String(std::string_view key, std::string_view value) {
        const std::size_t start = Begin(key, static_cast<std::uint16_t>(value.size() + 1), kTextBlock);
        WideText(value);
        End(start);
    }

    ByteWriter out;
};

}  // namespace

std::vector<std::uint8_t> BuildVersionRecord() {
    constexpr std::uint32_t versionHigh = (static_cast<std::uint32_t>(kVersionMajor) << 16) | kVersionMinor;
    constexpr std::uint32_t versionLow = (static_cast<std::uint32_t>(kVersionPatch) << 16) | kVersionBuild;
    VersionWriter record;
    const std::size_t root = record.Begin("VS_VERSION_INFO", kFixedInfoSize, kBinaryBlock);
    for (std::uint32_t value : {kFixedInfoSignature, kFixedInfoVersion, versionHigh, versionLow, versionHigh,
                                versionLow, kFileFlagsMask, 0u, kOperatingSystemWin32, kFileTypeLibrary, 0u, 0u, 0u})
        record.out.U32(value);

    const std::size_t stringInfo = record.Begin("StringFileInfo", 0, kTextBlock);
    const std::size_t table = record.Begin("041104b0", 0, kTextBlock);
    record.String("CompanyName", "");
    record.String("FileDescription", kLongName);
    record.String("FileVersion", kVersionText);
    record.String("InternalName", kProductName);
    record.String("LegalCopyright", std::string("Copyright (C) ") + kCopyrightYears + " " + kMakerHandle);
    record.String("OriginalFilename", std::string(kProductName) + kModuleExtension);
    record.String("ProductName", kProductName);
    record.String("ProductVersion", kVersionText);
    record.End(table);
    record.End(stringInfo);

    const std::size_t varInfo = record.Begin("VarFileInfo", 0, kTextBlock);
    const std::size_t translation = record.Begin("Translation", 4, kBinaryBlock);
    record.out.U16(kJapanese);
    record.out.U16(kUnicodeCodePage);
    record.End(translation);
    record.End(varInfo);

    record.End(root);
    return record.out.Take();
}

}  // namespace aperlume
