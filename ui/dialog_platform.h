// What the main dialog's logic needs of the window system: its controls, its event queue and its own
// placement. The Windows dialog procedure and the native dialog implement it; all decisions (clamping,
// synchronisation, enabling, state transitions) stay in the portable model that calls it.
#pragma once

#include <cstdint>
#include <string>

#include "host/rect.h"
#include "ui/preview_pane.h"

namespace aperlume {

class DialogPlatform : public PreviewTarget {
public:
    // Texts are code page 932 bytes.
    virtual void SetCaption(const char* cp932) = 0;
    virtual void SetControlText(std::int16_t id, const char* cp932) = 0;
    // At most `maxChars` characters of the control's text.
    virtual std::string ReadControlText(std::int16_t id, std::int32_t maxChars) = 0;
    // Selects characters start..end of an edit box; end -1 selects to the end of the text.
    virtual void SelectEditText(std::int16_t id, std::int32_t start, std::int32_t end) = 0;

    // Trackbars: each call redraws; a position is clamped by the control into its range.
    virtual void SetSliderMinimum(std::int16_t id, std::int32_t minimum) = 0;
    virtual void SetSliderMaximum(std::int16_t id, std::int32_t maximum) = 0;
    virtual void SetSliderPosition(std::int16_t id, std::int32_t position) = 0;
    virtual std::int32_t SliderPosition(std::int16_t id) = 0;
    virtual std::int32_t SliderMinimum(std::int16_t id) = 0;
    virtual std::int32_t SliderMaximum(std::int16_t id) = 0;

    virtual void SetChecked(std::int16_t id, bool checked) = 0;
    virtual bool IsChecked(std::int16_t id) = 0;
    virtual void EnableControls(bool enable, const std::int16_t* ids, std::int32_t count) = 0;

    // Queues a command (control id, notification code) or a close request to the dialog again, and
    // removes every pending event with the given number from the queue.
    virtual void PostCommand(std::int16_t id, std::int32_t code) = 0;
    virtual void PostClose(std::int64_t argument) = 0;
    virtual void RemovePendingEvents(std::uint32_t message) = 0;

    // Opening: place the dialog, attach the preview pane, and report the pane's rectangle in the
    // dialog's client coordinates.
    virtual void CenterDialog() = 0;
    virtual void AttachPane(PreviewSession& session) = 0;
    virtual Rect PaneRect() = 0;

    virtual void EndDialog(std::intptr_t value) = 0;

protected:
    ~DialogPlatform() = default;
};

}  // namespace aperlume
