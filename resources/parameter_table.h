// The filter's scripting parameters as the host learns them from the property list (names, ranges and
// controls for animating hosts) and the terminology (names, keys and types). Names are code page 932
// bytes: 量, 明るさ, 頂点数, エッジ, 比率, 回転, ソフト, 計算方法, 補正, 深度, 焦点; and the correction
// enumerators ガンマ and 対数.
#pragma once

#include <array>
#include <cstdint>

namespace aperlume {

struct ScriptParameter {
    const char* name;      // code page 932
    char key[5];           // descriptor key
    char type[5];          // descriptor type: "long", or the enumeration's own code
    std::uint16_t flags;   // terminology flags: 0x2000 for an enumeration
    double minimum;
    double maximum;
    std::int32_t control;  // property-list control code: 2 slider, 0 none
};

inline constexpr std::array<ScriptParameter, 11> kScriptParameters = {{
    {"\x97\xca", "Amnt", "long", 0, 0, 100, 2},
    {"\x96\xbe\x82\xe9\x82\xb3", "srgh", "long", 0, 0, 100, 2},
    {"\x92\xb8\x93\x5f\x90\x94", "Peak", "long", 0, 1, 8, 2},
    {"\x83\x47\x83\x62\x83\x57", "Edg ", "long", 0, 0, 100, 2},
    {"\x94\xe4\x97\xa6", "Rt  ", "long", 0, -100, 100, 2},
    {"\x89\xf1\x93\x5d", "Rtt ", "long", 0, 0, 359, 2},
    {"\x83\x5c\x83\x74\x83\x67", "Soft", "long", 0, 0, 1, 2},
    {"\x8c\x76\x8e\x5a\x95\xfb\x96\x40", "Mthd", "Mthd", 0x2000, 0, 2, 0},
    {"\x95\xe2\x90\xb3", "Cmpn", "Cmpn", 0x2000, 0, 1, 0},
    {"\x90\x5b\x93\x78", "Dpth", "long", 0, 0, 1, 0},
    {"\x8f\xc5\x93\x5f", "Fcs ", "long", 0, 0, 255, 2},
}};

struct ScriptEnumerator {
    const char* name;  // code page 932
    char code[5];
};

struct ScriptEnumeration {
    char code[5];
    std::array<ScriptEnumerator, 3> enumerators;
    std::size_t count;
};

inline constexpr std::array<ScriptEnumeration, 2> kScriptEnumerations = {{
    {"Mthd", {{{"CONV", "MCov"}, {"MC", "MMC "}, {"FFT", "MFFT"}}}, 3},
    {"Cmpn", {{{"\x83\x4b\x83\x93\x83\x7d", "CGmm"}, {"\x91\xce\x90\x94", "CExp"}, {}}}, 2},
}};

}  // namespace aperlume
