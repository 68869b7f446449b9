// The main dialog's rules: ranges, the slider/number-box synchronisation, enabling, zoom and ending.
#include "ui/main_dialog_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/product_info.h"
#include "base/result.h"
#include "ui/dialog_ids.h"
#include "ui/preview_render.h"
#include "ui/preview_state.h"
#include "ui/preview_view.h"

namespace aperlume {
namespace {

// The controls offered only with the direct method, and those in force only with a depth map.
constexpr std::int16_t kDepthOffer[] = {kDepthGroup, kDepthCheck};
constexpr std::int16_t kFocusGroup[] = {kFocusLabel, kFocusSlider, kFocusEdit};

// The setting whose control `which` is `id`.
const Setting* SettingWithControl(std::int16_t SettingControls::*which, std::int16_t id) {
    if (id == 0) return nullptr;
    for (const Setting& setting : kSettings)
        if (setting.dialog.*which == id) return &setting;
    return nullptr;
}

// Whether the setting decides which depth controls are enabled.
bool RulesTheDepthControls(const Setting& setting) {
    return setting.field == &FilterParameters::depth || setting.field == &FilterParameters::method;
}

std::int32_t RadioIndex(std::span<const Enumerator> buttons, std::int16_t id) {
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i].radio == id) return static_cast<std::int32_t>(i);
    return -1;
}

void FormatNumber(char (&text)[16], std::int32_t value) { std::snprintf(text, sizeof text, "%d", value); }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

std::int32_t ReadLeadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX) value = INT32_MAX;  // unreachable within the read limit; kept for safety
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

MainDialogModel::MainDialogModel(PluginContext& context, DialogPlatform& platform)
    : context_(context), platform_(platform), preview_(context) {}

FilterParameters& MainDialogModel::Block() const { return *Parameters(context_); }

Result MainDialogModel::Open() {
    saved_ = Block();
    opened_ = true;
    platform_.SetCaption((std::string(kProductName) + " " + kVersionText).c_str());
    platform_.CenterDialog();
    platform_.AttachPane(preview_);
    context_.previewRect = platform_.PaneRect();
    // Without the buffers the dialog still works; it just shows no preview.
    static_cast<void>(preview_.AllocateBuffers());
    status_ = SetupPreview(preview_);
    if (!status_.ok()) {
        // The image could not be fetched: nothing can be previewed or filtered, so the run ends here
        // with the host's code.
        preview_.ReleaseBuffers();
        settled_ = true;
        End(kDialogEndedByCancel);
        return status_;
    }

    for (const Setting& setting : kSettings) OpenSetting(setting);
    UpdateDepthControls();

    // The unfiltered view at once, then one full render from the queue.
    static_cast<void>(RefreshPreview(0, preview_, platform_));  // quick: cannot fail
    RequestPreview(platform_);
    return kOk;
}

void MainDialogModel::OpenSetting(const Setting& setting) {
    const SettingControls& controls = setting.dialog;
    std::int16_t& value = Block().*setting.field;
    if (controls.label != 0) platform_.SetControlText(controls.label, setting.name);
    if (controls.check != 0) {
        platform_.SetControlText(controls.check, controls.checkText);
        SetCheckBox(controls.check, &value);
    }
    if (controls.slider != 0) {
        SetSliderRange(controls.slider, setting.range.minimum, setting.range.maximum);
        InitSliderPair(controls.slider, controls.edit, &value);
    }
    if (!setting.enumerators.empty()) {
        for (const Enumerator& button : setting.enumerators) platform_.SetControlText(button.radio, button.label);
        SetRadioGroup(&value, value, setting.enumerators);
    }
}

void MainDialogModel::SetSliderRange(std::int16_t slider, std::int32_t minimum, std::int32_t maximum) {
    platform_.SetSliderMinimum(slider, static_cast<std::int16_t>(minimum));
    platform_.SetSliderMaximum(slider, static_cast<std::int16_t>(maximum));
}

void MainDialogModel::InitSliderPair(std::int16_t slider, std::int16_t edit, std::int16_t* setting) {
    platform_.SetSliderPosition(slider, *setting);
    // The control clamps into its range, so a stored value outside it is corrected here.
    *setting = static_cast<std::int16_t>(platform_.SliderPosition(slider));
    char text[16];
    FormatNumber(text, *setting);
    platform_.SetControlText(edit, text);
    platform_.SelectEditText(edit, 0, -1);
}

bool MainDialogModel::SliderToEdit(std::int16_t slider, std::int16_t edit, std::int16_t* setting) {
    const std::int32_t position = platform_.SliderPosition(slider);
    if (position == *setting) return false;
    // Windows raises the box's change notification synchronously inside this write; its EditToSlider
    // then stores the position and requests the preview.
    SetEditNumber(edit, platform_.SliderMinimum(slider), platform_.SliderMaximum(slider), position);
    if (*setting != position) {
        // No notification came (or it came later): the same outcome, one request.
        *setting = static_cast<std::int16_t>(position);
        RequestPreview(platform_);
    }
    return true;
}

bool MainDialogModel::EditToSlider(std::int16_t edit, std::int16_t slider, std::int16_t* setting) {
    const std::int32_t value = ReadLeadingInteger(platform_.ReadControlText(edit, kEditReadLimit));
    if (value < platform_.SliderMinimum(slider) || value > platform_.SliderMaximum(slider) || value == *setting)
        return false;
    SetSliderClamped(value, slider, setting);
    return true;
}

void MainDialogModel::SetEditNumber(std::int16_t edit, std::int32_t minimum, std::int32_t maximum,
                                    std::int32_t value) {
    char text[16];
    FormatNumber(text, std::clamp(value, minimum, std::max(minimum, maximum)));
    platform_.SetControlText(edit, text);
    const auto length = static_cast<std::int32_t>(std::strlen(text));
    platform_.SelectEditText(edit, length, length);
}

void MainDialogModel::SetSliderClamped(std::int32_t value, std::int16_t slider, std::int16_t* setting) {
    const std::int32_t minimum = platform_.SliderMinimum(slider);
    const std::int32_t clamped = std::clamp(value, minimum, std::max(minimum, platform_.SliderMaximum(slider)));
    platform_.SetSliderPosition(slider, clamped);
    *setting = static_cast<std::int16_t>(clamped);
}

void MainDialogModel::SetCheckBox(std::int16_t checkBox, const std::int16_t* setting) {
    platform_.SetChecked(checkBox, *setting != 0);
}

bool MainDialogModel::UpdateCheckSetting(std::int16_t checkBox, std::int16_t* setting) {
    const std::int16_t value = platform_.IsChecked(checkBox) ? 1 : 0;
    if (value == *setting) return false;
    *setting = value;
    return true;
}

void MainDialogModel::SetRadioGroup(std::int16_t* setting, std::int32_t value, std::span<const Enumerator> buttons) {
    bool matched = false;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const bool chosen = static_cast<std::int32_t>(i) == value;
        platform_.SetChecked(buttons[i].radio, chosen);
        matched = matched || chosen;
    }
    if (matched) {
        *setting = static_cast<std::int16_t>(value);
    } else {
        platform_.SetChecked(buttons[0].radio, true);
        *setting = 0;
    }
}

void MainDialogModel::UpdateDepthControls() {
    const FilterParameters& block = Block();
    const bool direct = block.method == 0;
    platform_.EnableControls(direct, kDepthOffer, 2);
    platform_.EnableControls(direct && block.depth != 0, kFocusGroup, 3);
}

bool MainDialogModel::OnSliderScroll(std::int16_t sliderId) {
    if (ended_) return false;
    const Setting* setting = SettingWithControl(&SettingControls::slider, sliderId);
    if (setting == nullptr) return false;
    return SliderToEdit(setting->dialog.slider, setting->dialog.edit, &(Block().*setting->field));
}

bool MainDialogModel::OnCommand(std::int16_t id, std::int32_t code) {
    if (ended_) return false;
    FilterParameters& block = Block();
    if (const Setting* setting = SettingWithControl(&SettingControls::edit, id)) {
        if (!EditToSlider(setting->dialog.edit, setting->dialog.slider, &(block.*setting->field))) return false;
        RequestPreview(platform_);
        return true;
    }
    if (const Setting* setting = SettingWithControl(&SettingControls::check, id)) {
        if (!UpdateCheckSetting(id, &(block.*setting->field))) return false;
        if (RulesTheDepthControls(*setting)) UpdateDepthControls();
        RequestPreview(platform_);
        return true;
    }
    if (code != kClickedNotification) return false;
    for (const Setting& setting : kSettings) {
        const std::int32_t index = RadioIndex(setting.enumerators, id);
        if (index < 0) continue;
        SetRadioGroup(&(block.*setting.field), index, setting.enumerators);
        if (RulesTheDepthControls(setting)) UpdateDepthControls();
        RequestPreview(platform_);
        return true;
    }
    switch (id) {
        case kZoomInButton:
            return Zoom(-1);
        case kZoomOutButton:
            return Zoom(1);
        case kOkButton:
        case kCancelButton:
            if (GetPreviewState() != PreviewState::Idle) {
                // Never end the dialog under a running render: stop it and come back once it returned.
                SetPreviewState(PreviewState::AbortRequested);
                platform_.PostCommand(id, code);
                return true;
            }
            if (id == kOkButton)
                Accept();
            else
                CancelPath(kDialogEndedByCancel);
            return true;
        default:
            return false;
    }
}

bool MainDialogModel::Zoom(std::int32_t delta) {
    const std::int32_t step = std::min<std::int32_t>(context_.zoomStep + delta, INT16_MAX);
    if (step < kMinimumZoomStep) {
        context_.zoomStep = kMinimumZoomStep;
        return true;
    }
    context_.zoomStep = static_cast<std::int16_t>(step);
    char label[16];
    std::snprintf(label, sizeof label, "%d%%", ZoomPercent(step));
    platform_.SetControlText(kZoomLabel, label);
    if (GetPreviewState() != PreviewState::Idle) {
        // A render is on the stack (running or already stopping): it stops, and the quick and full
        // renders of the new zoom follow once it has returned.
        SetPreviewState(PreviewState::ZoomRerenderRequested);
        return false;
    }
    static_cast<void>(RefreshPreview(0, preview_, platform_));  // quick: cannot fail
    status_ = RefreshPreview(1, preview_, platform_);
    return true;
}

bool MainDialogModel::OnClose(std::int64_t argument) {
    if (ended_) return false;
    if (GetPreviewState() != PreviewState::Idle) {
        SetPreviewState(PreviewState::AbortRequested);
        platform_.PostClose(argument);
        return false;  // the platform's own close handling (a Cancel command) may run too
    }
    CancelPath(static_cast<std::intptr_t>(argument & 0xFFFF));
    return true;
}

void MainDialogModel::OnRenderRequest(std::uint32_t message) {
    if (ended_) return;
    platform_.RemovePendingEvents(message);
    // Only a full render that runs has an outcome; a dropped request or a quick render leaves it alone.
    const bool fullRenderRuns = message == kFullRenderRequest && GetPreviewState() == PreviewState::Idle;
    const Result rendered = HandleRenderRequest(message, preview_, platform_);
    if (fullRenderRuns) status_ = rendered;
}

void MainDialogModel::Accept() {
    status_ = kOk;
    preview_.ReleaseBuffers();
    settled_ = true;
    End(kDialogEndedByOk);
}

void MainDialogModel::CancelPath(std::intptr_t value) {
    status_ = kUserCanceled;
    Block() = saved_;
    preview_.ReleaseBuffers();
    settled_ = true;
    End(value);
}

void MainDialogModel::End(std::intptr_t value) {
    ended_ = true;
    endValue_ = value;
    platform_.EndDialog(value);
}

Result MainDialogModel::Finish() {
    if (opened_ && !settled_) {
        if (Parameters(context_) != nullptr) Block() = saved_;
        if (status_.ok()) status_ = kUserCanceled;
    }
    preview_.ReleaseBuffers();
    SetPreviewState(PreviewState::Idle);
    ResetPaneState();
    return status_;
}

}  // namespace aperlume
