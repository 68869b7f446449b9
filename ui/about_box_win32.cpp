// The about box on Windows: a modal box that closes on a click into it or a close request only, so
// that Enter and Escape, which a user presses out of habit, leave it open.
#include <windows.h>

#include <string>

#include "host/process_state.h"
#include "ui/about_box.h"
#include "ui/about_text.h"
#include "ui/dialog_helpers.h"

namespace aperlume {
namespace {

constexpr int kAboutTemplate = 101;
constexpr int kAboutTextControl = 1001;

void SetAboutText(HWND dialog) {
    const std::string text = AboutText();
    const int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (count <= 0) return;
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), count);
    SetDlgItemTextW(dialog, kAboutTextControl, wide.c_str());
}

INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) noexcept {
    try {
        switch (message) {
            case WM_INITDIALOG:
                SetAboutText(dialog);
                CenterOnDesktop(dialog);
                return TRUE;
            case WM_PAINT:
                UpdateWindow(dialog);
                return FALSE;  // the platform paints
            case WM_COMMAND:
                return TRUE;  // OK, Enter and Escape included: nothing
            case WM_LBUTTONDOWN:
            case WM_CLOSE:
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            default:
                return FALSE;
        }
    } catch (...) {
        // Nothing may unwind into the window system; a box without its text still closes normally.
        return FALSE;
    }
}

}  // namespace

void ShowAboutBox(const AboutRecord* record) {
    HWND owner = nullptr;
    if (record != nullptr && record->platformData != nullptr)
        owner = reinterpret_cast<HWND>(static_cast<const PlatformData*>(record->platformData)->hwnd);
    DialogBoxParamW(static_cast<HINSTANCE>(GetModuleInstance()), MAKEINTRESOURCEW(kAboutTemplate), owner,
                    AboutBoxProc, 0);
}

}  // namespace aperlume
