// The main dialog natively: stand-in controls, the modal loop over the native event queue, and the
// scripted user that tests and the command-line host drive it with.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>

#include "base/result.h"
#include "ui/dialog_ids.h"
#include "ui/main_dialog.h"
#include "ui/main_dialog_model.h"
#include "ui/native_dialog.h"
#include "ui/preview_pane.h"
#include "ui/preview_state.h"

namespace aperlume {
namespace {

constexpr std::int32_t kEditChange = 0x0300;  // the edit box's change notification

struct ControlSpec {
    std::int16_t id;
    ControlKind kind;
    const char* text;
};

// The controls of dialog template 102 with their template texts (those that matter natively).
constexpr ControlSpec kControls[kNativeControlCount] = {
    {kOkButton, ControlKind::PushButton, "OK"},
    {kCancelButton, ControlKind::PushButton, "\xb7\xac\xdd\xbe\xd9"},
    {kZoomInButton, ControlKind::PushButton, "+"},
    {kZoomOutButton, ControlKind::PushButton, "-"},
    {kPreviewPane, ControlKind::Static, ""},
    {kZoomLabel, ControlKind::Static, "100%"},
    {kMethodGroup, ControlKind::GroupBox, "Method"},
    {kNormalRadio, ControlKind::RadioButton, kMethodRadios[0].label},
    {kMonteCarloRadio, ControlKind::RadioButton, kMethodRadios[1].label},
    {kFftRadio, ControlKind::RadioButton, kMethodRadios[2].label},
    {kCorrectionGroup, ControlKind::GroupBox, SettingOf(&FilterParameters::correction).name},
    {kGammaRadio, ControlKind::RadioButton, kCorrectionRadios[0].label},
    {kLogarithmRadio, ControlKind::RadioButton, kCorrectionRadios[1].label},
    {kAmountGroup, ControlKind::GroupBox, ""},
    {kAmountLabel, ControlKind::Static, ""},
    {kAmountSlider, ControlKind::Slider, "Slider1"},
    {kAmountEdit, ControlKind::Edit, ""},
    {kBrightnessLabel, ControlKind::Static, ""},
    {kBrightnessSlider, ControlKind::Slider, "Slider1"},
    {kBrightnessEdit, ControlKind::Edit, ""},
    {kShapeGroup, ControlKind::GroupBox, ""},
    {kVerticesLabel, ControlKind::Static, ""},
    {kVerticesSlider, ControlKind::Slider, "Slider1"},
    {kVerticesEdit, ControlKind::Edit, ""},
    {kEdgeLabel, ControlKind::Static, ""},
    {kEdgeSlider, ControlKind::Slider, "Slider1"},
    {kEdgeEdit, ControlKind::Edit, ""},
    {kRatioLabel, ControlKind::Static, ""},
    {kRatioSlider, ControlKind::Slider, "Slider1"},
    {kRatioEdit, ControlKind::Edit, ""},
    {kRotationLabel, ControlKind::Static, ""},
    {kRotationSlider, ControlKind::Slider, "Slider1"},
    {kRotationEdit, ControlKind::Edit, ""},
    {kSoftLabel, ControlKind::Static, ""},
    {kSoftCheck, ControlKind::CheckBox, ""},
    {kDepthGroup, ControlKind::GroupBox, ""},
    {kDepthCheck, ControlKind::CheckBox, "Use Depth Map"},
    {kFocusLabel, ControlKind::Static, ""},
    {kFocusSlider, ControlKind::Slider, "Slider1"},
    {kFocusEdit, ControlKind::Edit, ""},
};

constexpr std::int16_t kMethodGroupIds[] = {kNormalRadio, kMonteCarloRadio, kFftRadio};
constexpr std::int16_t kCorrectionGroupIds[] = {kGammaRadio, kLogarithmRadio};

void CopyText(char (&to)[64], const char* from) {
    std::strncpy(to, from, sizeof to - 1);
    to[sizeof to - 1] = '\0';
}

// The script of the next dialog, the record of the last one, and the dialog that is open. Process-wide
// because the scripted user is set up before ShowMainDialog is called (by tests and our own host, as a
// user acts on a window they cannot reach), and the event handlers and the preview's pump that play it
// are plain callbacks without a context.
constexpr std::int32_t kScriptCapacity = 64;
DialogAction script[kScriptCapacity];
std::int32_t scriptLength = 0;
std::int32_t scriptNext = 0;
bool scriptedEditNotifications = true;
NativeDialogRecord lastDialog{};
NativeDialog* activeDialog = nullptr;

bool DialogHandler(const NativeEvent& event, void* data) {
    return static_cast<NativeDialog*>(data)->HandleDialogEvent(event);
}
bool PaneHandler(const NativeEvent& event, void* data) {
    return static_cast<NativeDialog*>(data)->HandlePaneEvent(event);
}

bool PostNextAction() {
    if (scriptNext >= scriptLength) return false;
    return PostNativeEvent(NativeEvent{kNativeDialogWindow, kUserActionEvent,
                                       static_cast<std::uint64_t>(scriptNext++), 0});
}

// The preview's pump natively: scripted actions meant for a running render enter the queue when the
// render first looks at it.
PumpStep ScriptedPump() {
    if (PendingNativeEvents() == 0 && scriptNext < scriptLength && script[scriptNext].duringRender &&
        GetPreviewState() != PreviewState::Idle)
        PostNextAction();
    return PumpNativeEvent();
}

}  // namespace

NativeDialog::NativeDialog(PluginContext& context) : context_(context) {
    for (std::int32_t i = 0; i < kNativeControlCount; ++i) {
        NativeControlState& c = record_.controls[i];
        c.id = kControls[i].id;
        c.kind = kControls[i].kind;
        CopyText(c.text, kControls[i].text);
        c.minimum = 0;  // a new trackbar's range and position
        c.maximum = 100;
        c.position = 0;
        c.enabled = true;
    }
}

NativeDialog::~NativeDialog() {
    if (model_ != nullptr) {
        SetNativeEventHandler(kNativeDialogWindow, nullptr, nullptr);
        SetNativeEventHandler(kNativePaneWindow, nullptr, nullptr);
    }
}

void NativeDialog::Connect(MainDialogModel& model) {
    model_ = &model;
    SetNativeEventHandler(kNativeDialogWindow, &DialogHandler, this);
    SetNativeEventHandler(kNativePaneWindow, &PaneHandler, this);
}

NativeControlState* NativeDialog::Find(std::int16_t id) {
    for (NativeControlState& c : record_.controls)
        if (c.id == id) return &c;
    return nullptr;
}

const NativeControlState* NativeDialog::Control(std::int16_t id) const {
    for (const NativeControlState& c : record_.controls)
        if (c.id == id) return &c;
    return nullptr;
}

void NativeDialog::SendCommand(std::int16_t id, std::int32_t code) {
    HandleDialogEvent(NativeEvent{kNativeDialogWindow, kCommandEvent, CommandParameter(id, code), 0});
}

void NativeDialog::MoveSlider(std::int16_t id, std::int32_t position) {
    NativeControlState* c = Find(id);
    if (c == nullptr || c->kind != ControlKind::Slider || !c->enabled) return;
    c->position = std::clamp(position, c->minimum, std::max(c->minimum, c->maximum));
    HandleDialogEvent(NativeEvent{kNativeDialogWindow, kScrollEvent, 0, id});
}

void NativeDialog::Type(std::int16_t id, const char* text) {
    NativeControlState* c = Find(id);
    if (c == nullptr || c->kind != ControlKind::Edit || !c->enabled) return;
    CopyText(c->text, text);
    SendCommand(id, kEditChange);  // typing always reports the change
}

void NativeDialog::Click(std::int16_t id) {
    NativeControlState* c = Find(id);
    if (c == nullptr || !c->enabled) return;
    if (c->kind == ControlKind::CheckBox) c->checked = !c->checked;
    if (c->kind == ControlKind::RadioButton) {
        const bool method = std::find(std::begin(kMethodGroupIds), std::end(kMethodGroupIds), id) !=
                            std::end(kMethodGroupIds);
        for (std::int16_t other : method ? std::span<const std::int16_t>(kMethodGroupIds)
                                         : std::span<const std::int16_t>(kCorrectionGroupIds))
            Find(other)->checked = other == id;
    }
    SendCommand(id, kClickedNotification);
}

void NativeDialog::PanePress(std::int16_t x, std::int16_t y) {
    HandlePaneEvent(NativeEvent{kNativePaneWindow, kButtonDownEvent, 0, PointParameter(x, y)});
}
void NativeDialog::PaneMove(std::int16_t x, std::int16_t y) {
    HandlePaneEvent(NativeEvent{kNativePaneWindow, kMouseMoveEvent, 0, PointParameter(x, y)});
}
void NativeDialog::PaneRelease() { HandlePaneEvent(NativeEvent{kNativePaneWindow, kButtonUpEvent, 0, 0}); }

bool NativeDialog::HandleDialogEvent(const NativeEvent& event) {
    if (model_ == nullptr || record_.ended) return false;
    switch (event.message) {
        case kCommandEvent:
            return model_->OnCommand(static_cast<std::int16_t>(event.wParam & 0xFFFF),
                                     static_cast<std::int32_t>((event.wParam >> 16) & 0xFFFF));
        case kScrollEvent:
            return model_->OnSliderScroll(static_cast<std::int16_t>(event.lParam));
        case kCloseRequest:
            if (model_->OnClose(static_cast<std::int64_t>(event.wParam))) return true;
            // The dialog's default close handling: a Cancel command.
            PostCommand(kCancelButton, kClickedNotification);
            return true;
        case kFullRenderRequest:
        case kQuickRenderRequest: {
            const bool idle = GetPreviewState() == PreviewState::Idle;
            ++requestDepth_;
            const std::int32_t depth = requestDepth_;
            model_->OnRenderRequest(event.message);
            --requestDepth_;
            if (record_.renderLogCount < kRenderLogCapacity)
                record_.renderLog[record_.renderLogCount++] =
                    RenderLogEntry{event.message, idle, depth, model_->Status().code()};
            return true;
        }
        case kUserActionEvent: {
            if (event.wParam >= static_cast<std::uint64_t>(scriptLength)) return false;
            const DialogAction& action = script[event.wParam];
            switch (action.kind) {
                case DialogActionKind::MoveSlider: MoveSlider(action.id, action.value); break;
                case DialogActionKind::Type: Type(action.id, action.text); break;
                case DialogActionKind::Click: Click(action.id); break;
                case DialogActionKind::Close:
                    // A close request enters the queue as the window system posts it.
                    PostNativeEvent(NativeEvent{kNativeDialogWindow, kCloseRequest,
                                                static_cast<std::uint64_t>(action.value), 0});
                    break;
                case DialogActionKind::PanePress: PanePress(action.x, action.y); break;
                case DialogActionKind::PaneMove: PaneMove(action.x, action.y); break;
                case DialogActionKind::PaneRelease: PaneRelease(); break;
            }
            return true;
        }
        default:
            return false;
    }
}

bool NativeDialog::HandlePaneEvent(const NativeEvent& event) {
    switch (event.message) {
        case kPaintEvent:
            Paint();
            return true;
        case kAttachPreview:
            paneSession_ = reinterpret_cast<PreviewSession*>(static_cast<std::intptr_t>(event.lParam));
            return true;
        default:
            break;
    }
    if (paneSession_ == nullptr || record_.ended) return false;
    const auto x = static_cast<std::int16_t>(event.lParam & 0xFFFF);
    const auto y = static_cast<std::int16_t>((event.lParam >> 16) & 0xFFFF);
    switch (event.message) {
        case kButtonDownEvent:
            PaneButtonDown(x, y);
            return true;
        case kMouseMoveEvent:
            PaneMouseMove(x, y, *paneSession_, *this);
            return true;
        case kButtonUpEvent:
            PaneButtonUp(*this);
            return true;
        default:
            return false;
    }
}

void NativeDialog::Paint() {
    paintPending_ = false;
    ++record_.paints;
    PSPixelMap map{};
    PSPixelMask mask{};
    if (paneSession_ == nullptr) return;
    const FilterRecord* record = context_.filterRecord;
    if (record != nullptr && record->displayPixels != nullptr && BuildPreviewPixelMap(*paneSession_, map, mask))
        record->displayPixels(&map, &map.bounds, 0, 0, nullptr);
    if (paneSession_->Thumb() == nullptr) return;
    for (std::int32_t r = 0; r < kThumbSize; ++r)
        for (std::int32_t c = 0; c < kThumbSize; ++c)
            record_.thumbCanvas[r * kThumbSize + c] = ThumbGray(*paneSession_, r, c);
}

void NativeDialog::PostRenderRequest(std::uint32_t message) {
    PostNativeEvent(NativeEvent{kNativeDialogWindow, message, 0, 0});
}

void NativeDialog::InvalidatePane() {
    ++record_.paneInvalidations;
    paintPending_ = true;
}

void NativeDialog::SetCaption(const char* cp932) {
    std::strncpy(caption_, cp932, sizeof caption_ - 1);
}

void NativeDialog::SetControlText(std::int16_t id, const char* cp932) {
    NativeControlState* c = Find(id);
    if (c == nullptr) return;
    CopyText(c->text, cp932);
    // An edit box reports a text set by the program as a change too, before the call returns.
    if (c->kind == ControlKind::Edit && editNotifications_) SendCommand(id, kEditChange);
}

std::string NativeDialog::ReadControlText(std::int16_t id, std::int32_t maxChars) {
    const NativeControlState* c = Find(id);
    if (c == nullptr) return std::string();
    const std::size_t length = std::min<std::size_t>(std::strlen(c->text), static_cast<std::size_t>(maxChars));
    return std::string(c->text, length);
}

void NativeDialog::SelectEditText(std::int16_t id, std::int32_t start, std::int32_t end) {
    NativeControlState* c = Find(id);
    if (c == nullptr) return;
    const auto length = static_cast<std::int32_t>(std::strlen(c->text));
    c->selectionStart = std::clamp(start, 0, length);
    c->selectionEnd = end < 0 ? length : std::clamp(end, 0, length);
}

void NativeDialog::SetSliderMinimum(std::int16_t id, std::int32_t minimum) {
    NativeControlState* c = Find(id);
    if (c == nullptr) return;
    c->minimum = minimum;
    c->position = std::max(c->position, minimum);
}

void NativeDialog::SetSliderMaximum(std::int16_t id, std::int32_t maximum) {
    NativeControlState* c = Find(id);
    if (c == nullptr) return;
    c->maximum = maximum;
    c->position = std::min(c->position, maximum);
}

void NativeDialog::SetSliderPosition(std::int16_t id, std::int32_t position) {
    NativeControlState* c = Find(id);
    if (c != nullptr) c->position = std::clamp(position, c->minimum, std::max(c->minimum, c->maximum));
}

std::int32_t NativeDialog::SliderPosition(std::int16_t id) {
    const NativeControlState* c = Find(id);
    return c == nullptr ? 0 : c->position;
}
std::int32_t NativeDialog::SliderMinimum(std::int16_t id) {
    const NativeControlState* c = Find(id);
    return c == nullptr ? 0 : c->minimum;
}
std::int32_t NativeDialog::SliderMaximum(std::int16_t id) {
    const NativeControlState* c = Find(id);
    return c == nullptr ? 0 : c->maximum;
}

void NativeDialog::SetChecked(std::int16_t id, bool checked) {
    if (NativeControlState* c = Find(id)) c->checked = checked;
}
bool NativeDialog::IsChecked(std::int16_t id) {
    const NativeControlState* c = Find(id);
    return c != nullptr && c->checked;
}

void NativeDialog::EnableControls(bool enable, const std::int16_t* ids, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i)
        if (NativeControlState* c = Find(ids[i])) c->enabled = enable;
}

void NativeDialog::PostCommand(std::int16_t id, std::int32_t code) {
    PostNativeEvent(NativeEvent{kNativeDialogWindow, kCommandEvent, CommandParameter(id, code), 0});
}

void NativeDialog::PostClose(std::int64_t argument) {
    PostNativeEvent(NativeEvent{kNativeDialogWindow, kCloseRequest, static_cast<std::uint64_t>(argument), 0});
}

void NativeDialog::RemovePendingEvents(std::uint32_t message) {
    NativeEvent dropped{};
    while (PeekNativeEvent(dropped, message, message, true)) {
    }
}

void NativeDialog::AttachPane(PreviewSession& session) {
    DispatchNativeEvent(NativeEvent{kNativePaneWindow, kAttachPreview, 0,
                                    static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(&session))});
}

Rect NativeDialog::PaneRect() { return kNativePaneRect; }

void NativeDialog::EndDialog(std::intptr_t value) {
    record_.ended = true;
    record_.endValue = value;
}

DialogAction MoveSliderAction(std::int16_t id, std::int32_t position, bool duringRender) {
    DialogAction a{};
    a.kind = DialogActionKind::MoveSlider;
    a.id = id;
    a.value = position;
    a.duringRender = duringRender;
    return a;
}

DialogAction TypeAction(std::int16_t id, const char* text, bool duringRender) {
    DialogAction a{};
    a.kind = DialogActionKind::Type;
    a.id = id;
    std::strncpy(a.text, text, sizeof a.text - 1);
    a.duringRender = duringRender;
    return a;
}

DialogAction ClickAction(std::int16_t id, bool duringRender) {
    DialogAction a{};
    a.kind = DialogActionKind::Click;
    a.id = id;
    a.duringRender = duringRender;
    return a;
}

DialogAction CloseAction(bool duringRender) {
    DialogAction a{};
    a.kind = DialogActionKind::Close;
    a.duringRender = duringRender;
    return a;
}

DialogAction PaneAction(DialogActionKind kind, std::int16_t x, std::int16_t y, bool duringRender) {
    DialogAction a{};
    a.kind = kind;
    a.x = x;
    a.y = y;
    a.duringRender = duringRender;
    return a;
}

void ScriptDialogAction(const DialogAction& action) {
    if (scriptLength < kScriptCapacity) script[scriptLength++] = action;
}

void ClearDialogScript() {
    scriptLength = 0;
    scriptNext = 0;
}

void SetScriptedEditNotifications(bool synchronous) { scriptedEditNotifications = synchronous; }

const NativeDialogRecord& LastNativeDialog() { return lastDialog; }

Result ShowMainDialog(PluginContext& context) {
    if (Parameters(context) == nullptr) return kOutOfMemory;
    if (activeDialog != nullptr) return kUserCanceled;  // one main dialog at a time
    NativeDialog dialog(context);
    dialog.SetEditNotifications(scriptedEditNotifications);
    MainDialogModel model(context, dialog);
    dialog.Connect(model);
    activeDialog = &dialog;
    SetPreviewEventPump(&ScriptedPump);

    static_cast<void>(model.Open());  // a failed opening has ended the dialog; Finish reports it
    // The modal loop: events first, then the paint the window system generates when the queue is
    // empty, then the next scripted action; a user with nothing left to do accepts.
    while (!model.Ended()) {
        NativeEvent event{};
        if (PeekNativeEvent(event, 0, 0, true)) {
            DispatchNativeEvent(event);
        } else if (dialog.PaintPending()) {
            dialog.Paint();
        } else if (!PostNextAction()) {
            dialog.PostCommand(kOkButton, kClickedNotification);
        }
    }

    const Result outcome = model.Finish();
    SetPreviewEventPump(nullptr);
    lastDialog = dialog.Record();
    activeDialog = nullptr;
    ClearDialogScript();
    return outcome;
}

}  // namespace aperlume
