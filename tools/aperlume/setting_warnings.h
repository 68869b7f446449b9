// Settings that will have no effect on the image, found before the render so that the user hears of
// them as warnings: the run still goes ahead.
#pragma once

#include <string>
#include <vector>

#include "base/filter_parameters.h"

namespace aperlume::tool {

// One sentence per setting that has no effect with the others, or with no selection at hand.
std::vector<std::string> IneffectiveSettings(const FilterParameters& settings, bool hasSelection);

}  // namespace aperlume::tool
