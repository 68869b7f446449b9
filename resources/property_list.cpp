// The property list's bytes. Each property's length is stated explicitly and already counts its zero
// padding: some hosts step from property to property by the raw length, so it must be a multiple of 4.
#include "resources/property_list.h"

#include <cassert>

#include <string>

#include "base/product_info.h"
#include "base/settings_table.h"
#include "resources/byte_writer.h"

namespace aperlume {
namespace {

constexpr char kEntryPoint[] = "PluginMain";
constexpr std::uint32_t kPropertyListVersion = 0;
constexpr std::uint32_t kInterfaceVersion4 = 0x00040000;
constexpr std::uint32_t kGlobalAnimationFlags = 0x00284FFC;
constexpr std::int16_t kTerminologyId = 16000;

// Filter-case rows in the host's order: flat image without and with selection, floating selection,
// editable transparency without and with selection, protected transparency without and with selection.
struct FilterCase {
    std::uint8_t input;   // 1 straight data, 5 defringe
    std::uint8_t output;  // 1 straight data
    std::uint8_t flags;   // 0x01 do not copy the source first; 0x08 writes outside the selection
};
constexpr FilterCase kFilterCases[7] = {{1, 1, 0x01}, {1, 1, 0x09}, {1, 1, 0x09}, {5, 1, 0x01},
                                        {5, 1, 0x09}, {5, 1, 0x01}, {5, 1, 0x01}};

class PropertyWriter {
public:
    // Writes one property's header; the caller writes the data, and End pads it to the stated length.
    void Begin(const char (&key)[5], std::int32_t id, std::uint32_t length) {
        assert(length % 4 == 0);
        out.Code("8BIM");
        out.Code(key);
        out.I32(id);
        out.U32(length);
        dataStart_ = out.Size();
        length_ = length;
        ++count;
    }
    void End() { out.FillTo(dataStart_, length_); }

    ByteWriter out;
    std::uint32_t count = 0;

private:
    std::size_t dataStart_ = 0;
    std::uint32_t length_ = 0;
};

void EntryPoint(PropertyWriter& list, const char (&key)[5]) {
    list.Begin(key, 0, 12);
    list.out.CString(kEntryPoint);
    list.End();
}

constexpr std::int32_t kSliderControl = 2;
constexpr std::int32_t kNoControl = 0;

void AnimationParameter(PropertyWriter& list, std::int32_t id, const Setting& setting) {
    const SettingRange range = ListRange(setting);
    list.Begin("aPAR", id, 100);
    const std::size_t nameStart = list.out.Size();
    list.out.Text(setting.name);
    list.out.FillTo(nameStart, 32);
    list.out.I32(0);
    list.out.I32(2);  // data type: every parameter is an integer
    list.out.I32(setting.listSlider ? kSliderControl : kNoControl);
    for (int twice = 0; twice < 2; ++twice) {
        list.out.Double(range.minimum);
        list.out.Double(range.maximum);
    }
    list.out.I32(10);
    list.out.I32(2);
    list.End();
}

}  // namespace

std::vector<std::uint8_t> BuildPropertyList(ModuleArchitecture architecture) {
    PropertyWriter list;
    list.out.U16(1);
    list.out.U32(kPropertyListVersion);
    const std::size_t countAt = list.out.Size();
    list.out.U32(0);  // the count, patched at the end

    list.Begin("kind", 0, 4);
    list.out.Code("8BFM");
    list.End();

    list.Begin("name", 0, 16);
    list.out.PString(std::string(kProductName) + "...");
    list.End();

    list.Begin("catg", 0, 12);
    list.out.PString(std::string(kMakerHandle) + "Plug");  // the menu category
    list.End();

    list.Begin("vers", 0, 4);
    list.out.U32(kInterfaceVersion4);
    list.End();

    EntryPoint(list, "wx86");
    if (architecture == ModuleArchitecture::X64) EntryPoint(list, "8664");

    list.Begin("hstm", 0, 36);
    list.out.I32(0);
    list.out.Code("tm01");  // class
    list.out.Code("tm01");  // event
    list.out.U16(static_cast<std::uint16_t>(kTerminologyId));
    list.out.CString(std::string(kMakerHandle) + " " + kProductName);
    list.End();

    list.Begin("mode", 0, 4);
    list.out.U8(0x50);  // grayscale 0x40 and RGB 0x10; 16-bit modes come through the enable rule
    list.End();

    list.Begin("enbl", 0, 72);
    list.out.CString("in (PSHOP_ImageMode, GrayScaleMode, RGBMode, Gray16Mode, RGB48Mode)");
    list.End();

    list.Begin("fici", 0, 28);
    for (const FilterCase& row : kFilterCases) {
        list.out.U8(row.input);
        list.out.U8(row.output);
        list.out.U8(row.flags);
        list.out.U8(0);
    }
    list.End();

    list.Begin("aFLT", 0, 68);
    for (std::int32_t value : {1, 0, 0, 64, static_cast<std::int32_t>(kSettings.size())}) list.out.I32(value);
    const std::size_t nameStart = list.out.Size();
    list.out.Text(kProductName);
    list.out.FillTo(nameStart, 32);
    list.End();

    for (std::size_t id = 0; id < kSettings.size(); ++id)
        AnimationParameter(list, static_cast<std::int32_t>(id), kSettings[id]);

    list.Begin("eGLO", 0, 4);
    list.out.U32(kGlobalAnimationFlags);
    list.End();

    list.out.PatchU32(countAt, list.count);
    return list.out.Take();
}

}  // namespace aperlume
