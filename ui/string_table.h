// The module's string table: the texts the plug-in loads by resource id, in UTF-8. The Windows module
// carries them as a string resource written from this table at build time; the native build reads them
// here. Japanese like the rest of the interface; ^1 marks where the alert inserts its parameter.
#pragma once

#include <cstdint>

namespace aperlume {

// The alert shown to a host that cannot deliver image data, and its message template.
inline constexpr std::int16_t kNoImageServiceAlert = 16990;
inline constexpr std::int16_t kNoImageServiceMessage = 16992;

struct StringTableEntry {
    std::int16_t id;
    const char* text;
};

inline constexpr StringTableEntry kStringTable[] = {
    {kNoImageServiceMessage,
     "このホストはフィルタに画像データを渡すことができません。"
     "プラグインインターフェイスのバージョン ^1 以降に対応したホストが必要です。"},
};

// The UTF-8 text of a string resource, or null when there is none with that id.
constexpr const char* StringTableText(std::int16_t id) {
    for (const StringTableEntry& entry : kStringTable)
        if (entry.id == id) return entry.text;
    return nullptr;
}

}  // namespace aperlume
