// The name a slip of the keyboard most likely meant: for "did you mean --rotation?".
#pragma once

#include <span>
#include <string>

namespace aperlume::tool {

// The one of `names` that `word` is closest to: the only name it begins, or else the name fewest
// single-letter edits away (at most 2, and under half the word's length rounded up). "" when none is that
// close.
std::string NearestName(const std::string& word, std::span<const char* const> names);

}  // namespace aperlume::tool
