// The outcome of one step of the command-line tool: success, or a message that tells the user what
// went wrong. The tool runs outside the plug-in, so it may carry text; the plug-in's own failures
// arrive as result codes and are put into words by ResultCodeText.
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
