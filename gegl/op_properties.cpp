// The operation's properties, installed from the settings table: names, kinds, ranges and defaults come
// from its rows; only the words a person reads in an editor are written here.
#include "gegl/op_properties.h"

#include <gegl-plugin.h>

#include <array>
#include <cstddef>
#include <span>

#include "base/settings_table.h"

namespace aperlume::gegl_op {
namespace {

struct Words {
    std::int16_t FilterParameters::*field;
    const char* label;
    const char* description;
};

// In the table's order; the check below insists on one entry per row.
constexpr Words kWords[] = {
    {&FilterParameters::amount, "Amount",
     "The size of the blur: a point of light becomes an aperture shape 2 x amount + 1 pixels across. "
     "0 leaves the image as it is."},
    {&FilterParameters::brightness, "Highlight brightness",
     "How strongly highlights bloom: bright points are boosted before the blur and restored after it, so "
     "they come out as distinct, bright shapes. With the gamma curve, 10 is a plain blur."},
    {&FilterParameters::vertices, "Aperture corners",
     "The aperture's shape: 1 a disc, 2 a streak (as from a slit), 3 to 8 a polygon with that many corners."},
    {&FilterParameters::edge, "Inner shape",
     "An inner shape of the same kind, in percent of the aperture's radius, lit differently from the rim "
     "(see Centre against rim). 0 lights the aperture evenly."},
    {&FilterParameters::ratio, "Centre against rim",
     "With an inner shape: 100 leaves the centre dark (a ring, as a mirror lens draws), smaller positive "
     "values darken it, negative values darken the rim instead (a bright centre)."},
    {&FilterParameters::rotation, "Rotation", "Turns the aperture, in degrees."},
    {&FilterParameters::soft, "Soft edges",
     "Anti-aliased aperture edges: smoother shapes, especially in small apertures."},
    {&FilterParameters::method, "Method",
     "How the aperture is spread: Normal (direct convolution, usually the fastest, and the only method that "
     "reads a depth map), FFT (the same picture, in a time that hardly depends on the aperture: for very "
     "large ones) or Monte Carlo (random samples: the shapes come out as clouds of dots)."},
    {&FilterParameters::correction, "Highlight curve",
     "The curve of the highlight boost: gamma raises values to the power brightness / 10 before the blur; "
     "log raises 10 to the power value x brightness / 10."},
    {&FilterParameters::depth, "Use depth map",
     "Read the aux input as a depth map (gray; colour counts by its luma): pixels whose depth equals the "
     "focus stay sharp, and the further a depth lies from it, the larger the blur. Normal method only."},
    {&FilterParameters::focus, "Focus", "The depth (0 to 255 in the depth map) that stays sharp."},
};

// The names an editor shows for the enumerations' values, in the order of the table's enumerators.
constexpr const char* kMethodNames[] = {"Normal", "Monte Carlo", "FFT"};
constexpr const char* kCorrectionNames[] = {"Gamma", "Logarithmic"};
static_assert(std::size(kMethodNames) == std::size(kMethodEnumerators));
static_assert(std::size(kCorrectionNames) == std::size(kCorrectionEnumerators));

consteval bool WordsFollowTheTable() {
    if (std::size(kWords) != kSettings.size()) return false;
    for (std::size_t i = 0; i < kSettings.size(); ++i)
        if (kWords[i].field != kSettings[i].field) return false;
    return true;
}
static_assert(WordsFollowTheTable(), "one entry of words per row of the settings table, in its order");

// GObject keeps pointers to the values: they live as long as the process, as the types do.
std::array<GEnumValue, std::size(kMethodEnumerators) + 1> methodValues{};
std::array<GEnumValue, std::size(kCorrectionEnumerators) + 1> correctionValues{};
GType methodType = 0;
GType correctionType = 0;

// `values` holds one more entry than there are enumerators, for the terminating zeros.
GType RegisterEnum(GTypeModule* module, const char* typeName, std::span<const Enumerator> enumerators,
                   std::span<const char* const> names, std::span<GEnumValue> values) {
    for (std::size_t i = 0; i < enumerators.size(); ++i)
        values[i] = GEnumValue{static_cast<gint>(i), names[i], enumerators[i].option};
    values[enumerators.size()] = GEnumValue{0, nullptr, nullptr};
    return g_type_module_register_enum(module, typeName, values.data());
}

GType EnumType(const Setting& setting) {
    return setting.kind == SettingKind::Method ? methodType : correctionType;
}

const Setting* Row(guint id) { return id >= 1 && id <= kSettings.size() ? &kSettings[id - 1] : nullptr; }

}  // namespace

void RegisterSettingEnums(GTypeModule* module) noexcept {
    methodType = RegisterEnum(module, "AperlumeMethod", kMethodEnumerators, kMethodNames, methodValues);
    correctionType =
        RegisterEnum(module, "AperlumeCorrection", kCorrectionEnumerators, kCorrectionNames, correctionValues);
}

void InstallSettingProperties(GObjectClass* klass) noexcept {
    const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_CONSTRUCT | GEGL_PARAM_PAD_INPUT);
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        const Setting& setting = kSettings[i];
        const std::int16_t initial = ToolDefault(setting);
        GParamSpec* spec = nullptr;
        switch (setting.kind) {
            case SettingKind::Integer:
                spec = gegl_param_spec_int(setting.option, kWords[i].label, kWords[i].description,
                                           setting.range.minimum, setting.range.maximum, initial,
                                           setting.range.minimum, setting.range.maximum, 1.0, flags);
                break;
            case SettingKind::Flag:
                spec = g_param_spec_boolean(setting.option, kWords[i].label, kWords[i].description, initial != 0,
                                            flags);
                break;
            case SettingKind::Method:
            case SettingKind::Correction:
                spec = gegl_param_spec_enum(setting.option, kWords[i].label, kWords[i].description,
                                            EnumType(setting), initial, flags);
                break;
        }
        // The focus means something only with the depth map: editors grey it out otherwise.
        if (setting.field == &FilterParameters::focus)
            gegl_param_spec_set_property_key(spec, "sensitive", SettingOf(&FilterParameters::depth).option);
        g_object_class_install_property(klass, static_cast<guint>(i + 1), spec);
    }
}

bool SetSetting(FilterParameters& settings, guint id, const GValue* value) noexcept {
    const Setting* setting = Row(id);
    if (setting == nullptr) return false;
    gint v = 0;
    switch (setting->kind) {
        case SettingKind::Integer: v = g_value_get_int(value); break;
        case SettingKind::Flag: v = g_value_get_boolean(value) ? 1 : 0; break;
        case SettingKind::Method:
        case SettingKind::Correction: v = g_value_get_enum(value); break;
    }
    settings.*setting->field = static_cast<std::int16_t>(v);
    return true;
}

bool GetSetting(const FilterParameters& settings, guint id, GValue* value) noexcept {
    const Setting* setting = Row(id);
    if (setting == nullptr) return false;
    const std::int16_t v = settings.*setting->field;
    switch (setting->kind) {
        case SettingKind::Integer: g_value_set_int(value, v); break;
        case SettingKind::Flag: g_value_set_boolean(value, v != 0); break;
        case SettingKind::Method:
        case SettingKind::Correction: g_value_set_enum(value, v); break;
    }
    return true;
}

}  // namespace aperlume::gegl_op
