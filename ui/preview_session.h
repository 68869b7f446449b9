// The preview's part of one dialog session: the buffers the pane shows, owned from the dialog's opening
// to its end, over the plug-in's context (which, living in host memory that never runs constructors,
// holds no owners itself).
//
// pixels: rows of W pixels (W x H = the pane, from the context's previewRect), P bytes each: `planes`
// 8-bit samples, plus the transparency byte when the host supplies transparency beside the colour
// planes. mask: one byte per pane pixel. transparency: the whole image's transparency plane, one byte per
// pixel (only with transparency). thumb: the 65 x 65 aperture shape.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "base/working_memory.h"
#include "host/plugin_context.h"

namespace aperlume {

inline constexpr std::int32_t kThumbSize = 65;

class PreviewSession {
public:
    explicit PreviewSession(PluginContext& context) : context_(context) {}
    PreviewSession(const PreviewSession&) = delete;
    PreviewSession& operator=(const PreviewSession&) = delete;

    PluginContext& Context() const { return context_; }

    // Takes each buffer that is not held yet, sized from the context; all sizes are overflow-checked.
    // kOutOfMemory (with every buffer released) when one cannot be had: the dialog then works without a
    // preview.
    [[nodiscard]] Result AllocateBuffers();
    void ReleaseBuffers();
    // True while every buffer the preview needs is held.
    bool BuffersReady() const;

    std::uint8_t* Pixels() const { return pixels_.get(); }
    std::uint8_t* Mask() const { return mask_.get(); }
    std::uint8_t* Transparency() const { return transparency_.get(); }
    float* Thumb() const { return thumb_.get(); }

private:
    PluginContext& context_;
    Buffer<std::uint8_t> pixels_;
    Buffer<std::uint8_t> mask_;
    Buffer<std::uint8_t> transparency_;
    Buffer<float> thumb_;
};

// The pane's size in pixels, from the context's previewRect (0 for an inverted one).
std::int32_t PaneWidth(const PluginContext& context);
std::int32_t PaneHeight(const PluginContext& context);

}  // namespace aperlume
