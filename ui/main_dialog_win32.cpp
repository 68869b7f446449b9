// The main dialog on Windows: the dialog and pane window procedures, which only translate messages into
// calls on the portable model, the controls behind DialogPlatform, the painting through the host's
// displayPixels, and the message pump that keeps the dialog alive during a preview render.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <array>
#include <string>

#include "base/result.h"
#include "host/process_state.h"
#include "ui/dialog_helpers.h"
#include "ui/dialog_ids.h"
#include "ui/main_dialog.h"
#include "ui/main_dialog_model.h"
#include "ui/preview_pane.h"
#include "ui/preview_render.h"
#include "ui/preview_state.h"

namespace aperlume {
namespace {

static_assert(kFullRenderRequest == WM_APP + 100 && kQuickRenderRequest == WM_APP + 101);
static_assert(kAttachPreview == WM_APP + 1 && kCloseRequest == WM_CLOSE);

// Code page 932 bytes as UTF-16, converted explicitly so that the Japanese texts read correctly on a
// system whose own code page is not 932.
std::wstring FromCodePage932(const char* bytes) {
    const int length = MultiByteToWideChar(932, 0, bytes, -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(932, 0, bytes, -1, text.data(), length);
    text.resize(static_cast<std::size_t>(length - 1));
    return text;
}

class Win32DialogPlatform final : public DialogPlatform {
public:
    void SetWindow(HWND dialog) { dialog_ = dialog; }
    HWND Window() const { return dialog_; }

    void PostRenderRequest(std::uint32_t message) override { PostMessageW(dialog_, message, 0, 0); }
    void InvalidatePane() override { InvalidateRect(GetDlgItem(dialog_, kPreviewPane), nullptr, FALSE); }

    void SetCaption(const char* cp932) override { SetWindowTextW(dialog_, FromCodePage932(cp932).c_str()); }
    void SetControlText(std::int16_t id, const char* cp932) override {
        // An edit box reports this change synchronously, re-entering the dialog procedure.
        SetDlgItemTextW(dialog_, id, FromCodePage932(cp932).c_str());
    }
    std::string ReadControlText(std::int16_t id, std::int32_t maxChars) override {
        std::array<wchar_t, 64> buffer{};
        const int limit = std::clamp(maxChars + 1, 1, static_cast<int>(buffer.size()));
        const UINT length = GetDlgItemTextW(dialog_, id, buffer.data(), limit);
        std::string text;
        for (UINT i = 0; i < length; ++i)
            text += buffer[i] < 0x80 ? static_cast<char>(buffer[i]) : '?';  // only ASCII digits count
        return text;
    }
    void SelectEditText(std::int16_t id, std::int32_t start, std::int32_t end) override {
        SendDlgItemMessageW(dialog_, id, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
    }

    void SetSliderMinimum(std::int16_t id, std::int32_t minimum) override {
        SendDlgItemMessageW(dialog_, id, TBM_SETRANGEMIN, TRUE, minimum);
    }
    void SetSliderMaximum(std::int16_t id, std::int32_t maximum) override {
        SendDlgItemMessageW(dialog_, id, TBM_SETRANGEMAX, TRUE, maximum);
    }
    void SetSliderPosition(std::int16_t id, std::int32_t position) override {
        SendDlgItemMessageW(dialog_, id, TBM_SETPOS, TRUE, position);
    }
    std::int32_t SliderPosition(std::int16_t id) override {
        return static_cast<std::int32_t>(SendDlgItemMessageW(dialog_, id, TBM_GETPOS, 0, 0));
    }
    std::int32_t SliderMinimum(std::int16_t id) override {
        return static_cast<std::int32_t>(SendDlgItemMessageW(dialog_, id, TBM_GETRANGEMIN, 0, 0));
    }
    std::int32_t SliderMaximum(std::int16_t id) override {
        return static_cast<std::int32_t>(SendDlgItemMessageW(dialog_, id, TBM_GETRANGEMAX, 0, 0));
    }

    void SetChecked(std::int16_t id, bool checked) override {
        CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    bool IsChecked(std::int16_t id) override { return IsDlgButtonChecked(dialog_, id) == BST_CHECKED; }
    void EnableControls(bool enable, const std::int16_t* ids, std::int32_t count) override {
        std::array<std::int32_t, 8> list{};
        const auto n = static_cast<std::size_t>(std::clamp(count, 0, static_cast<std::int32_t>(list.size())));
        std::copy(ids, ids + n, list.begin());
        aperlume::EnableControls(dialog_, enable, std::span<const std::int32_t>(list.data(), n));
    }

    void PostCommand(std::int16_t id, std::int32_t code) override {
        PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), static_cast<WORD>(code)),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog_, id)));
    }
    void PostClose(std::int64_t argument) override {
        PostMessageW(dialog_, WM_CLOSE, static_cast<WPARAM>(argument), 0);
    }
    void RemovePendingEvents(std::uint32_t message) override {
        MSG dropped;
        while (PeekMessageW(&dropped, dialog_, message, message, PM_REMOVE)) {
        }
    }

    void CenterDialog() override { CenterOnDesktop(dialog_); }
    void AttachPane(PreviewSession& session) override;
    Rect PaneRect() override {
        Rect rect{};
        GetControlRect(kPreviewPane, rect, dialog_);
        return rect;
    }
    void EndDialog(std::intptr_t value) override { ::EndDialog(dialog_, value); }

private:
    HWND dialog_ = nullptr;
};

// One open dialog: its platform layer and model, reached from the dialog procedure.
struct DialogSession {
    explicit DialogSession(PluginContext& context) : model(context, platform) {}
    Win32DialogPlatform platform;
    MainDialogModel model;
};

// The pane's state. Process-wide because the pane is a subclassed static control: its window procedure
// is a plain callback of the window system with no room for a context; one pane exists at a time.
WNDPROC previousPaneProc = nullptr;
HCURSOR paneCursor = nullptr;
PreviewSession* paneSession = nullptr;
Win32DialogPlatform* paneTarget = nullptr;

std::int16_t LowX(LPARAM l) { return static_cast<std::int16_t>(LOWORD(l)); }
std::int16_t HighY(LPARAM l) { return static_cast<std::int16_t>(HIWORD(l)); }

void PaintPreview(HWND pane) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(pane, &paint);
    PSPixelMap map{};
    PSPixelMask mask{};
    const FilterRecord* record = paneSession != nullptr ? paneSession->Context().filterRecord : nullptr;
    if (record != nullptr && record->displayPixels != nullptr && BuildPreviewPixelMap(*paneSession, map, mask)) {
        RECT window;
        GetWindowRect(pane, &window);
        POINT corner{window.left, window.top};
        ScreenToClient(pane, &corner);
        record->displayPixels(&map, &map.bounds, corner.y, corner.x, dc);
    }
    EndPaint(pane, &paint);

    if (paneSession == nullptr || paneSession->Thumb() == nullptr) return;
    // The thumbnail lies beside the pane, in the dialog's free area right of the zoom buttons, at a fixed
    // offset from the pane's top-left corner. A control's own device context may be clipped to the
    // control (not every window system gives a static its parent's clipping), so draw with the
    // dialog's, at the same pixels.
    HWND dialog = GetParent(pane);
    POINT origin{0, 0};
    MapWindowPoints(pane, dialog, &origin, 1);
    HDC thumb = GetDC(dialog);
    for (std::int32_t r = 0; r < kThumbSize; ++r)
        for (std::int32_t c = 0; c < kThumbSize; ++c) {
            const BYTE g = ThumbGray(*paneSession, r, c);
            SetPixel(thumb, origin.x + kThumbOffsetX + c, origin.y + kThumbOffsetY + r, RGB(g, g, g));
        }
    ReleaseDC(dialog, thumb);
}

LRESULT CALLBACK PreviewPaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        switch (message) {
            case WM_PAINT:
                PaintPreview(pane);
                return 0;
            case WM_SETCURSOR:
                SetCursor(paneCursor);
                return TRUE;
            case WM_MOUSEMOVE:
                SetCursor(paneCursor);
                if (paneSession != nullptr && paneTarget != nullptr)
                    PaneMouseMove(LowX(lParam), HighY(lParam), *paneSession, *paneTarget);
                return 0;
            case WM_LBUTTONDOWN:
                SetCursor(paneCursor);
                SetCapture(pane);
                PaneButtonDown(LowX(lParam), HighY(lParam));
                return 0;
            case WM_LBUTTONUP:
                ReleaseCapture();
                if (paneTarget != nullptr) PaneButtonUp(*paneTarget);
                return 0;
            case kAttachPreview:
                paneCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_SIZEALL));
                paneSession = reinterpret_cast<PreviewSession*>(lParam);
                return 0;
            default:
                break;
        }
    } catch (...) {
        return 0;  // nothing may unwind into the window system
    }
    return CallWindowProcW(previousPaneProc, pane, message, wParam, lParam);
}

void Win32DialogPlatform::AttachPane(PreviewSession& session) {
    HWND pane = GetDlgItem(dialog_, kPreviewPane);
    paneTarget = this;
    previousPaneProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PreviewPaneProc)));
    SendMessageW(pane, kAttachPreview, 0, reinterpret_cast<LPARAM>(&session));
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        if (message == WM_INITDIALOG) {
            auto* session = reinterpret_cast<DialogSession*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            session->platform.SetWindow(dialog);
            // A failed opening ends the dialog at once; its outcome comes back from the model's Finish.
            static_cast<void>(session->model.Open());
            return TRUE;
        }
        auto* session = reinterpret_cast<DialogSession*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (session == nullptr) return FALSE;
        switch (message) {
            case WM_COMMAND:
                return session->model.OnCommand(static_cast<std::int16_t>(LOWORD(wParam)), HIWORD(wParam)) ? TRUE
                                                                                                        : FALSE;
            case WM_HSCROLL: {
                HWND slider = reinterpret_cast<HWND>(lParam);
                if (slider == nullptr) return FALSE;
                return session->model.OnSliderScroll(static_cast<std::int16_t>(GetDlgCtrlID(slider))) ? TRUE : FALSE;
            }
            case WM_CLOSE:
                return session->model.OnClose(static_cast<std::int64_t>(wParam)) ? TRUE : FALSE;
            case kFullRenderRequest:
            case kQuickRenderRequest:
                // The modal loop shows the dialog only once its queue is empty, which the opening's
                // render request keeps it from being: show it now, with the unfiltered view, rather than
                // after the first full render.
                if (!IsWindowVisible(dialog)) {
                    ShowWindow(dialog, SW_SHOWNORMAL);
                    UpdateWindow(dialog);
                }
                session->model.OnRenderRequest(message);
                return TRUE;
            default:
                return FALSE;
        }
    } catch (...) {
        return FALSE;  // nothing may unwind into the window system
    }
}

// One step of the pump that CheckPreviewAbort runs while a preview renders.
PumpStep PumpThreadMessage() {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return PumpStep::QueueEmpty;
    if (message.message == WM_QUIT) {
        // The application is quitting: put the request back for the dialog's own loop and stop.
        PostQuitMessage(static_cast<int>(message.wParam));
        return PumpStep::CloseRequest;
    }
    if (message.message == WM_CLOSE) {
        MSG dropped;
        while (PeekMessageW(&dropped, nullptr, kFullRenderRequest, kQuickRenderRequest, PM_REMOVE)) {
        }
        PostMessageW(message.hwnd, WM_CLOSE, message.wParam, message.lParam);
        return PumpStep::CloseRequest;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
    return PumpStep::Dispatched;
}

// The trackbar class belongs to the common controls, which the host normally has registered. A host
// that has not would make the dialog fail to open; register it ourselves then.
void EnsureTrackbarClass() {
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    if (GetClassInfoExW(nullptr, TRACKBAR_CLASSW, &info)) return;
    HMODULE controls = LoadLibraryW(L"comctl32.dll");  // kept loaded: its classes must stay registered
    if (controls == nullptr) return;
    using InitProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<InitProc>(reinterpret_cast<void*>(GetProcAddress(controls, "InitCommonControlsEx")));
    if (init == nullptr) return;
    INITCOMMONCONTROLSEX request{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
    init(&request);
}

}  // namespace

Result ShowMainDialog(PluginContext& context) {
    if (Parameters(context) == nullptr) return kOutOfMemory;
    EnsureTrackbarClass();
    const PlatformData* platform = context.filterRecord->platformData;
    HWND owner = platform != nullptr ? reinterpret_cast<HWND>(platform->hwnd) : nullptr;
    DialogSession session(context);
    ResetPaneState();
    SetPreviewEventPump(&PumpThreadMessage);
    const INT_PTR ended =
        DialogBoxParamW(static_cast<HINSTANCE>(GetModuleInstance()), MAKEINTRESOURCEW(kMainDialogTemplate), owner,
                        &MainDialogProc, reinterpret_cast<LPARAM>(&session));
    SetPreviewEventPump(nullptr);
    Result outcome = session.model.Finish();
    // The dialog could not be created (missing template or window classes, no window memory).
    if (ended == -1 || !session.model.Opened()) outcome = kOutOfMemory;
    paneSession = nullptr;
    paneTarget = nullptr;
    return outcome;
}

}  // namespace aperlume
