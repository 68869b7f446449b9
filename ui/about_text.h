// The about box's text.
#pragma once

#include <string>

namespace aperlume {

// The product name, the version, the years with the maker's handle and the long name, separated by
// blank lines (CR LF line ends, which the static control breaks lines at). UTF-8.
std::string AboutText();

}  // namespace aperlume
