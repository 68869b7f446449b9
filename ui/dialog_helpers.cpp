// The portable part of the dialog helpers: window placement arithmetic and the alert's text.
#include "ui/dialog_helpers.h"

#include "ui/string_table.h"

namespace aperlume {

ScreenPoint CenteredPosition(const ScreenRect& desktop, std::int32_t width, std::int32_t height) {
    // In 64 bits: the sums of screen coordinates cannot overflow there. C++ division truncates towards
    // zero, as the placement rule wants.
    const std::int64_t x = (static_cast<std::int64_t>(desktop.left) + desktop.right - width) / 2;
    const std::int64_t y = (static_cast<std::int64_t>(desktop.top) + desktop.bottom - height) / 3;
    return ScreenPoint{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)};
}

Rect ClientRectToRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    return Rect{static_cast<std::int16_t>(top), static_cast<std::int16_t>(left), static_cast<std::int16_t>(bottom),
                static_cast<std::int16_t>(right)};
}

std::int32_t ShowAlert(ModuleHandle module, WindowHandle owner, std::int16_t alertId, std::int16_t templateId,
                       const PString* p1, const PString* p2) {
    if (alertId == 0) return 0;
    PString message{};
    if (templateId > 0) message = LoadStringTemplate(module, templateId);
    SubstituteParams(message, nullptr, p1, p2);
    return ShowWarningMessage(owner, message);
}

void ShowNoImageServiceAlert(ModuleHandle module, const PString& requiredVersion) {
    static_cast<void>(
        ShowAlert(module, nullptr, kNoImageServiceAlert, kNoImageServiceMessage, &requiredVersion, nullptr));
}

}  // namespace aperlume
