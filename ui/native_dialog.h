// The native build's main dialog: stand-in controls with the behaviour of the Windows ones (trackbars
// clamp, edit boxes report their change synchronously, auto radio buttons and check boxes toggle), run
// by the same portable model over the native event queue. ShowMainDialog natively plays a script of user
// actions queued beforehand; when the script is done and nothing is pending the user presses OK.
#pragma once

#include <cstdint>

#include "host/plugin_context.h"
#include "ui/dialog_platform.h"
#include "ui/native_event_queue.h"
#include "ui/preview_render.h"

namespace aperlume {

class MainDialogModel;

enum class ControlKind : std::uint8_t { PushButton, Static, GroupBox, RadioButton, CheckBox, Slider, Edit };

struct NativeControlState {
    std::int16_t id;
    ControlKind kind;
    char text[64];  // code page 932 bytes, NUL-terminated
    std::int32_t minimum;
    std::int32_t maximum;
    std::int32_t position;
    bool checked;
    bool enabled;
    std::int32_t selectionStart;
    std::int32_t selectionEnd;
};

inline constexpr std::int32_t kNativeControlCount = 40;

// One render request as the dialog handled it.
struct RenderLogEntry {
    std::uint32_t message;  // kFullRenderRequest or kQuickRenderRequest
    bool ran;               // false when dropped because a render was on the stack
    std::int32_t depth;     // requests being handled at the time, this one included (1 = not nested)
    std::int16_t result;    // the dialog's outcome after it
};

inline constexpr std::int32_t kRenderLogCapacity = 64;

// What remains to be seen of a native dialog after it has ended.
struct NativeDialogRecord {
    NativeControlState controls[kNativeControlCount];
    RenderLogEntry renderLog[kRenderLogCapacity];
    std::int32_t renderLogCount;
    std::int32_t paneInvalidations;
    std::int32_t paints;
    bool ended;
    std::intptr_t endValue;
    std::uint8_t thumbCanvas[kThumbSize * kThumbSize];  // the device pixels at (200 + c, 55 + r)
};

class NativeDialog final : public DialogPlatform {
public:
    explicit NativeDialog(PluginContext& context);
    ~NativeDialog();
    NativeDialog(const NativeDialog&) = delete;
    NativeDialog& operator=(const NativeDialog&) = delete;

    // Registers the dialog's and pane's windows with the event queue and routes their events to `model`.
    void Connect(MainDialogModel& model);
    // Whether writing an edit box's text reports the change synchronously, as Windows does (default).
    void SetEditNotifications(bool synchronous) { editNotifications_ = synchronous; }

    // The user, acting on an enabled control as the window system would report it.
    void MoveSlider(std::int16_t id, std::int32_t position);
    void Type(std::int16_t id, const char* text);
    void Click(std::int16_t id);
    void PanePress(std::int16_t x, std::int16_t y);
    void PaneMove(std::int16_t x, std::int16_t y);
    void PaneRelease();

    // Paints the pane: the preview through the host's displayPixels and the aperture thumbnail.
    void Paint();
    bool PaintPending() const { return paintPending_; }

    const NativeControlState* Control(std::int16_t id) const;
    const NativeDialogRecord& Record() const { return record_; }

    // Event routing of the two windows.
    bool HandleDialogEvent(const NativeEvent& event);
    bool HandlePaneEvent(const NativeEvent& event);

    // DialogPlatform.
    void PostRenderRequest(std::uint32_t message) override;
    void InvalidatePane() override;
    void SetCaption(const char* cp932) override;
    void SetControlText(std::int16_t id, const char* cp932) override;
    std::string ReadControlText(std::int16_t id, std::int32_t maxChars) override;
    void SelectEditText(std::int16_t id, std::int32_t start, std::int32_t end) override;
    void SetSliderMinimum(std::int16_t id, std::int32_t minimum) override;
    void SetSliderMaximum(std::int16_t id, std::int32_t maximum) override;
    void SetSliderPosition(std::int16_t id, std::int32_t position) override;
    std::int32_t SliderPosition(std::int16_t id) override;
    std::int32_t SliderMinimum(std::int16_t id) override;
    std::int32_t SliderMaximum(std::int16_t id) override;
    void SetChecked(std::int16_t id, bool checked) override;
    bool IsChecked(std::int16_t id) override;
    void EnableControls(bool enable, const std::int16_t* ids, std::int32_t count) override;
    void PostCommand(std::int16_t id, std::int32_t code) override;
    void PostClose(std::int64_t argument) override;
    void RemovePendingEvents(std::uint32_t message) override;
    void CenterDialog() override {}
    void AttachPane(PreviewSession& session) override;
    Rect PaneRect() override;
    void EndDialog(std::intptr_t value) override;

    const char* Caption() const { return caption_; }

private:
    NativeControlState* Find(std::int16_t id);
    void SendCommand(std::int16_t id, std::int32_t code);

    PluginContext& context_;
    MainDialogModel* model_ = nullptr;
    PreviewSession* paneSession_ = nullptr;
    bool editNotifications_ = true;
    bool paintPending_ = false;
    std::int32_t requestDepth_ = 0;
    char caption_[64] = {};
    NativeDialogRecord record_{};
};

// The pane's size in pixels natively (the Windows pane is 70 x 78 dialog units).
inline constexpr Rect kNativePaneRect{11, 8, 138, 120};

// ---- The script ShowMainDialog plays ------------------------------------------------------------

enum class DialogActionKind : std::uint8_t { MoveSlider, Type, Click, Close, PanePress, PaneMove, PaneRelease };

struct DialogAction {
    DialogActionKind kind;
    std::int16_t id;     // control (MoveSlider, Type, Click)
    std::int32_t value;  // slider position; close argument
    std::int16_t x, y;   // pane coordinates
    char text[16];       // typed text
    // Played from inside the next running preview render (through its check points) rather than when
    // the dialog is idle.
    bool duringRender;
};

DialogAction MoveSliderAction(std::int16_t id, std::int32_t position, bool duringRender = false);
DialogAction TypeAction(std::int16_t id, const char* text, bool duringRender = false);
DialogAction ClickAction(std::int16_t id, bool duringRender = false);
DialogAction CloseAction(bool duringRender = false);
DialogAction PaneAction(DialogActionKind kind, std::int16_t x, std::int16_t y, bool duringRender = false);

// Queues an action for the next ShowMainDialog; the script is used up by it.
void ScriptDialogAction(const DialogAction& action);
void ClearDialogScript();
// Applies to the next ShowMainDialog: whether edit boxes report changes synchronously.
void SetScriptedEditNotifications(bool synchronous);

// The last native dialog's controls and logs after ShowMainDialog returned.
const NativeDialogRecord& LastNativeDialog();

}  // namespace aperlume
