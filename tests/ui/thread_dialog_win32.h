// Test helper: the visible dialog (or message box) of the calling thread, for timers that drive a modal
// loop from inside it.
#pragma once

#include <windows.h>

#include <string>

namespace aperlume::testing {

inline BOOL CALLBACK MatchVisibleDialog(HWND window, LPARAM found) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (std::wstring(name) == L"#32770" && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// Null when the thread shows no dialog.
inline HWND FindThreadDialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &MatchVisibleDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace aperlume::testing
