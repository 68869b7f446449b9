// The terminology's bytes: fields follow each other without alignment.
#include "resources/terminology.h"

#include "resources/byte_writer.h"
#include "resources/parameter_table.h"

namespace aperlume {
namespace {

constexpr char kDescription[] = "Veil of Lumen";
constexpr std::uint16_t kDirectParameterFlags = 0xB000;

}  // namespace

std::vector<std::uint8_t> BuildTerminology() {
    ByteWriter out;
    out.U16(1);
    out.U8(1);   // major version
    out.U8(0);   // minor version
    out.U16(0);  // language
    out.U16(0);  // script
    out.U16(1);  // suites

    out.PString("Tamsor");
    out.PString(kDescription);
    out.Code("tm01");
    out.U16(1);  // level
    out.U16(1);  // version
    out.U16(1);  // events

    out.PString("Aperlume");
    out.PString(kDescription);
    out.Code("tm01");  // class
    out.Code("tm01");  // event
    out.Code("null");  // reply type
    out.PString("");
    out.U16(0);        // reply flags
    out.Code("#ImR");  // direct parameter: an image reference
    out.PString("");
    out.U16(kDirectParameterFlags);
    out.U16(static_cast<std::uint16_t>(kScriptParameters.size()));
    for (const ScriptParameter& parameter : kScriptParameters) {
        out.PString(parameter.name);
        out.Code(parameter.key);
        out.Code(parameter.type);
        out.PString(parameter.name);
        out.U16(parameter.flags);
    }

    out.U16(0);  // classes
    out.U16(0);  // comparison operators
    out.U16(static_cast<std::uint16_t>(kScriptEnumerations.size()));
    for (const ScriptEnumeration& enumeration : kScriptEnumerations) {
        out.Code(enumeration.code);
        out.U16(static_cast<std::uint16_t>(enumeration.count));
        for (std::size_t i = 0; i < enumeration.count; ++i) {
            out.PString(enumeration.enumerators[i].name);
            out.Code(enumeration.enumerators[i].code);
            out.PString("");
        }
    }
    return out.Take();
}

}  // namespace aperlume
