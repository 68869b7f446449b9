// The main dialog's template id, control ids and the private events between the dialog and its preview
// pane. The event numbers are the window system's own (application events 1, 100 and 101 above 0x8000),
// so the native event queue and the Windows message queue carry the same numbers.
#pragma once

#include <cstdint>

namespace aperlume {

inline constexpr std::int16_t kMainDialogTemplate = 102;

enum ControlId : std::int16_t {
    kOkButton = 1,
    kCancelButton = 2,
    kZoomInButton = 1002,
    kZoomOutButton = 1003,
    kPreviewPane = 1007,
    kZoomLabel = 1008,
    kAmountGroup = 1009,
    kAmountLabel = 1010,
    kAmountEdit = 1011,
    kAmountSlider = 1012,
    kBrightnessLabel = 1013,
    kBrightnessEdit = 1014,
    kBrightnessSlider = 1015,
    kShapeGroup = 1016,
    kVerticesLabel = 1019,
    kVerticesEdit = 1020,
    kVerticesSlider = 1021,
    kEdgeLabel = 1022,
    kEdgeEdit = 1023,
    kEdgeSlider = 1024,
    kRatioLabel = 1025,
    kRatioEdit = 1026,
    kRatioSlider = 1027,
    kRotationLabel = 1028,
    kRotationEdit = 1029,
    kRotationSlider = 1030,
    kFocusSlider = 1031,
    kFocusEdit = 1032,
    kFocusLabel = 1033,
    kSoftCheck = 1035,
    kSoftLabel = 1036,
    kDepthCheck = 1038,
    kGammaRadio = 1039,
    kLogarithmRadio = 1040,
    kMethodGroup = 1042,
    kCorrectionGroup = 1043,
    kNormalRadio = 1044,
    kMonteCarloRadio = 1045,
    kFftRadio = 1046,
    kDepthGroup = 1047,
};

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
