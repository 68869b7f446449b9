// The main dialog's rules: ranges, the slider/number-box synchronisation, enabling, zoom and ending.
#include "ui/main_dialog_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ui/dialog_ids.h"
#include "ui/dialog_texts.h"
#include "ui/preview_render.h"
#include "ui/preview_state.h"
#include "ui/preview_view.h"

namespace aperlume {

const SliderPair kSliderPairs[7] = {
    {kAmountSlider, kAmountEdit, kAmountLabel, 0, 100, &FilterParameters::amount, kAmountText},
    {kBrightnessSlider, kBrightnessEdit, kBrightnessLabel, 1, 100, &FilterParameters::brightness, kBrightnessText},
    {kVerticesSlider, kVerticesEdit, kVerticesLabel, 1, 8, &FilterParameters::vertices, kVerticesText},
    {kEdgeSlider, kEdgeEdit, kEdgeLabel, 0, 100, &FilterParameters::edge, kEdgeText},
    {kRatioSlider, kRatioEdit, kRatioLabel, -100, 100, &FilterParameters::ratio, kRatioText},
    {kRotationSlider, kRotationEdit, kRotationLabel, 0, 359, &FilterParameters::rotation, kRotationText},
    {kFocusSlider, kFocusEdit, kFocusLabel, 0, 255, &FilterParameters::focus, kFocusText},
};

namespace {

constexpr std::int16_t kMethodButtons[] = {kNormalRadio, kMonteCarloRadio, kFftRadio};
constexpr std::int16_t kCorrectionButtons[] = {kGammaRadio, kLogarithmRadio};
constexpr std::int16_t kDepthOffer[] = {kDepthGroup, kDepthCheck};
constexpr std::int16_t kFocusControls[] = {kFocusLabel, kFocusSlider, kFocusEdit};

const SliderPair* PairOfSlider(std::int16_t id) {
    for (const SliderPair& pair : kSliderPairs)
        if (pair.slider == id) return &pair;
    return nullptr;
}

const SliderPair* PairOfEdit(std::int16_t id) {
    for (const SliderPair& pair : kSliderPairs)
        if (pair.edit == id) return &pair;
    return nullptr;
}

std::int32_t IndexIn(const std::int16_t* ids, std::int32_t count, std::int16_t id) {
    for (std::int32_t i = 0; i < count; ++i)
        if (ids[i] == id) return i;
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
    platform_.SetCaption(kCaptionText);
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

    FilterParameters& block = Block();
    for (const SliderPair& pair : kSliderPairs) {
        if (pair.slider == kFocusSlider) break;  // the focus pair follows the check boxes and radio groups
        platform_.SetControlText(pair.label, pair.labelText);
        SetSliderRange(pair.slider, pair.minimum, pair.maximum);
        InitSliderPair(pair.slider, pair.edit, &(block.*pair.setting));
    }
    platform_.SetControlText(kSoftLabel, kSoftText);
    platform_.SetControlText(kSoftCheck, kAntiAliasText);
    SetCheckBox(kSoftCheck, &block.soft);
    SetRadioGroup(&block.method, block.method, kMethodButtons, 3);
    platform_.SetControlText(kGammaRadio, kGammaText);
    platform_.SetControlText(kLogarithmRadio, kLogarithmText);
    SetRadioGroup(&block.correction, block.correction, kCorrectionButtons, 2);
    platform_.SetControlText(kDepthCheck, kDepthMapText);
    SetCheckBox(kDepthCheck, &block.depth);
    const SliderPair& focus = kSliderPairs[6];
    platform_.SetControlText(focus.label, focus.labelText);
    SetSliderRange(focus.slider, focus.minimum, focus.maximum);
    InitSliderPair(focus.slider, focus.edit, &(block.*focus.setting));
    UpdateDepthControls();

    // The unfiltered view at once, then one full render from the queue.
    static_cast<void>(RefreshPreview(0, preview_, platform_));  // quick: cannot fail
    RequestPreview(platform_);
    return kOk;
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

void MainDialogModel::SetRadioGroup(std::int16_t* setting, std::int32_t value, const std::int16_t* ids,
                                    std::int32_t count) {
    bool matched = false;
    for (std::int32_t i = 0; i < count; ++i) {
        platform_.SetChecked(ids[i], i == value);
        matched = matched || i == value;
    }
    if (matched) {
        *setting = static_cast<std::int16_t>(value);
    } else {
        platform_.SetChecked(ids[0], true);
        *setting = 0;
    }
}

void MainDialogModel::UpdateDepthControls() {
    const FilterParameters& block = Block();
    const bool direct = block.method == 0;
    platform_.EnableControls(direct, kDepthOffer, 2);
    platform_.EnableControls(direct && block.depth != 0, kFocusControls, 3);
}

bool MainDialogModel::OnSliderScroll(std::int16_t sliderId) {
    if (ended_) return false;
    const SliderPair* pair = PairOfSlider(sliderId);
    if (pair == nullptr) return false;
    return SliderToEdit(pair->slider, pair->edit, &(Block().*pair->setting));
}

bool MainDialogModel::OnCommand(std::int16_t id, std::int32_t code) {
    if (ended_) return false;
    FilterParameters& block = Block();
    if (const SliderPair* pair = PairOfEdit(id)) {
        if (!EditToSlider(pair->edit, pair->slider, &(block.*pair->setting))) return false;
        RequestPreview(platform_);
        return true;
    }
    if (id == kSoftCheck) {
        if (!UpdateCheckSetting(kSoftCheck, &block.soft)) return false;
        RequestPreview(platform_);
        return true;
    }
    if (id == kDepthCheck) {
        if (!UpdateCheckSetting(kDepthCheck, &block.depth)) return false;
        UpdateDepthControls();
        RequestPreview(platform_);
        return true;
    }
    if (code != kClickedNotification) return false;
    if (const std::int32_t index = IndexIn(kMethodButtons, 3, id); index >= 0) {
        SetRadioGroup(&block.method, index, kMethodButtons, 3);
        UpdateDepthControls();
        RequestPreview(platform_);
        return true;
    }
    if (const std::int32_t index = IndexIn(kCorrectionButtons, 2, id); index >= 0) {
        SetRadioGroup(&block.correction, index, kCorrectionButtons, 2);
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
