// The preview buffers of a dialog session.
#include "ui/preview_session.h"

#include <algorithm>

namespace aperlume {

std::int32_t PaneWidth(const PluginContext& context) {
    return std::max(0, static_cast<std::int32_t>(context.previewRect.right) - context.previewRect.left);
}
std::int32_t PaneHeight(const PluginContext& context) {
    return std::max(0, static_cast<std::int32_t>(context.previewRect.bottom) - context.previewRect.top);
}

Result PreviewSession::AllocateBuffers() {
    const FilterRecord& record = *context_.filterRecord;
    const std::int64_t width = PaneWidth(context_);
    const std::int64_t height = PaneHeight(context_);
    const std::int64_t pixelBytes = std::max(0, record.planes + 1);
    bool ok = true;
    if (pixels_ == nullptr) {
        std::size_t rowBytes = 0;
        if (CheckedMultiply(static_cast<std::size_t>(pixelBytes), static_cast<std::size_t>(width), rowBytes))
            pixels_ = AllocateRaster<std::uint8_t>(static_cast<std::int64_t>(rowBytes), height);
        ok = ok && pixels_ != nullptr;
    }
    if (ok && mask_ == nullptr) {
        mask_ = AllocateRaster<std::uint8_t>(width, height);
        ok = mask_ != nullptr;
    }
    if (ok && context_.hasTransparency != 0 && transparency_ == nullptr) {
        transparency_ = AllocateRaster<std::uint8_t>(std::max<std::int16_t>(record.imageSize.h, 0),
                                                     std::max<std::int16_t>(record.imageSize.v, 0));
        ok = transparency_ != nullptr;
    }
    if (ok && thumb_ == nullptr) {
        thumb_ = AllocateRaster<float>(kThumbSize, kThumbSize);
        ok = thumb_ != nullptr;
    }
    // The preview needs all of them; a partial set would only be memory held for nothing.
    if (!ok) ReleaseBuffers();
    return ok ? kOk : kOutOfMemory;
}

void PreviewSession::ReleaseBuffers() {
    pixels_.reset();
    mask_.reset();
    transparency_.reset();
    thumb_.reset();
}

bool PreviewSession::BuffersReady() const {
    return pixels_ != nullptr && mask_ != nullptr && thumb_ != nullptr &&
           (context_.hasTransparency == 0 || transparency_ != nullptr);
}

}  // namespace aperlume
