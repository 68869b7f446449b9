// Running the built aperlume executable from a test: a shell command line with quoted arguments, the
// exit code and both output streams.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/imagefile/image_test_support.h"

namespace aperlume::tool::testing {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs `program` with `arguments`, after `prefix` (shell words: variables, a wrapper, a ulimit), with
// its output captured in files inside `folder`, removed afterwards.
inline ToolRun RunProgram(const std::string& prefix, const std::string& program,
                          const std::vector<std::string>& arguments, const std::filesystem::path& folder) {
    const std::filesystem::path out = folder / "stdout.txt", err = folder / "stderr.txt";
    std::string command = prefix + (prefix.empty() ? "" : " ") + Quote(program);
    for (const std::string& argument : arguments) command += " " + Quote(argument);
    command += " >" + Quote(out.string()) + " 2>" + Quote(err.string());
    const int status = std::system(command.c_str());
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadText(out);
    run.err = ReadText(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

}  // namespace aperlume::tool::testing
