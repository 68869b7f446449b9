// The dialog helpers on real windows: placement, enabling, control rectangles, and the alert's
// Japanese text as the message box shows it.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "tests/support/linked_host.h"
#include "tests/ui/thread_dialog_win32.h"
#include "ui/dialog_helpers.h"
#include "ui/string_table.h"

namespace aperlume {
namespace {

HWND MakeWindow(DWORD style, int x, int y, int width, int height, HWND parent = nullptr, int id = 0) {
    return CreateWindowExW(0, L"STATIC", L"", style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

TEST(CenterOnDesktopWin32, PlacesTheWindowKeepingItsSize) {
    HWND window = MakeWindow(WS_POPUP, 5, 5, 300, 200);
    ASSERT_NE(window, nullptr);
    CenterOnDesktop(window);
    RECT desktop{};
    RECT placed{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &placed);
    EXPECT_EQ(placed.left, (desktop.left + desktop.right - 300) / 2);
    EXPECT_EQ(placed.top, (desktop.top + desktop.bottom - 200) / 3);
    EXPECT_EQ(placed.right - placed.left, 300);
    EXPECT_EQ(placed.bottom - placed.top, 200);
    DestroyWindow(window);
}

TEST(EnableControlsWin32, EnablesEachControlAndAnswersForTheLast) {
    HWND dialog = MakeWindow(WS_POPUP, 0, 0, 200, 200);
    ASSERT_NE(dialog, nullptr);
    HWND first = MakeWindow(WS_CHILD, 10, 20, 50, 30, dialog, 11);
    HWND second = MakeWindow(WS_CHILD, 10, 60, 50, 30, dialog, 12);
    const std::array<std::int32_t, 2> ids{11, 12};
    EXPECT_EQ(EnableControls(dialog, false, ids), 0) << "the last control was enabled before";
    EXPECT_FALSE(IsWindowEnabled(first));
    EXPECT_FALSE(IsWindowEnabled(second));
    EXPECT_NE(EnableControls(dialog, true, ids), 0) << "the last control was disabled before";
    EXPECT_TRUE(IsWindowEnabled(first));
    EXPECT_EQ(EnableControls(dialog, false, std::span<const std::int32_t>()), 0);
    EXPECT_TRUE(IsWindowEnabled(second));
    DestroyWindow(dialog);
}

TEST(GetControlRectWin32, GivesTheControlInClientCoordinates) {
    HWND dialog = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_CAPTION, 40, 50, 300, 300, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(dialog, nullptr);
    MakeWindow(WS_CHILD, 10, 20, 50, 30, dialog, 11);
    Rect r{};
    GetControlRect(11, r, dialog);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.bottom, 50);
    EXPECT_EQ(r.right, 60);
    DestroyWindow(dialog);
}

// The alert runs its own modal loop; a thread timer reads the message box and closes it.
struct AlertWatch {
    std::wstring text;
    std::wstring caption;
    bool found = false;
    int ticks = 0;
} watch;

void CALLBACK WatchAlert(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = testing::FindThreadDialog();
    if (box == nullptr) {
        // Give up after a few seconds rather than hang the test run.
        if (++watch.ticks > 250) PostQuitMessage(0);
        return;
    }
    wchar_t text[512] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 512);  // the message box's text control
    watch.text = text;
    GetWindowTextW(box, text, 512);
    watch.caption = text;
    watch.found = true;
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST(ShowAlertWin32, ShowsTheJapaneseMessageWithTheVersionInserted) {
    HMODULE module = LoadLibraryExA(testing::ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    watch = AlertWatch{};
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, &WatchAlert);
    const PString version = MakePString("3.0");
    const std::int32_t answer = ShowAlert(module, nullptr, kNoImageServiceAlert, kNoImageServiceMessage, &version,
                                          nullptr);
    KillTimer(nullptr, timer);
    FreeLibrary(module);
    ASSERT_TRUE(watch.found) << "no message box appeared";
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(watch.text,
              L"\x3053\x306e\x30db\x30b9\x30c8\x306f\x30d5\x30a3\x30eb\x30bf\x306b\x753b\x50cf\x30c7\x30fc\x30bf"
              L"\x3092\x6e21\x3059\x3053\x3068\x304c\x3067\x304d\x307e\x305b\x3093\x3002\x30d7\x30e9\x30b0\x30a4"
              L"\x30f3\x30a4\x30f3\x30bf\x30fc\x30d5\x30a7\x30a4\x30b9\x306e\x30d0\x30fc\x30b8\x30e7\x30f3 3.0 "
              L"\x4ee5\x964d\x306b\x5bfe\x5fdc\x3057\x305f\x30db\x30b9\x30c8\x304c\x5fc5\x8981\x3067\x3059\x3002");
    EXPECT_FALSE(watch.caption.empty()) << "the platform's default caption";
}

}  // namespace
}  // namespace aperlume
