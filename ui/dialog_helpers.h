// Small window and text operations that the dialogs and the host-service alert share: placing a window
// on the desktop, enabling groups of controls, reading a control's rectangle, and the warning alert
// built from a message template.
//
// A seam. The arithmetic and the alert's composition are portable (dialog_helpers.cpp); the window calls
// live in dialog_helpers_win32.cpp. Natively, dialog_helpers_native.cpp acts on stand-in windows and
// records the alerts it would show (ui/dialog_helpers_probe.h).
#pragma once

#include <cstdint>
#include <span>

#include "host/pstring.h"
#include "host/rect.h"

namespace aperlume {

using WindowHandle = void*;  // an HWND on Windows
using ModuleHandle = void*;  // an HINSTANCE on Windows

struct ScreenRect {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

struct ScreenPoint {
    std::int32_t x;
    std::int32_t y;
};

// Where a window of this size goes: centred across, a third of the free height from the top; both
// divisions truncate towards zero, and a window taller than the desktop gets a negative y.
ScreenPoint CenteredPosition(const ScreenRect& desktop, std::int32_t width, std::int32_t height);

// A rectangle in dialog client coordinates as a Rect, each value cut to 16 bits.
Rect ClientRectToRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

// Moves a top-level window to CenteredPosition on the desktop; size and stacking order stay.
void CenterOnDesktop(WindowHandle window);

// Enables (or disables) each control in the order given; nothing for an empty list. Returns the
// platform's answer for the last control (non-zero when it was disabled before).
std::int32_t EnableControls(WindowHandle dialog, bool enable, std::span<const std::int32_t> controlIds);

// The control's rectangle in the dialog's client coordinates.
void GetControlRect(std::int32_t controlId, Rect& out, WindowHandle dialog);

// A warning message box (OK button, exclamation icon, the platform's caption) owned by `owner` (may be
// none). The message is the module's string `templateId` (none when it is not positive) with ^1 and ^2
// replaced by p1 and p2 and ^0 by nothing. Alert id 0 shows nothing and returns 0; otherwise the
// message box's result.
std::int32_t ShowAlert(ModuleHandle module, WindowHandle owner, std::int16_t alertId, std::int16_t templateId,
                       const PString* p1, const PString* p2);

// The alert for a host that cannot deliver image data: the module's message that the host needs plug-in
// interface version `requiredVersion` or later, owned by no window.
void ShowNoImageServiceAlert(ModuleHandle module, const PString& requiredVersion);

// The platform edge of ShowAlert. A string resource as code page 932 bytes (empty when missing or
// unreadable), and the message box for such bytes.
PString LoadStringTemplate(ModuleHandle module, std::int16_t id);
std::int32_t ShowWarningMessage(WindowHandle owner, const PString& message);

}  // namespace aperlume
