// The terminology declares exactly the keys, in the order and with the types, that the scripting
// descriptor is written with: a host records the settings under the declared names.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "host/movable_handle.h"
#include "host/plugin_context.h"
#include "resources/terminology.h"
#include "scripting/script_parameters.h"
#include "tests/scripting/scripting_fixture.h"

namespace aperlume {
namespace {

struct DeclaredParameter {
    DescriptorKeyID key;
    DescriptorTypeID type;
};

struct Declared {
    std::vector<DeclaredParameter> parameters;
    std::map<DescriptorTypeID, std::vector<DescriptorEnumID>> enumerations;
};

// The parameters of the terminology's one event, and its enumerations.
Declared ReadTerminology(const std::vector<std::uint8_t>& b) {
    std::size_t at = 0;
    auto skip = [&](std::size_t n) { at += n; };
    auto pstring = [&] { at += 1 + b.at(at); };
    auto u16 = [&] {
        const auto v = static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
        at += 2;
        return v;
    };
    auto code = [&] {
        const std::uint32_t v = b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) |
                                (static_cast<std::uint32_t>(b.at(at + 3)) << 24);
        at += 4;
        return v;
    };
    skip(10);  // header and suite count
    pstring();
    pstring();
    skip(4 + 2 + 2 + 2);  // suite code, level, version, event count
    pstring();
    pstring();
    skip(12);  // class, event, reply type
    pstring();
    skip(2 + 4);  // reply flags, direct parameter type
    pstring();
    skip(2);
    Declared declared;
    declared.parameters.resize(u16());
    for (DeclaredParameter& p : declared.parameters) {
        pstring();
        p.key = code();
        p.type = code();
        pstring();
        skip(2);
    }
    skip(4);  // no classes, no comparison operators
    for (std::uint16_t e = u16(); e > 0; --e) {
        std::vector<DescriptorEnumID>& enumerators = declared.enumerations[code()];
        for (std::uint16_t n = u16(); n > 0; --n) {
            pstring();
            enumerators.push_back(code());
            pstring();
        }
    }
    return declared;
}

using ScriptingKeys = testing::ScriptingTest;

TEST_F(ScriptingKeys, TheDescriptorWrittenUsesTheDeclaredKeysAndTypes) {
    WriteScriptParameters(context_);
    const auto written = suite_.Descriptor();
    const auto declared = ReadTerminology(BuildTerminology()).parameters;
    ASSERT_EQ(written.size(), declared.size());
    for (std::size_t i = 0; i < declared.size(); ++i) {
        EXPECT_EQ(written[i].key, declared[i].key) << i;
        if (declared[i].type == FourCC("long")) {
            EXPECT_EQ(written[i].type, testhost::kTypeInteger) << i;
        } else {
            EXPECT_EQ(written[i].type, testhost::kTypeEnumerated) << i;
            EXPECT_EQ(written[i].detail, declared[i].type) << "the enumeration the terminology names";
        }
    }
}

TEST_F(ScriptingKeys, EachChoiceIsWrittenAsTheDeclaredEnumeratorOfItsPosition) {
    const auto enumerations = ReadTerminology(BuildTerminology()).enumerations;
    const std::vector<DescriptorEnumID>& methods = enumerations.at(FourCC("Mthd"));
    const std::vector<DescriptorEnumID>& corrections = enumerations.at(FourCC("Cmpn"));
    ASSERT_EQ(methods.size(), 3u);
    ASSERT_EQ(corrections.size(), 2u);
    for (std::int16_t value = 0; value < 3; ++value) {
        Settings()->method = value;
        Settings()->correction = static_cast<std::int16_t>(value % 2);
        WriteScriptParameters(context_);
        const auto written = suite_.Descriptor();
        ASSERT_EQ(written.size(), 11u);
        EXPECT_EQ(written[7].integer, methods[static_cast<std::size_t>(value)]) << value;
        EXPECT_EQ(written[8].integer, corrections[static_cast<std::size_t>(value % 2)]) << value;
    }
}

}  // namespace
}  // namespace aperlume
