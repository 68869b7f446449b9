// The dialog helpers natively: they act on stand-in windows and record the alerts instead of showing
// them, so that the callers' behaviour can be checked without a window system. String resources come
// from the module's string table, converted to code page 932 as the Windows build does.
#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "ui/dialog_helpers_probe.h"
#include "ui/string_table.h"

namespace aperlume {
namespace {

// The warning icon with an OK button, as the Windows build passes it.
constexpr std::uint32_t kWarningStyle = 0x30;
constexpr std::int32_t kOkAnswer = 1;

// The stand-in desktop and the alerts shown so far: process-wide as the screen and the message boxes
// they stand in for, and read by the tests.
ScreenRect& Desktop() {
    static ScreenRect desktop{0, 0, 1024, 768};
    return desktop;
}

std::vector<ShownAlert>& Alerts() {
    static std::vector<ShownAlert> alerts;
    return alerts;
}

NativeControl* FindControl(WindowHandle dialog, std::int32_t controlId) {
    if (dialog == nullptr) return nullptr;
    for (NativeControl& control : static_cast<NativeWindow*>(dialog)->controls)
        if (control.id == controlId) return &control;
    return nullptr;
}

}  // namespace

void SetNativeDesktop(const ScreenRect& desktop) { Desktop() = desktop; }

const std::vector<ShownAlert>& ShownAlerts() { return Alerts(); }

void ClearShownAlerts() { Alerts().clear(); }

void CenterOnDesktop(WindowHandle window) {
    if (window == nullptr) return;
    ScreenRect& rect = static_cast<NativeWindow*>(window)->screenRect;
    const std::int32_t width = rect.right - rect.left;
    const std::int32_t height = rect.bottom - rect.top;
    const ScreenPoint at = CenteredPosition(Desktop(), width, height);
    rect = ScreenRect{at.x, at.y, at.x + width, at.y + height};
}

std::int32_t EnableControls(WindowHandle dialog, bool enable, std::span<const std::int32_t> controlIds) {
    std::int32_t answer = 0;
    for (std::int32_t id : controlIds) {
        NativeControl* control = FindControl(dialog, id);
        if (control == nullptr) {
            answer = 0;  // the platform's answer for a missing control
            continue;
        }
        static_cast<NativeWindow*>(dialog)->enableCalls.push_back(id);
        answer = control->enabled ? 0 : 1;
        control->enabled = enable;
    }
    return answer;
}

void GetControlRect(std::int32_t controlId, Rect& out, WindowHandle dialog) {
    const NativeControl* control = FindControl(dialog, controlId);
    if (control == nullptr) return;
    const ScreenPoint origin = static_cast<NativeWindow*>(dialog)->clientOrigin;
    out = ClientRectToRect(control->screenRect.left - origin.x, control->screenRect.top - origin.y,
                           control->screenRect.right - origin.x, control->screenRect.bottom - origin.y);
}

PString LoadStringTemplate(ModuleHandle, std::int16_t id) {
    PString result{};
    const char* text = StringTableText(id);
    if (text == nullptr) return result;
    iconv_t converter = iconv_open("CP932", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) return result;
    char converted[kPStringBufferSize * 2];
    char* in = const_cast<char*>(text);
    std::size_t inLeft = std::strlen(text);
    char* out = converted;
    std::size_t outLeft = sizeof converted;
    // A text too long for the buffer keeps what fits (the append cuts it to 254 bytes); a text that
    // cannot be converted counts as missing.
    const bool ok = iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) || errno == E2BIG;
    iconv_close(converter);
    if (!ok) return result;
    AppendToPString(result, reinterpret_cast<const std::uint8_t*>(converted), 0,
                    sizeof converted - outLeft);
    return result;
}

std::int32_t ShowWarningMessage(WindowHandle owner, const PString& message) {
    Alerts().push_back(ShownAlert{owner, std::vector<std::uint8_t>(message.begin() + 1, message.begin() + 1 + message[0]),
                                  kWarningStyle});
    return kOkAnswer;
}

}  // namespace aperlume
