// Writing an output file so that a failure or an interrupt never leaves a partial file behind and never
// destroys an existing one: the content goes to a fresh temporary file in the same folder, which then
// replaces the target in one step.
//
// The temporary file is created exclusively under an unpredictable name (nothing planted at a name
// can redirect the write), is removed when the process is interrupted while writing it (Ctrl-C, or a
// termination request), and takes the mode of the file it replaces (or the usual mode of a new file).
// Every message names the user's own path, never the temporary one.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "tools/imagefile/tool_status.h"

namespace aperlume::tool {

// Checks, before any work, that `path` can be an output: its folder exists, and it is
// not a folder nor a read-only file (a read-only file is the user's way of saying "keep this").
ToolStatus CheckOutputPath(const std::string& path);

// True when `path` exists and may not be written: no write permission for anyone, or none for us (on
// Windows: the read-only attribute).
bool IsReadOnlyFile(const std::string& path);

// Checks `path` as CheckOutputPath does, creates the temporary file, calls `write` with it open for
// writing and reading back (`write` must not close it), and on success puts it in place of `path`. On any failure the
// temporary file is removed and `path` is left as it was. One write at a time per process.
ToolStatus WriteFileAtomically(const std::string& path, const std::function<ToolStatus(std::FILE* file)>& write);

// True when `a` and `b` name the same file: the same existing file by any path, or the same path.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace aperlume::tool
