// Where the tool looks for the plug-in module when --plugin names none, so that the tool works from
// the build tree, from an installation, and as a symbolic link or a copy elsewhere (~/bin): the
// executable's own folder is that of its resolved path, so a link leads to the real place; a copy
// finds the module of the installation it was configured for.
#pragma once

#include <string>
#include <vector>

namespace aperlume::tool {

struct ModulePlaces {
    std::string executableFolder;  // the running executable's folder, links resolved ("" when unknown)
    std::string builtRelative;     // the module's path relative to the executable in the build tree
    std::string fileName;          // the module's file name
    std::string installedFolder;   // the module folder of the configured installation
};

// The candidates in the order they are tried: the build tree's place, beside the executable,
// ../lib/aperlume beside an installed executable's folder, and the configured installation.
std::vector<std::string> ModuleCandidates(const ModulePlaces& places);

// The first candidate that exists, or "" (`tried` lists them all, for the message).
std::string FindModule(const ModulePlaces& places, std::string& tried);

}  // namespace aperlume::tool
