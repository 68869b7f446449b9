// Render scheduling, mouse handling and painting data of the preview pane.
#include "ui/preview_pane.h"

#include "ui/dialog_ids.h"
#include "ui/preview_render.h"
#include "ui/preview_state.h"
#include "ui/preview_view.h"

namespace aperlume {
namespace {

// The drag under way. Process-wide because the pane's window procedure (a plain callback of the window
// system) is where it changes; one pane exists at a time.
bool dragging = false;
std::int16_t lastX = 0;
std::int16_t lastY = 0;

}  // namespace

void RequestPreview(PreviewTarget& target) {
    switch (GetPreviewState()) {
        case PreviewState::Idle:
            target.PostRenderRequest(kFullRenderRequest);
            break;
        case PreviewState::Rendering:
            SetPreviewState(PreviewState::RerenderRequested);
            break;
        default:
            break;  // a stop state already decides what follows
    }
}

Result RefreshPreview(std::int32_t full, PreviewSession& session, PreviewTarget& target) {
    SetPreviewState(PreviewState::Rendering);
    const Result rendered = RenderPreview(session, full & 0xFF);
    target.InvalidatePane();
    switch (GetPreviewState()) {
        case PreviewState::RerenderRequested:
            target.PostRenderRequest(kFullRenderRequest);
            break;
        case PreviewState::ZoomRerenderRequested:
            target.PostRenderRequest(kQuickRenderRequest);
            target.PostRenderRequest(kFullRenderRequest);
            break;
        default:
            break;
    }
    SetPreviewState(PreviewState::Idle);
    return rendered;
}

Result HandleRenderRequest(std::uint32_t message, PreviewSession& session, PreviewTarget& target) {
    if (GetPreviewState() != PreviewState::Idle) return kOk;
    return RefreshPreview(message == kFullRenderRequest ? 1 : 0, session, target);
}

void PaneButtonDown(std::int16_t x, std::int16_t y) {
    if (GetPreviewState() != PreviewState::Idle) SetPreviewState(PreviewState::AbortRequested);
    lastX = x;
    lastY = y;
    dragging = true;
}

void PaneMouseMove(std::int16_t x, std::int16_t y, PreviewSession& session, PreviewTarget& target) {
    if (!dragging) return;
    PanView(session.Context(), x - lastX, y - lastY);
    lastX = x;
    lastY = y;
    // A quick render only copies the input: it cannot fail.
    static_cast<void>(RefreshPreview(0, session, target));
}

void PaneButtonUp(PreviewTarget& target) {
    dragging = false;
    RequestPreview(target);
}

bool PaneDragging() { return dragging; }

void ResetPaneState() {
    dragging = false;
    lastX = 0;
    lastY = 0;
}

bool BuildPreviewPixelMap(const PreviewSession& session, PSPixelMap& map, PSPixelMask& mask) {
    const PluginContext& context = session.Context();
    if (session.Pixels() == nullptr || context.filterRecord == nullptr) return false;
    const FilterRecord& record = *context.filterRecord;
    const std::int32_t pixelBytes = record.planes + (context.hasTransparency != 0 ? 1 : 0);
    const std::int32_t width = context.previewRect.right - context.previewRect.left;
    const std::int32_t height = context.previewRect.bottom - context.previewRect.top;

    map = PSPixelMap{};
    map.version = 1;
    map.bounds = VRect{0, 0, height, width};
    // The preview holds 8-bit samples whatever the image's depth.
    map.imageMode = record.imageMode;
    if (record.imageMode == kModeGray16) map.imageMode = kModeGrayScale;
    if (record.imageMode == kModeRGB48) map.imageMode = kModeRGB;
    map.rowBytes = pixelBytes * width;
    map.colBytes = pixelBytes;
    map.planeBytes = 1;
    map.baseAddr = session.Pixels();

    mask = PSPixelMask{};
    mask.maskDescription = 0;
    if (record.isFloating != 0) {
        mask.maskData = session.Mask();
        mask.rowBytes = width;
        mask.colBytes = 1;
        map.masks = &mask;
    } else if (record.inLayerPlanes != 0 && record.inTransparencyMask != 0) {
        mask.maskData = session.Pixels() + pixelBytes - 1;
        mask.rowBytes = pixelBytes * width;
        mask.colBytes = pixelBytes;
        map.masks = &mask;
    }
    if (map.masks != nullptr && mask.maskData == nullptr) map.masks = nullptr;
    return true;
}

std::uint8_t ThumbGray(const PreviewSession& session, std::int32_t row, std::int32_t column) {
    if (session.Thumb() == nullptr) return 0;
    const float weight = session.Thumb()[row * kThumbSize + column];
    return static_cast<std::uint8_t>(static_cast<std::int32_t>(weight * 255.0f) & 0xFF);
}

}  // namespace aperlume
