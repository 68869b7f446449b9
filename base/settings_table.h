// The eleven filter settings, written once. The property list and the terminology, the scripting
// descriptor, the main dialog, the command-line tool and the tests all read this table; none of them
// repeats a range, a default, a key, an enumerator, a name or a control id.
//
// Rows are in the order a recorded action holds the settings, which is also the order of the property
// list's parameters, of the terminology and of the tool's help. The reserved slot of the block has no
// row: nothing ever reads or writes it.
//
// Where two readers differ on purpose (a range, a default), the row says so and gives the reason, and
// a test insists that every difference has one.
//
// The main dialog's control ids are here too, as plain numbers: base/ knows nothing of dialogs, but an
// id belongs to the setting it edits, and keeping it in the row is what keeps it written once (ui/
// names them for the code that handles one control in particular). The dialog template
// (resources/main_dialog.rc) has to repeat them as numbers because the resource compiler cannot read
// C++; a test of the Windows build checks the template's controls against this table.
//
// Names and labels are code page 932 bytes: the resources carry them that way, and the dialog converts
// them explicitly whatever the system's own code page is.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "base/filter_parameters.h"

namespace aperlume {

enum class SettingKind : std::uint8_t {
    Integer,     // a number in a range: a slider and a number box
    Flag,        // 0 or 1: a check box (the block may hold any value; only zero or not counts)
    Method,      // an enumeration: radio buttons, and an enumerator in a recorded action
    Correction,  // likewise
};

struct SettingRange {
    std::int16_t minimum;
    std::int16_t maximum;

    friend constexpr bool operator==(SettingRange, SettingRange) = default;
};

// One value of an enumerated setting: its position in the list is the value the block holds.
struct Enumerator {
    char code[5];             // the enumerator in a recorded action
    const char* name;         // its name in the terminology
    const char* label;        // its radio button's text
    std::int16_t radio;       // its radio button
    const char* option;       // its name on the command line, and in the tool's descriptions
    const char* optionAlias;  // one more name the command line accepts, or null
};

// The main dialog's controls of a setting; 0 where it has none.
struct SettingControls {
    std::int16_t label = 0;            // a static that shows the setting's name
    std::int16_t slider = 0;           // an integer's slider ...
    std::int16_t edit = 0;             // ... and its number box
    std::int16_t check = 0;            // a flag's check box ...
    const char* checkText = nullptr;   // ... and its text
};

struct Setting {
    std::int16_t FilterParameters::*field;
    char key[5];  // the descriptor key; an enumeration's type code is its key too
    SettingKind kind;
    const char* name;  // in the property list and the terminology, and the dialog's label
    std::int16_t storedDefault;  // in a fresh parameter block
    SettingRange range;          // what the dialog and the tool accept
    std::optional<SettingRange> listRange{};  // what the property list announces, where it differs ...
    const char* listRangeReason = nullptr;  // ... and why
    bool listSlider = false;  // animating hosts get a slider for it
    std::optional<std::int16_t> toolDefault{};  // what the tool sends unless told, where it differs ...
    const char* toolDefaultReason = nullptr;  // ... and why
    SettingControls dialog{};
    std::span<const Enumerator> enumerators{};  // Method and Correction: the values in order
    const char* option;       // the tool's --option
    const char* description;  // the tool's help line
};

inline constexpr Enumerator kMethodEnumerators[] = {
    {"MCov", "CONV", "Normal", 1044, "normal", "direct"},
    {"MMC ", "MC", "MC", 1045, "mc", nullptr},
    {"MFFT", "FFT", "FFT", 1046, "fft", nullptr},
};

inline constexpr Enumerator kCorrectionEnumerators[] = {
    {"CGmm", "\x83\x4b\x83\x93\x83\x7d", "\x83\x4b\x83\x93\x83\x7d", 1039, "gamma", nullptr},  // ガンマ
    {"CExp", "\x91\xce\x90\x94", "\x91\xce\x90\x94", 1040, "log", "logarithmic"},              // 対数
};

inline constexpr std::array<Setting, 11> kSettings = {{
    {.field = &FilterParameters::amount, .key = "Amnt", .kind = SettingKind::Integer,
     .name = "\x97\xca",  // 量
     .storedDefault = 5, .range = {0, 100}, .listSlider = true,
     .dialog = {.label = 1010, .slider = 1012, .edit = 1011},
     .option = "amount", .description = "blur size: the aperture is 2N+1 pixels across"},
    // Brightness is used as an exponent (gamma) or a factor (log) of brightness * 0.1, and the inverse
    // correction divides by it: the dialog and the tool start at 1.
    {.field = &FilterParameters::brightness, .key = "srgh", .kind = SettingKind::Integer,
     .name = "\x96\xbe\x82\xe9\x82\xb3",  // 明るさ
     .storedDefault = 25, .range = {1, 100},
     .listRange = SettingRange{0, 100},
     .listRangeReason = "0 would make the correction impossible to undo",
     .listSlider = true,
     .dialog = {.label = 1013, .slider = 1015, .edit = 1014},
     .option = "brightness", .description = "how strongly highlights bloom: higher makes bright points glow more"},
    {.field = &FilterParameters::vertices, .key = "Peak", .kind = SettingKind::Integer,
     .name = "\x92\xb8\x93\x5f\x90\x94",  // 頂点数
     .storedDefault = 0, .range = {1, 8}, .listSlider = true,
     .toolDefault = 1,
     .toolDefaultReason = "the plug-in's stored default of 0 draws an empty aperture",
     .dialog = {.label = 1019, .slider = 1021, .edit = 1020},
     .option = "vertices", .description = "aperture corners: 1 a disc, 2 a streak, 3..8 a polygon"},
    {.field = &FilterParameters::edge, .key = "Edg ", .kind = SettingKind::Integer,
     .name = "\x83\x47\x83\x62\x83\x57",  // エッジ
     .storedDefault = 0, .range = {0, 100}, .listSlider = true,
     .dialog = {.label = 1022, .slider = 1024, .edit = 1023},
     .option = "edge", .description = "size of an inner shape, in percent of the aperture"},
    {.field = &FilterParameters::ratio, .key = "Rt  ", .kind = SettingKind::Integer,
     .name = "\x94\xe4\x97\xa6",  // 比率
     .storedDefault = 0, .range = {-100, 100}, .listSlider = true,
     .dialog = {.label = 1025, .slider = 1027, .edit = 1026},
     .option = "ratio", .description = "positive darkens the centre (a ring at 100), negative the rim"},
    {.field = &FilterParameters::rotation, .key = "Rtt ", .kind = SettingKind::Integer,
     .name = "\x89\xf1\x93\x5d",  // 回転
     .storedDefault = 0, .range = {0, 359}, .listSlider = true,
     .dialog = {.label = 1028, .slider = 1030, .edit = 1029},
     .option = "rotation", .description = "rotation of the aperture in degrees (-15 is 345)"},
    {.field = &FilterParameters::soft, .key = "Soft", .kind = SettingKind::Flag,
     .name = "\x83\x5c\x83\x74\x83\x67",  // ソフト
     .storedDefault = 0, .range = {0, 1}, .listSlider = true,
     .dialog = {.label = 1036, .check = 1035,
                .checkText = "\x83\x41\x83\x93\x83\x60\x83\x47\x83\x43\x83\x8a\x83\x41\x83\x58"},  // アンチエイリアス
     .option = "soft", .description = "smooth the aperture's edges"},
    {.field = &FilterParameters::method, .key = "Mthd", .kind = SettingKind::Method,
     .name = "\x8c\x76\x8e\x5a\x95\xfb\x96\x40",  // 計算方法
     .storedDefault = 0, .range = {0, 2},
     .enumerators = kMethodEnumerators,
     .option = "method", .description = "how the blur is computed: normal, mc (Monte Carlo: grainy) or fft"},
    {.field = &FilterParameters::correction, .key = "Cmpn", .kind = SettingKind::Correction,
     .name = "\x95\xe2\x90\xb3",  // 補正
     .storedDefault = 0, .range = {0, 1},
     .enumerators = kCorrectionEnumerators,
     .option = "correction", .description = "how highlights are lifted: gamma or log"},
    {.field = &FilterParameters::depth, .key = "Dpth", .kind = SettingKind::Flag,
     .name = "\x90\x5b\x93\x78",  // 深度
     .storedDefault = 0, .range = {0, 1},
     .dialog = {.check = 1038,
                .checkText = "\x91\x49\x91\xf0\x97\xcc\x88\xe6\x82\xf0\x90\x5b\x93\x78\x83\x7d\x83\x62\x83\x76"
                             "\x82\xc6\x82\xb5\x82\xc4\x8e\x67\x82\xa4"},  // 選択領域を深度マップとして使う
     .option = "depth-map", .description = "use the selection as a depth map (method normal only)"},
    {.field = &FilterParameters::focus, .key = "Fcs ", .kind = SettingKind::Integer,
     .name = "\x8f\xc5\x93\x5f",  // 焦点
     .storedDefault = 0, .range = {0, 255}, .listSlider = true,
     .dialog = {.label = 1033, .slider = 1031, .edit = 1032},
     .option = "focus", .description = "the depth value (0..255 of the selection) that stays sharp"},
}};

// The row of a field, at compile time (a field without a row does not compile).
consteval const Setting& SettingOf(std::int16_t FilterParameters::*field) {
    std::size_t i = 0;
    while (i < kSettings.size() && kSettings[i].field != field) ++i;
    return kSettings[i];
}

constexpr SettingRange ListRange(const Setting& setting) { return setting.listRange.value_or(setting.range); }
constexpr std::int16_t ToolDefault(const Setting& setting) {
    return setting.toolDefault.value_or(setting.storedDefault);
}

constexpr FilterParameters StoredDefaults() {
    FilterParameters block{};
    for (const Setting& setting : kSettings) block.*setting.field = setting.storedDefault;
    return block;
}

inline constexpr FilterParameters kDefaultParameters = StoredDefaults();

// The block a front end that has no stored block starts from (the command-line tool, the GEGL
// operation): the stored defaults, except where a row gives the tool its own.
constexpr FilterParameters ToolDefaults() {
    FilterParameters block = StoredDefaults();
    for (const Setting& setting : kSettings) block.*setting.field = ToolDefault(setting);
    return block;
}

}  // namespace aperlume
