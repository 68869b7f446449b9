// One lens-blur render as a library call: the engine's whole interface to its callers (the host's
// final run, the dialog's preview, benchmarks and tests).
//
// The caller takes everything a render needs once, as plain values: the settings as they stand when
// the render starts, the plane layout, the geometry and the kernel diameter (RenderJob); the image as
// float planes (PlaneView, 0.0 black and 1.0 white, read and overwritten in place); and the selection
// weights as a depth map. The engine never sees a host record, a parameter handle or the dialog.
//
// Check points: long passes stop between whole passes (never per pixel) to ask the caller's CheckPoints
// whether to go on, and report progress there. They are called on the caller's thread only.
//
// Failure travels up by return: kOutOfMemory when a working buffer cannot be had, kUserCanceled when a
// check point says stop, kBadMode for an image mode a method cannot lay out (or more than kMaxPlanes
// planes), kBadParameters for views that do not fit the job. After a failure the planes may hold partial
// results and must not be used; every working buffer has been released.
//
// After a successful render every value of every plane is finite (NaN and -infinity become 0, +infinity
// 1); values may still lie outside 0..1, for the caller's write-back to clamp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/filter_parameters.h"
#include "base/result.h"
#include "engine/pixel_layout.h"

namespace aperlume {

// The most planes a render takes; the supported modes never deliver more than four.
inline constexpr std::int32_t kMaxPlanes = 8;

// One plane of width x height floats; rows lie `stride` floats apart (stride >= width).
struct PlaneView {
    float* data;
    std::int32_t width;
    std::int32_t height;
    std::ptrdiff_t stride;

    float* Row(std::int32_t y) const { return data + static_cast<std::ptrdiff_t>(y) * stride; }
};

// How the planes are to be read, derived once from the image mode and the plane count.
struct PlaneLayout {
    std::int16_t imageMode;
    std::int32_t planeCount;     // planes that pass through the engine, 0..kMaxPlanes
    std::int32_t colourPlanes;   // planes the highlight correction touches: up to 3 for RGB, else up to 1
    std::int32_t code;           // the layout table's code (PixelLayout); 0 when the mode is refused
    ChannelAssignment channels;  // planes -> working-pixel channels, for the direct and Monte Carlo methods
};

// `planes` is the host's count; a count outside 0..kMaxPlanes is cut into it (callers refuse such
// counts before they get here).
PlaneLayout MakePlaneLayout(std::int16_t imageMode, std::int16_t planes);

struct RenderJob {
    FilterParameters settings;  // as they stood when the render started
    PlaneLayout layout;
    std::int32_t width;
    std::int32_t height;
    std::int32_t diameter;  // odd, from KernelDiameter
    std::int32_t threads = 1;  // threads the render may use, the calling one included (1: that one only)
};

// The check points of a render, implemented by the caller.
class CheckPoints {
public:
    // The preview's interruption check: while a preview renders, it hands the user's pending events to
    // the dialog and answers true when one of them asked the running render to stop. False elsewhere.
    virtual bool PreviewInterrupted() = 0;
    // The host's abort request.
    virtual bool HostAborted() = 0;
    virtual void Progress(std::int32_t done, std::int32_t total) = 0;

    // A method's check point: the preview first, since a handler it runs may be what asks to stop; the
    // host is not asked then.
    bool Stop() { return PreviewInterrupted() || HostAborted(); }

protected:
    ~CheckPoints() = default;
};

// The highlight correction of the colour planes, the chosen method (settings.method 0 direct, 1 Monte
// Carlo, 2 FFT; any other spreads nothing), and the inverse correction. `weights` holds width * height
// floats, rows back to back, or is null: the direct method uses it as the depth map when the depth
// setting is on; the other methods take no depth map.
[[nodiscard]] Result Render(const RenderJob& job, std::span<const PlaneView> planes, const float* weights,
                            CheckPoints& checkPoints);

// The odd kernel diameter for an amount at a render scale (1.0 unless the host renders scaled frames).
std::int32_t KernelDiameter(std::int32_t amount, double scale);

}  // namespace aperlume
