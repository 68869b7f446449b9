// The outcome of one step of the tools (reading or writing a file here, parsing a command line in
// tools/aperlume/): success, or a message that tells the user what went wrong. The tools run outside
// the plug-in, so they may carry text; the plug-in's own failures arrive as result codes, which the
// command line puts into words.
#pragma once

#include <string>
#include <utility>

namespace aperlume::tool {

struct [[nodiscard]] ToolStatus {
    std::string message;  // empty on success

    bool ok() const { return message.empty(); }
    static ToolStatus Success() { return {}; }
    static ToolStatus Failure(std::string why) { return {std::move(why)}; }
};

}  // namespace aperlume::tool
