// The real main dialog under Windows (Wine in CI): its template, its Japanese texts read back as wide
// strings on a non-Japanese system, and a user driving it with window messages from a timer on the
// dialog's own thread: sliders, number boxes, radio buttons, check boxes, zoom, dragging the preview,
// OK, Cancel and close, also while a full preview render runs.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/preview_state.h"
#include "host/process_state.h"
#include "base/result.h"
#include "base/working_memory.h"
#include "tests/support/linked_host.h"
#include "tests/ui/preview_fixture.h"
#include "tests/ui/thread_dialog_win32.h"
#include "ui/dialog_ids.h"
#include "ui/main_dialog.h"

namespace aperlume {
namespace {

using testing::PreviewFixture;

// ---- The host's side: owner window and displayPixels ---------------------------------------------

std::int32_t displayCalls = 0;
PSPixelMap lastMap{};

OSErr HostDisplayPixels(const PSPixelMap* source, const VRect* rect, std::int32_t dstRow, std::int32_t dstCol,
                        void* platformContext) {
    ++displayCalls;
    lastMap = *source;
    const std::int32_t width = rect->right - rect->left;
    const std::int32_t height = rect->bottom - rect->top;
    if (width <= 0 || height <= 0) return 0;
    std::vector<std::uint32_t> bgra(static_cast<std::size_t>(width) * height);
    const auto* base = static_cast<const std::uint8_t*>(source->baseAddr);
    for (std::int32_t r = 0; r < height; ++r)
        for (std::int32_t c = 0; c < width; ++c) {
            const std::uint8_t* p = base + r * source->rowBytes + c * source->colBytes;
            const std::uint32_t red = p[0];
            const std::uint32_t green = source->imageMode == kModeRGB ? p[1] : p[0];
            const std::uint32_t blue = source->imageMode == kModeRGB ? p[2] : p[0];
            bgra[static_cast<std::size_t>(r) * width + c] = blue | (green << 8) | (red << 16);
        }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(static_cast<HDC>(platformContext), dstCol, dstRow, static_cast<DWORD>(width),
                      static_cast<DWORD>(height), 0, 0, 0, static_cast<UINT>(height), bgra.data(), &info,
                      DIB_RGB_COLORS);
    return 0;
}

HWND MakeOwner() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"AperlumeTestHost";
        RegisterClassW(&wc);
        registered = true;
    }
    return CreateWindowW(L"AperlumeTestHost", L"Host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

std::uint32_t BrightPoints(std::int32_t row, std::int32_t column, std::int32_t plane) {
    if (row % 24 == 12 && column % 24 == 12) return 255;
    return static_cast<std::uint32_t>(40 + (plane * 30) + (row + column) / 8 % 20);
}

// ---- The user: steps run from a timer on the dialog's thread ---------------------------------------

enum class When { Settled, Rendering };

struct Step {
    When when;
    std::function<void(HWND)> act;
};

std::vector<Step> steps;
std::size_t nextStep = 0;
DWORD started = 0;
bool timedOut = false;
constexpr DWORD kTimeoutMs = 60000;

HWND Dialog() { return testing::FindThreadDialog(); }

bool Settled(HWND dialog) {
    MSG pending;
    return GetPreviewState() == PreviewState::Idle &&
           !PeekMessageW(&pending, dialog, kFullRenderRequest, kQuickRenderRequest, PM_NOREMOVE);
}

void CALLBACK StepTimer(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = Dialog();
    if (dialog == nullptr) return;
    if (GetTickCount() - started > kTimeoutMs) {
        // Never hang the test run: cancel whatever is open.
        timedOut = true;
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (nextStep >= steps.size()) return;
    const Step& step = steps[nextStep];
    const bool ready = step.when == When::Settled ? Settled(dialog) : GetPreviewState() == PreviewState::Rendering;
    if (!ready) return;
    ++nextStep;
    step.act(dialog);
}

// Runs `show` (which opens the dialog) with the steps playing from a timer.
template <class Show>
auto RunSteps(std::vector<Step> script, Show show) {
    steps = std::move(script);
    nextStep = 0;
    timedOut = false;
    started = GetTickCount();
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, &StepTimer);
    const auto outcome = show();
    KillTimer(nullptr, timer);
    EXPECT_FALSE(timedOut) << "the dialog did not end by itself";
    EXPECT_EQ(nextStep, steps.size()) << "not every step ran";
    EXPECT_EQ(GetPreviewState(), PreviewState::Idle);
    return outcome;
}

// Runs the dialog with the steps; its outcome goes to f.result. True when it was kOk.
bool RunDialog(PreviewFixture& f, std::vector<Step> script) {
    return RunSteps(std::move(script), [&] {
        f.result = ShowMainDialog(f.context);
        return f.result.ok();
    });
}

void MoveSlider(HWND dialog, int id, int position) {
    HWND slider = GetDlgItem(dialog, id);
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
    SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(slider));
}

void Type(HWND dialog, int id, const wchar_t* text) { SetDlgItemTextW(dialog, id, text); }
void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

std::wstring TextOf(HWND dialog, int id) {
    wchar_t text[128] = {};
    GetDlgItemTextW(dialog, id, text, 128);
    return text;
}

class MainDialogWin32 : public ::testing::Test {
protected:
    MainDialogWin32() : f_(400, 300, 3, kModeRGB) {
        SetModuleInstance(GetModuleHandleW(nullptr));
        owner_ = MakeOwner();
        platform_.hwnd = reinterpret_cast<std::intptr_t>(owner_);
        f_.record.platformData = &platform_;
        f_.record.displayPixels = &HostDisplayPixels;
        f_.Fill(&BrightPoints);
        displayCalls = 0;
    }
    ~MainDialogWin32() override { DestroyWindow(owner_); }

    PreviewFixture f_;
    HWND owner_ = nullptr;
    PlatformData platform_{};
};

// ---- The template ------------------------------------------------------------------------------

struct TemplateItem {
    std::uint16_t id;
    const wchar_t* cls;
    std::uint32_t style;
    std::int16_t x, y, cx, cy;
};

const TemplateItem kItems[40] = {
    {1, L"BUTTON", 0x50010001, 112, 7, 50, 14},        {2, L"BUTTON", 0x50010000, 112, 24, 50, 14},
    {1002, L"BUTTON", 0x50010000, 85, 15, 13, 15},     {1003, L"BUTTON", 0x50010000, 85, 60, 13, 15},
    {1007, L"STATIC", 0x50000107, 5, 7, 70, 78},       {1008, L"STATIC", 0x50020201, 80, 40, 24, 15},
    {1042, L"BUTTON", 0x50020007, 5, 90, 85, 25},      {1044, L"BUTTON", 0x50010009, 10, 100, 32, 10},
    {1045, L"BUTTON", 0x50010009, 44, 100, 20, 10},    {1046, L"BUTTON", 0x50010009, 65, 100, 23, 10},
    {1043, L"BUTTON", 0x50020007, 95, 90, 68, 25},     {1039, L"BUTTON", 0x50010009, 100, 100, 30, 10},
    {1040, L"BUTTON", 0x50010009, 130, 100, 25, 10},   {1009, L"BUTTON", 0x50000007, 5, 120, 158, 45},
    {1010, L"STATIC", 0x50020000, 10, 132, 25, 12},    {1012, L"MSCTLS_TRACKBAR32", 0x50000018, 39, 132, 89, 12},
    {1011, L"EDIT", 0x50810080, 131, 132, 25, 12},     {1013, L"STATIC", 0x50020000, 10, 147, 25, 12},
    {1015, L"MSCTLS_TRACKBAR32", 0x50000018, 39, 147, 89, 12}, {1014, L"EDIT", 0x50810080, 131, 147, 25, 12},
    {1016, L"BUTTON", 0x50000007, 5, 170, 158, 90},    {1019, L"STATIC", 0x50020000, 9, 185, 25, 12},
    {1021, L"MSCTLS_TRACKBAR32", 0x50000018, 38, 185, 89, 12}, {1020, L"EDIT", 0x50810080, 130, 185, 25, 12},
    {1022, L"STATIC", 0x50020000, 9, 200, 25, 12},     {1024, L"MSCTLS_TRACKBAR32", 0x50000018, 38, 200, 89, 12},
    {1023, L"EDIT", 0x50810080, 130, 200, 25, 12},     {1025, L"STATIC", 0x50020000, 9, 215, 25, 12},
    {1027, L"MSCTLS_TRACKBAR32", 0x50000018, 38, 215, 89, 12}, {1026, L"EDIT", 0x50810080, 130, 215, 25, 12},
    {1028, L"STATIC", 0x50020000, 9, 230, 25, 12},     {1030, L"MSCTLS_TRACKBAR32", 0x50000018, 38, 230, 89, 12},
    {1029, L"EDIT", 0x50810080, 130, 230, 25, 12},     {1036, L"STATIC", 0x50020000, 9, 245, 25, 8},
    {1035, L"BUTTON", 0x50010003, 40, 245, 64, 10},    {1047, L"BUTTON", 0x50020007, 5, 265, 159, 43},
    {1038, L"BUTTON", 0x50030003, 43, 277, 112, 10},   {1033, L"STATIC", 0x50020000, 9, 291, 25, 12},
    {1031, L"MSCTLS_TRACKBAR32", 0x50000018, 38, 291, 89, 12}, {1032, L"EDIT", 0x50810080, 129, 291, 25, 12},
};

// A string or ordinal field of a dialog template; advances `p`.
std::wstring TemplateString(const WORD*& p) {
    if (*p == 0xFFFF) {
        std::wstring ordinal = L"#" + std::to_wstring(p[1]);
        p += 2;
        return ordinal;
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(p));
    p += text.size() + 1;
    return text;
}

TEST(MainDialogTemplate, IsTheClassicJapaneseTemplateWithFortyControls) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceExW(self, reinterpret_cast<LPCWSTR>(RT_DIALOG), MAKEINTRESOURCEW(102),
                                  MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    ASSERT_NE(found, nullptr);
    const auto* tmpl = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(self, found)));
    ASSERT_NE(tmpl, nullptr);
    EXPECT_EQ(tmpl->style, 0x80C800C0u);
    EXPECT_EQ(tmpl->cdit, 40);
    EXPECT_EQ(tmpl->cx, 171);
    EXPECT_EQ(tmpl->cy, 315);
    const WORD* p = reinterpret_cast<const WORD*>(tmpl + 1);
    EXPECT_EQ(TemplateString(p), L"");  // no menu
    EXPECT_EQ(TemplateString(p), L"");  // the standard dialog class
    EXPECT_EQ(TemplateString(p), L"\xFF80\xFF9E\xFF72\xFF71\xFF9B\xFF78\xFF9E");  // ﾀﾞｲｱﾛｸﾞ
    EXPECT_EQ(*p++, 9);
    EXPECT_EQ(TemplateString(p), L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF");  // ＭＳ Ｐゴシック
    std::map<int, std::wstring> classOf;
    for (const TemplateItem& expected : kItems) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<std::uintptr_t>(p) + 3) & ~std::uintptr_t{3});
        const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        EXPECT_EQ(item->id, expected.id);
        EXPECT_EQ(item->style, expected.style) << expected.id;
        EXPECT_EQ(item->x, expected.x) << expected.id;
        EXPECT_EQ(item->y, expected.y) << expected.id;
        EXPECT_EQ(item->cx, expected.cx) << expected.id;
        EXPECT_EQ(item->cy, expected.cy) << expected.id;
        p = reinterpret_cast<const WORD*>(item + 1);
        std::wstring cls = TemplateString(p);
        for (wchar_t& ch : cls) ch = static_cast<wchar_t>(towupper(ch));
        EXPECT_EQ(cls, expected.cls) << expected.id;
        classOf[item->id] = cls;
        TemplateString(p);  // text
        p += 1 + *p / sizeof(WORD);  // creation data
    }
    // The template repeats the settings table's control ids as numbers: each must be there, of its kind.
    auto expectControl = [&](std::int16_t id, const wchar_t* cls, const char* setting) {
        if (id == 0) return;
        const auto entry = classOf.find(id);
        ASSERT_NE(entry, classOf.end()) << setting << " control " << id;
        EXPECT_EQ(entry->second, cls) << setting << " control " << id;
    };
    for (const Setting& setting : kSettings) {
        const SettingControls& c = setting.dialog;
        expectControl(c.label, L"STATIC", setting.option);
        expectControl(c.slider, L"MSCTLS_TRACKBAR32", setting.option);
        expectControl(c.edit, L"EDIT", setting.option);
        expectControl(c.check, L"BUTTON", setting.option);
        for (const Enumerator& e : setting.enumerators) expectControl(e.radio, L"BUTTON", e.option);
    }
}

// ---- Opening, texts and the user ---------------------------------------------------------------

TEST_F(MainDialogWin32, OpensWithTheJapaneseLabelsAsWideTextAndOkKeepsTheClampedBlock) {
    const std::int64_t live = LiveAllocations();
    *f_.Block() = FilterParameters{5, 0, 0, 0, 0, 0, 0, 3, 3, 0, 0, 0};
    std::vector<std::pair<int, std::wstring>> seen;
    std::wstring caption;
    const bool accepted = RunDialog(f_, {{When::Settled, [&](HWND d) {
                                              wchar_t text[64] = {};
                                              GetWindowTextW(d, text, 64);
                                              caption = text;
                                              for (int id : {1010, 1013, 1019, 1022, 1025, 1028, 1036, 1035, 1039, 1040,
                                                             1038, 1033, 1011, 1014, 1020, 1008})
                                                  seen.emplace_back(id, TextOf(d, id));
                                              Click(d, IDOK);
                                          }}});
    EXPECT_TRUE(accepted);
    EXPECT_EQ(f_.result, 0);
    EXPECT_EQ(caption, L"Aperlume 0.13.5");
    const std::pair<int, std::wstring> expected[] = {
        {1010, L"\x91CF"},                          // 量
        {1013, L"\x660E\x308B\x3055"},              // 明るさ
        {1019, L"\x9802\x70B9\x6570"},              // 頂点数
        {1022, L"\x30A8\x30C3\x30B8"},              // エッジ
        {1025, L"\x6BD4\x7387"},                    // 比率
        {1028, L"\x56DE\x8EE2"},                    // 回転
        {1036, L"\x30BD\x30D5\x30C8"},              // ソフト
        {1035, L"\x30A2\x30F3\x30C1\x30A8\x30A4\x30EA\x30A2\x30B9"},  // アンチエイリアス
        {1039, L"\x30AC\x30F3\x30DE"},              // ガンマ
        {1040, L"\x5BFE\x6570"},                    // 対数
        {1038, L"\x9078\x629E\x9818\x57DF\x3092\x6DF1\x5EA6\x30DE\x30C3\x30D7\x3068\x3057\x3066\x4F7F\x3046"},
        {1033, L"\x7126\x70B9"},                    // 焦点
        {1011, L"5"},
        {1014, L"1"},
        {1020, L"1"},
        {1008, L"100%"},
    };
    ASSERT_EQ(seen.size(), std::size(expected));
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], expected[i]) << expected[i].first;
    EXPECT_EQ(f_.Block()->brightness, 1);
    EXPECT_EQ(f_.Block()->vertices, 1);
    EXPECT_EQ(f_.Block()->method, 0);  // 3 matched no button
    EXPECT_EQ(f_.Block()->reserved, 3);
    EXPECT_GE(displayCalls, 1);
    EXPECT_EQ(lastMap.version, 1);
    EXPECT_EQ(LiveAllocations(), live);  // the preview's buffers are released at the end
}

TEST_F(MainDialogWin32, SlidersNumberBoxesButtonsAndZoomEditTheBlockInPlace) {
    bool focusWasDisabled = false;
    bool depthDisabledWithFft = false;
    bool focusEnabledWithDepth = false;
    std::wstring amountBox;
    std::wstring zoomLabel;
    std::int16_t amountAfterSlider = 0;
    const bool accepted = RunDialog(
        f_, {{When::Settled,
              [&](HWND d) {
                  focusWasDisabled = !IsWindowEnabled(GetDlgItem(d, 1031));
                  MoveSlider(d, 1012, 30);
                  amountAfterSlider = f_.Block()->amount;
                  amountBox = TextOf(d, 1011);
              }},
             {When::Settled, [&](HWND d) { Type(d, 1011, L"250"); }},
             {When::Settled, [&](HWND d) { Type(d, 1020, L"12abc"); }},
             {When::Settled, [&](HWND d) { Type(d, 1020, L"7x"); }},
             {When::Settled,
              [&](HWND d) {
                  Click(d, 1046);
                  depthDisabledWithFft = !IsWindowEnabled(GetDlgItem(d, 1038)) && !IsWindowEnabled(GetDlgItem(d, 1047));
              }},
             {When::Settled, [&](HWND d) { Click(d, 1044); }},
             {When::Settled,
              [&](HWND d) {
                  Click(d, 1038);
                  focusEnabledWithDepth = IsWindowEnabled(GetDlgItem(d, 1031)) && IsWindowEnabled(GetDlgItem(d, 1032));
              }},
             {When::Settled, [&](HWND d) { Click(d, 1040); }},
             {When::Settled, [&](HWND d) { Click(d, 1035); }},
             {When::Settled, [&](HWND d) { MoveSlider(d, 1031, 300); }},
             {When::Settled,
              [&](HWND d) {
                  Click(d, 1002);
                  zoomLabel = TextOf(d, 1008);
              }},
             {When::Settled,
              [&](HWND d) {
                  EXPECT_EQ(TextOf(d, 1011), L"250");
                  EXPECT_EQ(TextOf(d, 1020), L"7x");
                  EXPECT_EQ(SendDlgItemMessageW(d, 1012, TBM_GETPOS, 0, 0), 30);
                  EXPECT_EQ(SendDlgItemMessageW(d, 1021, TBM_GETPOS, 0, 0), 7);
                  Click(d, IDOK);
              }}});
    EXPECT_TRUE(accepted);
    EXPECT_TRUE(focusWasDisabled);
    EXPECT_EQ(amountAfterSlider, 30);
    EXPECT_EQ(amountBox, L"30");
    EXPECT_TRUE(depthDisabledWithFft);
    EXPECT_TRUE(focusEnabledWithDepth);
    EXPECT_EQ(zoomLabel, L"200%");
    const FilterParameters& b = *f_.Block();
    EXPECT_EQ(b.amount, 30);
    EXPECT_EQ(b.vertices, 7);
    EXPECT_EQ(b.method, 0);
    EXPECT_EQ(b.depth, 1);
    EXPECT_EQ(b.correction, 1);
    EXPECT_EQ(b.soft, 1);
    EXPECT_EQ(b.focus, 255);
    EXPECT_EQ(f_.context.zoomStep, 0);
    EXPECT_EQ(f_.result, 0);
}

TEST_F(MainDialogWin32, DraggingThePreviewPansAndCancelRestoresTheBlock) {
    f_.Block()->vertices = 1;
    const FilterParameters original = *f_.Block();
    double centreBefore = 0;
    double centreAfter = 0;
    std::int32_t callsBeforeRelease = 0;
    const bool accepted = RunDialog(
        f_, {{When::Settled,
              [&](HWND d) {
                  HWND pane = GetDlgItem(d, 1007);
                  centreBefore = f_.context.viewCenterH;
                  SendMessageW(pane, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 40));
                  SendMessageW(pane, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(40, 40));
                  SendMessageW(pane, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(30, 40));
                  centreAfter = f_.context.viewCenterH;
                  callsBeforeRelease = displayCalls;
                  SendMessageW(pane, WM_LBUTTONUP, 0, MAKELPARAM(30, 40));
                  MoveSlider(d, 1012, 20);
              }},
             {When::Settled, [&](HWND d) { Click(d, IDCANCEL); }}});
    EXPECT_FALSE(accepted);
    EXPECT_EQ(f_.result, kUserCanceled);
    EXPECT_DOUBLE_EQ(centreAfter, centreBefore + 30);  // the image follows the mouse
    EXPECT_GT(displayCalls, callsBeforeRelease);
    EXPECT_EQ(std::memcmp(f_.Block(), &original, sizeof original), 0);
}

// Writes the dialog's window as it is on the screen to a 24-bit BMP file.
bool CaptureWindow(HWND window, const char* path) {
    RECT r;
    GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    // The window's own surface, which holds what it painted whether or not the screen shows it yet.
    HDC screen = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD rowBytes = static_cast<DWORD>((width * 3 + 3) & ~3);
    const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageBytes;
    FILE* out = std::fopen(path, "wb");
    bool ok = out != nullptr;
    if (ok) {
        ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
             std::fwrite(bits, imageBytes, 1, out) == 1;
        std::fclose(out);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return ok;
}

std::uint32_t NightLights(std::int32_t row, std::int32_t column, std::int32_t plane) {
    // A dark street at night: a soft gradient with scattered coloured lights.
    std::uint32_t hash = static_cast<std::uint32_t>(row) * 73856093u ^ static_cast<std::uint32_t>(column) * 19349663u;
    hash ^= hash >> 13;
    hash *= 0x5bd1e995u;
    hash ^= hash >> 15;
    if ((hash >> 20) < 6) {
        const std::uint32_t tint[3][3] = {{255, 220, 140}, {140, 200, 255}, {255, 255, 255}};
        return tint[(hash >> 8) % 3][plane];
    }
    const std::uint32_t base[3] = {18, 22, 40};
    return base[plane] + static_cast<std::uint32_t>(row) / 12;
}

TEST_F(MainDialogWin32, ShowsTheFilteredPreviewAndTheApertureThumbnailBesideThePane) {
    f_.Fill(&NightLights);
    *f_.Block() = FilterParameters{6, 40, 6, 0, 0, 15, 1, 0, 0, 0, 0, 0};
    COLORREF thumbCentre = CLR_INVALID;
    COLORREF thumbCorner = CLR_INVALID;
    const char* shot = std::getenv("APERLUME_DIALOG_SCREENSHOT");
    bool captured = false;
    const bool accepted = RunDialog(f_, {{When::Settled, [&](HWND d) {
                                              RedrawWindow(d, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
                                              const Rect pane = f_.context.previewRect;
                                              HDC dc = GetDC(d);
                                              thumbCentre = GetPixel(dc, pane.left + 200 + 32, pane.top + 55 + 32);
                                              thumbCorner = GetPixel(dc, pane.left + 200, pane.top + 55);
                                              ReleaseDC(d, dc);
                                              if (shot != nullptr) captured = CaptureWindow(d, shot);
                                              Click(d, IDOK);
                                          }}});
    EXPECT_TRUE(accepted);
    EXPECT_EQ(f_.result, 0);
    EXPECT_EQ(thumbCentre, RGB(255, 255, 255));
    EXPECT_EQ(thumbCorner, RGB(0, 0, 0));
    if (shot != nullptr) {
        EXPECT_TRUE(captured) << shot;
    }
}

class DuringARender : public MainDialogWin32 {
protected:
    DuringARender() {
        // A render long enough for the timer to fire from its check points.
        f_.Block()->vertices = 1;
        f_.Block()->amount = 60;
    }
};

TEST_F(DuringARender, ACloseRequestStopsTheRenderAndClosesAsCancel) {
    const bool accepted = RunDialog(f_, {{When::Rendering, [](HWND d) { PostMessageW(d, WM_CLOSE, 0, 0); }}});
    EXPECT_FALSE(accepted);
    EXPECT_EQ(f_.result, kUserCanceled);
    EXPECT_EQ(f_.Block()->amount, 60);
}

TEST_F(DuringARender, OkStopsTheRenderAndEndsWithResultZero) {
    f_.record.platformData = nullptr;  // a host that hands over no window: the dialog has no owner
    const bool accepted = RunDialog(f_, {{When::Rendering, [](HWND d) {
                                              MoveSlider(d, 1012, 55);
                                              Click(d, IDOK);
                                          }}});
    EXPECT_TRUE(accepted);
    EXPECT_EQ(f_.result, 0);
    EXPECT_EQ(f_.Block()->amount, 55);
}

TEST_F(DuringARender, ASliderMoveStopsItAndTheNextFullRenderCompletes) {
    bool filteredAtEnd = false;
    const bool accepted = RunDialog(
        f_, {{When::Rendering, [](HWND d) { MoveSlider(d, 1012, 4); }},
             {When::Settled,
              [&](HWND d) {
                  // The follow-up full render finished: only a completed render writes the output.
                  filteredAtEnd = std::memcmp(f_.Output(), f_.Input(), f_.ImageBytes()) != 0;
                  Click(d, IDOK);
              }}});
    EXPECT_TRUE(accepted);
    EXPECT_TRUE(filteredAtEnd);
    EXPECT_EQ(f_.Block()->amount, 4);
}

TEST_F(DuringARender, ZoomUpdatesTheLabelAtOnceAndRendersTheNewView) {
    std::wstring label;
    const bool accepted = RunDialog(f_, {{When::Rendering,
                                          [&](HWND d) {
                                              Click(d, 1003);
                                              label = TextOf(d, 1008);
                                          }},
                                         {When::Settled, [&](HWND d) { Click(d, IDOK); }}});
    EXPECT_TRUE(accepted);
    EXPECT_EQ(label, L"50%");
    EXPECT_EQ(f_.context.zoomStep, 2);
}

TEST_F(MainDialogWin32, ThroughTheEntryPointOkFiltersTheImageWithTheChosenSettings) {
    testhost::FilterHost host = aperlume::testing::LinkedHost();
    testhost::HostImage image = testhost::MakeImage(160, 120, 3, kModeRGB);
    for (int r = 0; r < 120; ++r)
        for (int c = 0; c < 160; ++c)
            for (int p = 0; p < 3; ++p) image.SetSample(r, c, p, NightLights(r, c, p));
    host.SetImage(image);
    host.SetHostWindow(reinterpret_cast<std::intptr_t>(owner_));
    host.SetDisplayPixels(&HostDisplayPixels);
    const std::int16_t result = RunSteps({{When::Settled, [](HWND d) { MoveSlider(d, 1012, 3); }},
                                          {When::Settled, [](HWND d) { Click(d, 1044); }},
                                          {When::Settled, [](HWND d) { Click(d, IDOK); }}},
                                         [&] { return host.Run(true); });
    EXPECT_EQ(result, 0);
    ASSERT_NE(host.Settings(), nullptr);
    EXPECT_EQ(host.Settings()[0], 3);
    EXPECT_EQ(host.Settings()[2], 1);
    EXPECT_NE(host.Output().samples, host.Input().samples);
    EXPECT_GE(displayCalls, 1);
}

TEST_F(MainDialogWin32, ThroughTheEntryPointClosingTheWindowCancelsTheRun) {
    testhost::FilterHost host = aperlume::testing::LinkedHost();
    testhost::HostImage image = testhost::MakeImage(96, 64, 1, kModeGray16);
    host.SetImage(image);
    host.SetHostWindow(reinterpret_cast<std::intptr_t>(owner_));
    const std::int16_t result = RunSteps({{When::Settled, [](HWND d) { MoveSlider(d, 1030, 90); }},
                                          {When::Settled, [](HWND d) { PostMessageW(d, WM_CLOSE, 0, 0); }}},
                                         [&] { return host.Run(true); });
    EXPECT_EQ(result, kUserCanceled);
    ASSERT_NE(host.Settings(), nullptr);
    EXPECT_EQ(host.Settings()[5], 0);  // rotation as before
    EXPECT_EQ(host.ContinueCalls(), 0);
}

}  // namespace
}  // namespace aperlume
