// Writes the module's resource data into the current folder at build time: the property list, the
// terminology and the version record as the portable builders produce them, and the string table as a
// resource-script fragment. Built for the target and run through its emulator when cross-compiling, so
// the module embeds exactly the bytes that its own builders make.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "resources/property_list.h"
#include "resources/terminology.h"
#include "resources/version_record.h"
#include "ui/string_table.h"

namespace {

bool WriteFile(const char* name, const void* data, std::size_t size) {
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "resource_gen: cannot create %s\n", name);
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) std::fprintf(stderr, "resource_gen: cannot write %s\n", name);
    return written && closed;
}

bool WriteBytes(const char* name, const std::vector<std::uint8_t>& bytes) {
    return WriteFile(name, bytes.data(), bytes.size());
}

// UTF-8 to UTF-16 code units; false for malformed text.
bool Utf16(const char* text, std::vector<std::uint16_t>& units) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        std::uint32_t code = 0;
        int extra = 0;
        if (*p < 0x80) {
            code = *p;
        } else if ((*p & 0xE0) == 0xC0) {
            code = *p & 0x1Fu;
            extra = 1;
        } else if ((*p & 0xF0) == 0xE0) {
            code = *p & 0x0Fu;
            extra = 2;
        } else if ((*p & 0xF8) == 0xF0) {
            code = *p & 0x07u;
            extra = 3;
        } else {
            return false;
        }
        ++p;
        for (int i = 0; i < extra; ++i, ++p) {
            if ((*p & 0xC0) != 0x80) return false;
            code = (code << 6) | (*p & 0x3Fu);
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (code >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(code));
        }
    }
    return true;
}

// Every character as a \x escape of a wide string, so the fragment reads the same under any code page.
bool WriteStringTable(const char* name) {
    std::string script =
        "// The module's string table, written at build time from ui/string_table.h.\n"
        "LANGUAGE 0x11, 0x01\n"
        "STRINGTABLE\n"
        "BEGIN\n";
    for (const aperlume::StringTableEntry& entry : aperlume::kStringTable) {
        std::vector<std::uint16_t> units;
        if (!Utf16(entry.text, units)) {
            std::fprintf(stderr, "resource_gen: string %d is not UTF-8\n", entry.id);
            return false;
        }
        char line[32];
        std::snprintf(line, sizeof line, "  %d, L\"", entry.id);
        script += line;
        for (std::uint16_t unit : units) {
            std::snprintf(line, sizeof line, "\\x%04x", static_cast<unsigned>(unit));
            script += line;
        }
        script += "\"\n";
    }
    script += "END\n";
    return WriteFile(name, script.data(), script.size());
}

}  // namespace

int main() {
    using namespace aperlume;
    const bool ok = WriteBytes("pipl.bin", BuildPropertyList(kBuildArchitecture)) &&
                    WriteBytes("aete.bin", BuildTerminology()) && WriteBytes("version.bin", BuildVersionRecord()) &&
                    WriteStringTable("strings.rc");
    return ok ? 0 : 1;
}
