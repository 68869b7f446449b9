// The main dialog's logic on the parameter block, with the controls and ranges of the settings table:
// the slider pairs and their number boxes, check boxes, radio groups, the depth enabling rule, the zoom
// buttons, and OK, Cancel and close with and without a preview render on the stack. The platform's window procedure translates its events into these calls.
//
// The parameter block is the model: every change is written into it at once and followed by exactly one
// preview request. OK keeps the block, Cancel and close put back the 24 bytes it held at opening.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "base/filter_parameters.h"
#include "base/result.h"
#include "host/plugin_context.h"
#include "ui/dialog_platform.h"
#include "ui/preview_session.h"

namespace aperlume {

// The integer at the start of `text` as atoi reads it: leading blanks, one sign, then digits up to the
// first other character; 0 when there are none.
std::int32_t ReadLeadingInteger(std::string_view text);

// Characters of a number box that count (a text request with an 8-byte buffer).
inline constexpr std::int32_t kEditReadLimit = 7;

class MainDialogModel {
public:
    MainDialogModel(PluginContext& context, DialogPlatform& platform);

    // The dialog's initialisation, in order (the platform then focuses the first control). When the image
    // cannot be fetched the dialog ends at once, and the fetch's code is returned and becomes the outcome.
    [[nodiscard]] Result Open();

    // Events; each returns whether it was handled.
    bool OnSliderScroll(std::int16_t sliderId);
    bool OnCommand(std::int16_t id, std::int32_t code);
    bool OnClose(std::int64_t argument);
    void OnRenderRequest(std::uint32_t message);

    // After the platform's modal loop: releases what is still held, puts back the block if the dialog
    // ended by neither OK nor the cancel path (it never opened, or the loop was cut short), returns the
    // machine to Idle, and returns the dialog's outcome: kOk for OK, kUserCanceled for Cancel and close,
    // the fetch's code when the image could not be had; a loop cut short reports the last full preview
    // render's failure, or kUserCanceled.
    [[nodiscard]] Result Finish();

    // The outcome so far: the fetch's, then each full preview render's, then the end's.
    Result Status() const { return status_; }

    bool Opened() const { return opened_; }
    bool Ended() const { return ended_; }
    std::intptr_t EndValue() const { return endValue_; }
    const FilterParameters& SavedParameters() const { return saved_; }

    // The single operations, exposed for the platform and for tests.
    void SetSliderRange(std::int16_t slider, std::int32_t minimum, std::int32_t maximum);
    void InitSliderPair(std::int16_t slider, std::int16_t edit, std::int16_t* setting);
    bool SliderToEdit(std::int16_t slider, std::int16_t edit, std::int16_t* setting);
    bool EditToSlider(std::int16_t edit, std::int16_t slider, std::int16_t* setting);
    void SetEditNumber(std::int16_t edit, std::int32_t minimum, std::int32_t maximum, std::int32_t value);
    void SetSliderClamped(std::int32_t value, std::int16_t slider, std::int16_t* setting);
    void SetCheckBox(std::int16_t checkBox, const std::int16_t* setting);
    bool UpdateCheckSetting(std::int16_t checkBox, std::int16_t* setting);
    void SetRadioGroup(std::int16_t* setting, std::int32_t value, std::span<const Enumerator> buttons);
    void UpdateDepthControls();

private:
    FilterParameters& Block() const;
    void OpenSetting(const Setting& setting);
    bool Zoom(std::int32_t delta);
    void Accept();
    void CancelPath(std::intptr_t value);
    void End(std::intptr_t value);

    PluginContext& context_;
    DialogPlatform& platform_;
    PreviewSession preview_;
    Result status_ = kOk;
    FilterParameters saved_{};
    bool opened_ = false;
    bool ended_ = false;
    bool settled_ = false;  // ended through OK or the cancel path
    std::intptr_t endValue_ = 0;
};

}  // namespace aperlume
