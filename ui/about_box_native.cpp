// The about box natively: records the owner it would have and the text it would show.
#include "ui/about_box.h"
#include "ui/about_box_probe.h"
#include "ui/about_text.h"

namespace aperlume {
namespace {

// What the about boxes of this process would have shown, for the tests to read (the about selector has
// no context to record it in).
std::vector<ShownAboutBox>& Shown() {
    static std::vector<ShownAboutBox> shown;
    return shown;
}

}  // namespace

const std::vector<ShownAboutBox>& ShownAboutBoxes() { return Shown(); }

void ClearShownAboutBoxes() { Shown().clear(); }

void ShowAboutBox(const AboutRecord* record) {
    std::intptr_t owner = 0;
    if (record != nullptr && record->platformData != nullptr)
        owner = static_cast<const PlatformData*>(record->platformData)->hwnd;
    Shown().push_back(ShownAboutBox{owner, AboutText()});
}

}  // namespace aperlume
