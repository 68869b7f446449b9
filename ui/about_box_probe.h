// Test view of the native about box: what it would have shown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace aperlume {

struct ShownAboutBox {
    std::intptr_t owner;  // the host window from the about record's platform data (0 for none)
    std::string text;
};

const std::vector<ShownAboutBox>& ShownAboutBoxes();
void ClearShownAboutBoxes();

}  // namespace aperlume
