// The main dialog's template id, the names of its controls and the private events between the dialog
// and its preview pane. The event numbers are the window system's own (application events 1, 100 and
// 101 above 0x8000), so the native event queue and the Windows message queue carry the same numbers.
#pragma once

#include <cstdint>
#include <span>

#include "base/filter_parameters.h"

namespace aperlume {

inline constexpr std::int16_t kMainDialogTemplate = 102;

// The controls that belong to no one setting.
enum ControlId : std::int16_t {
    kOkButton = 1,
    kCancelButton = 2,
    kZoomInButton = 1002,
    kZoomOutButton = 1003,
    kPreviewPane = 1007,
    kZoomLabel = 1008,
    kAmountGroup = 1009,
    kShapeGroup = 1016,
    kMethodGroup = 1042,
    kCorrectionGroup = 1043,
    kDepthGroup = 1047,
};

// The controls of the settings, whose ids the settings table holds, named for the code that handles
// one of them in particular.
inline constexpr SettingControls kAmountControls = SettingOf(&FilterParameters::amount).dialog;
inline constexpr SettingControls kBrightnessControls = SettingOf(&FilterParameters::brightness).dialog;
inline constexpr SettingControls kVerticesControls = SettingOf(&FilterParameters::vertices).dialog;
inline constexpr SettingControls kEdgeControls = SettingOf(&FilterParameters::edge).dialog;
inline constexpr SettingControls kRatioControls = SettingOf(&FilterParameters::ratio).dialog;
inline constexpr SettingControls kRotationControls = SettingOf(&FilterParameters::rotation).dialog;
inline constexpr SettingControls kSoftControls = SettingOf(&FilterParameters::soft).dialog;
inline constexpr SettingControls kDepthControls = SettingOf(&FilterParameters::depth).dialog;
inline constexpr SettingControls kFocusControls = SettingOf(&FilterParameters::focus).dialog;
inline constexpr std::span<const Enumerator> kMethodRadios = SettingOf(&FilterParameters::method).enumerators;
inline constexpr std::span<const Enumerator> kCorrectionRadios =
    SettingOf(&FilterParameters::correction).enumerators;

inline constexpr std::int16_t kAmountLabel = kAmountControls.label;
inline constexpr std::int16_t kAmountEdit = kAmountControls.edit;
inline constexpr std::int16_t kAmountSlider = kAmountControls.slider;
inline constexpr std::int16_t kBrightnessLabel = kBrightnessControls.label;
inline constexpr std::int16_t kBrightnessEdit = kBrightnessControls.edit;
inline constexpr std::int16_t kBrightnessSlider = kBrightnessControls.slider;
inline constexpr std::int16_t kVerticesLabel = kVerticesControls.label;
inline constexpr std::int16_t kVerticesEdit = kVerticesControls.edit;
inline constexpr std::int16_t kVerticesSlider = kVerticesControls.slider;
inline constexpr std::int16_t kEdgeLabel = kEdgeControls.label;
inline constexpr std::int16_t kEdgeEdit = kEdgeControls.edit;
inline constexpr std::int16_t kEdgeSlider = kEdgeControls.slider;
inline constexpr std::int16_t kRatioLabel = kRatioControls.label;
inline constexpr std::int16_t kRatioEdit = kRatioControls.edit;
inline constexpr std::int16_t kRatioSlider = kRatioControls.slider;
inline constexpr std::int16_t kRotationLabel = kRotationControls.label;
inline constexpr std::int16_t kRotationEdit = kRotationControls.edit;
inline constexpr std::int16_t kRotationSlider = kRotationControls.slider;
inline constexpr std::int16_t kFocusSlider = kFocusControls.slider;
inline constexpr std::int16_t kFocusEdit = kFocusControls.edit;
inline constexpr std::int16_t kFocusLabel = kFocusControls.label;
inline constexpr std::int16_t kSoftCheck = kSoftControls.check;
inline constexpr std::int16_t kSoftLabel = kSoftControls.label;
inline constexpr std::int16_t kDepthCheck = kDepthControls.check;
inline constexpr std::int16_t kGammaRadio = kCorrectionRadios[0].radio;
inline constexpr std::int16_t kLogarithmRadio = kCorrectionRadios[1].radio;
inline constexpr std::int16_t kNormalRadio = kMethodRadios[0].radio;
inline constexpr std::int16_t kMonteCarloRadio = kMethodRadios[1].radio;
inline constexpr std::int16_t kFftRadio = kMethodRadios[2].radio;

// Events (message numbers as the window system numbers them).
inline constexpr std::uint32_t kCloseRequest = 0x0010;        // the window's close event
inline constexpr std::uint32_t kAttachPreview = 0x8001;       // sent to the pane with the context
inline constexpr std::uint32_t kFullRenderRequest = 0x8064;   // queued to the dialog
inline constexpr std::uint32_t kQuickRenderRequest = 0x8065;  // queued to the dialog

// Notification code of a button click (the only one the buttons and radio groups react to).
inline constexpr std::int32_t kClickedNotification = 0;

// Dialog values at the end.
inline constexpr std::intptr_t kDialogEndedByOk = 1;
inline constexpr std::intptr_t kDialogEndedByCancel = 2;

}  // namespace aperlume
