// Test view of the native dialog helpers: the stand-in windows they act on and the alerts they would
// have shown. Natively a WindowHandle is the address of a NativeWindow.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/dialog_helpers.h"

namespace aperlume {

struct NativeControl {
    std::int32_t id;
    ScreenRect screenRect;
    bool enabled;
};

struct NativeWindow {
    ScreenRect screenRect;     // the window's rectangle on the screen
    ScreenPoint clientOrigin;  // the screen position of the client area's top-left corner
    std::vector<NativeControl> controls;
    std::vector<std::int32_t> enableCalls;  // control ids in the order EnableControls reached them
};

// The desktop that CenterOnDesktop centres on (1024 x 768 at the origin until set).
void SetNativeDesktop(const ScreenRect& desktop);

struct ShownAlert {
    WindowHandle owner;
    std::vector<std::uint8_t> text;  // the message bytes (code page 932), without the length byte
    std::uint32_t style;             // the message box style the platform would get
};

const std::vector<ShownAlert>& ShownAlerts();
void ClearShownAlerts();

}  // namespace aperlume
