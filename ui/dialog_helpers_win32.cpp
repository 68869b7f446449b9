// The dialog helpers on Windows. Texts are code page 932 bytes inside the plug-in; they are converted
// explicitly at the edge and shown through the wide calls, so that Japanese reads correctly whatever
// the system's ANSI code page is.
#include <windows.h>

#include "ui/dialog_helpers.h"

namespace aperlume {
namespace {

constexpr UINT kJapaneseCodePage = 932;

HWND AsWindow(WindowHandle window) { return static_cast<HWND>(window); }

}  // namespace

void CenterOnDesktop(WindowHandle window) {
    RECT desktop{};
    RECT bounds{};
    if (!GetWindowRect(GetDesktopWindow(), &desktop) || !GetWindowRect(AsWindow(window), &bounds)) return;
    const ScreenPoint at = CenteredPosition(ScreenRect{desktop.left, desktop.top, desktop.right, desktop.bottom},
                                            bounds.right - bounds.left, bounds.bottom - bounds.top);
    SetWindowPos(AsWindow(window), nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

std::int32_t EnableControls(WindowHandle dialog, bool enable, std::span<const std::int32_t> controlIds) {
    BOOL answer = FALSE;
    for (std::int32_t id : controlIds) answer = EnableWindow(GetDlgItem(AsWindow(dialog), id), enable ? TRUE : FALSE);
    return answer;
}

void GetControlRect(std::int32_t controlId, Rect& out, WindowHandle dialog) {
    RECT bounds{};
    if (!GetWindowRect(GetDlgItem(AsWindow(dialog), controlId), &bounds)) return;
    POINT topLeft{bounds.left, bounds.top};
    POINT bottomRight{bounds.right, bounds.bottom};
    ScreenToClient(AsWindow(dialog), &topLeft);
    ScreenToClient(AsWindow(dialog), &bottomRight);
    out = ClientRectToRect(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
}

PString LoadStringTemplate(ModuleHandle module, std::int16_t id) {
    PString result{};
    // With a zero length LoadStringW hands out the resource's own text, which is not terminated.
    const WCHAR* text = nullptr;
    const int length = LoadStringW(static_cast<HINSTANCE>(module), static_cast<UINT>(id),
                                   reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) return result;
    // No more characters than can fill a length-prefixed string: each takes at most two bytes, so they
    // always fit the buffer, and the append cuts them to 254 bytes as a longer text is cut.
    const int used = length < static_cast<int>(kPStringMaxLength) ? length : static_cast<int>(kPStringMaxLength);
    char bytes[kPStringMaxLength * 2];
    const int count = WideCharToMultiByte(kJapaneseCodePage, 0, text, used, bytes, sizeof bytes, nullptr, nullptr);
    if (count <= 0) return result;
    AppendToPString(result, reinterpret_cast<const std::uint8_t*>(bytes), 0, static_cast<std::size_t>(count));
    return result;
}

std::int32_t ShowWarningMessage(WindowHandle owner, const PString& message) {
    WCHAR text[kPStringBufferSize + 1];
    int count = 0;
    if (message[0] > 0)
        count = MultiByteToWideChar(kJapaneseCodePage, 0, reinterpret_cast<const char*>(message.data() + 1),
                                    message[0], text, kPStringBufferSize);
    text[count > 0 ? count : 0] = L'\0';
    return MessageBoxW(AsWindow(owner), text, nullptr, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace aperlume
