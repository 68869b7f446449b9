// The about box under a real window system: it shows the product text centred on the desktop, Enter
// and Escape leave it open, and a click closes it. A thread timer drives it from inside its modal loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "host/process_state.h"
#include "tests/support/linked_host.h"
#include "tests/ui/thread_dialog_win32.h"
#include "ui/about_box.h"

namespace aperlume {
namespace {

struct AboutWatch {
    HWND box = nullptr;
    int step = 0;
    int ticks = 0;
    bool openAfterKeys = false;
    bool staticLetsClicksThrough = false;
    bool timedOut = false;
    std::wstring text;
    RECT placed{};
} watch;

void CALLBACK DriveAboutBox(HWND, UINT, UINT_PTR, DWORD) {
    if (++watch.ticks > 250) {  // a few seconds: never hang the run
        watch.timedOut = true;
        if (watch.box != nullptr && IsWindow(watch.box)) EndDialog(watch.box, 0);
        return;
    }
    if (watch.step == 0) {
        watch.box = testing::FindThreadDialog();
        if (watch.box == nullptr) return;
        wchar_t text[256] = {};
        GetDlgItemTextW(watch.box, 1001, text, 256);
        watch.text = text;
        GetWindowRect(watch.box, &watch.placed);
        HWND label = GetDlgItem(watch.box, 1001);
        RECT labelRect{};
        GetWindowRect(label, &labelRect);
        const LPARAM inside = MAKELPARAM((labelRect.left + labelRect.right) / 2, (labelRect.top + labelRect.bottom) / 2);
        watch.staticLetsClicksThrough = SendMessageW(label, WM_NCHITTEST, 0, inside) == HTTRANSPARENT;
        // Enter and Escape as the dialog manager receives them, and the commands they make.
        for (WPARAM key : {static_cast<WPARAM>(VK_RETURN), static_cast<WPARAM>(VK_ESCAPE)}) {
            PostMessageW(watch.box, WM_KEYDOWN, key, 0);
            PostMessageW(watch.box, WM_KEYUP, key, 0);
        }
        PostMessageW(watch.box, WM_COMMAND, IDOK, 0);
        PostMessageW(watch.box, WM_COMMAND, IDCANCEL, 0);
        watch.step = 1;
        return;
    }
    if (watch.step == 1) {
        watch.openAfterKeys = IsWindow(watch.box) && IsWindowVisible(watch.box);
        PostMessageW(watch.box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
        PostMessageW(watch.box, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
        watch.step = 2;
    }
}

TEST(AboutBoxWin32, EnterAndEscapeLeaveItOpenAndAClickClosesIt) {
    HMODULE module = LoadLibraryExA(testing::ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    void* previous = GetModuleInstance();
    SetModuleInstance(module);
    PlatformData platform{0};
    AboutRecord record{};
    record.platformData = &platform;

    watch = AboutWatch{};
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, &DriveAboutBox);
    ShowAboutBox(&record);
    KillTimer(nullptr, timer);
    SetModuleInstance(previous);
    FreeLibrary(module);

    ASSERT_NE(watch.box, nullptr) << "the about box never appeared";
    EXPECT_FALSE(watch.timedOut) << "the click did not close the box";
    EXPECT_TRUE(watch.openAfterKeys);
    EXPECT_TRUE(watch.staticLetsClicksThrough);
    EXPECT_FALSE(IsWindow(watch.box));
    EXPECT_EQ(watch.text, L"Aperlume\r\n\r\n0.13.5\r\n\r\n2025-2026 Tamsor\r\n\r\nVeil of Lumen");

    RECT desktop{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    const LONG width = watch.placed.right - watch.placed.left;
    const LONG height = watch.placed.bottom - watch.placed.top;
    EXPECT_EQ(watch.placed.left, (desktop.left + desktop.right - width) / 2);
    EXPECT_EQ(watch.placed.top, (desktop.top + desktop.bottom - height) / 3);
}

}  // namespace
}  // namespace aperlume
