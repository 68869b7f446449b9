// The terminology's bytes: fields follow each other without alignment.
#include "resources/terminology.h"

#include "base/product_info.h"
#include "base/settings_table.h"
#include "resources/byte_writer.h"

namespace aperlume {
namespace {

constexpr std::uint16_t kDirectParameterFlags = 0xB000;
constexpr std::uint16_t kEnumeratedParameterFlags = 0x2000;

bool Enumerated(const Setting& setting) { return !setting.enumerators.empty(); }

}  // namespace

std::vector<std::uint8_t> BuildTerminology() {
    ByteWriter out;
    out.U16(1);
    out.U8(1);   // major version
    out.U8(0);   // minor version
    out.U16(0);  // language
    out.U16(0);  // script
    out.U16(1);  // suites

    out.PString(kMakerHandle);
    out.PString(kLongName);
    out.Code("tm01");
    out.U16(1);  // level
    out.U16(1);  // version
    out.U16(1);  // events

    out.PString(kProductName);
    out.PString(kLongName);
    out.Code("tm01");  // class
    out.Code("tm01");  // event
    out.Code("null");  // reply type
    out.PString("");
    out.U16(0);        // reply flags
    out.Code("#ImR");  // direct parameter: an image reference
    out.PString("");
    out.U16(kDirectParameterFlags);
    out.U16(static_cast<std::uint16_t>(kSettings.size()));
    for (const Setting& setting : kSettings) {
        out.PString(setting.name);
        out.Code(setting.key);
        out.Code(Enumerated(setting) ? setting.key : "long");  // an enumeration is typed by its own key
        out.PString(setting.name);
        out.U16(Enumerated(setting) ? kEnumeratedParameterFlags : 0);
    }

    out.U16(0);  // classes
    out.U16(0);  // comparison operators
    std::uint16_t enumerations = 0;
    for (const Setting& setting : kSettings)
        if (Enumerated(setting)) ++enumerations;
    out.U16(enumerations);
    for (const Setting& setting : kSettings) {
        if (!Enumerated(setting)) continue;
        out.Code(setting.key);
        out.U16(static_cast<std::uint16_t>(setting.enumerators.size()));
        for (const Enumerator& enumerator : setting.enumerators) {
            out.PString(enumerator.name);
            out.Code(enumerator.code);
            out.PString("");
        }
    }
    return out.Take();
}

}  // namespace aperlume
