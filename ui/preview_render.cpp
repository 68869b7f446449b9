// The whole-image fetch for the preview, the preview buffers and the preview render.
#include "ui/preview_render.h"

#include <algorithm>
#include <cstring>

#include "engine/aperture_kernel.h"
#include "host/host_render.h"
#include "host/image_requests.h"
#include "host/pixel_conversion.h"
#include "ui/preview_check_points.h"
#include "ui/preview_view.h"

namespace aperlume {
namespace {

std::uint16_t Sample16(const std::uint8_t* p) {
    std::uint16_t v = 0;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// 16-bit samples run 0..32768; the preview shows them as 8-bit.
std::uint8_t SixteenToEight(std::uint16_t v) {
    return v >= 0x8000 ? std::uint8_t{255} : static_cast<std::uint8_t>(v >> 7);
}

// Host rectangles may arrive with their corners swapped.
void Order(std::int32_t& low, std::int32_t& high) {
    if (low > high) std::swap(low, high);
}

void Intersect(std::int32_t aLow, std::int32_t aHigh, std::int32_t bLow, std::int32_t bHigh, std::int16_t& low,
               std::int16_t& high) {
    Order(aLow, aHigh);
    Order(bLow, bHigh);
    std::int32_t lo = std::max(aLow, bLow);
    std::int32_t hi = std::min(aHigh, bHigh);
    if (lo >= hi) lo = hi = 0;
    low = static_cast<std::int16_t>(lo);
    high = static_cast<std::int16_t>(hi);
}

// Renders the visible part of the filter rectangle into the host's output buffer.
Result RenderVisiblePart(PluginContext& context, const ViewBounds& view) {
    FilterRecord& record = *context.filterRecord;
    const FilterParameters* parameters = Parameters(context);
    if (parameters != nullptr && DepthMapInForce(*parameters)) {
        // The depth map needs no selection bounds: what is visible is what is filtered.
        record.filterRect.top = static_cast<std::int16_t>(std::max(view.top, 0));
        record.filterRect.left = static_cast<std::int16_t>(std::max(view.left, 0));
        record.filterRect.bottom = static_cast<std::int16_t>(std::min<std::int32_t>(view.bottom, record.imageSize.v));
        record.filterRect.right = static_cast<std::int16_t>(std::min<std::int32_t>(view.right, record.imageSize.h));
    } else if (Result r = ComputeSelectionBounds(record); !r.ok()) {
        return r;
    }
    const Rect filter = record.filterRect;
    Intersect(view.top, view.bottom, filter.top, filter.bottom, context.renderRect.top, context.renderRect.bottom);
    Intersect(view.left, view.right, filter.left, filter.right, context.renderRect.left, context.renderRect.right);
    PreviewCheckPoints checkPoints(record);
    return RenderLensBlur(record, context.renderRect, checkPoints);
}

// Where the image lies in the pane in one direction: `count` pane pixels from `offset`, sampled from
// image position `start` on.
struct Span {
    std::int32_t count;
    std::int32_t offset;
    std::int32_t start;
};

Span PaneSpan(std::int32_t viewLow, std::int32_t viewHigh, std::int32_t imageExtent, std::int32_t paneExtent,
              double s) {
    if (viewHigh - viewLow > imageExtent) {
        // The whole image fits: centre it. It is sampled from its first row or column whatever the
        // rounding of the offset (a view one pixel wider than the image has offset 0 and a negative
        // left edge, which must not be read).
        std::int32_t count = static_cast<std::int32_t>(imageExtent / s + 0.5);
        count = std::clamp(count, 0, paneExtent);
        return Span{count, (paneExtent - count) / 2, 0};
    }
    return Span{paneExtent, 0, viewLow};
}

}  // namespace

Result SetupPreview(PreviewSession& session) {
    PluginContext& context = session.Context();
    FilterRecord& record = *context.filterRecord;
    RequestWholeImage(record);

    const Rect filter = record.filterRect;
    context.viewCenterV = filter.top + (filter.bottom - filter.top) / 2;
    context.viewCenterH = filter.left + (filter.right - filter.left) / 2;
    context.zoomStep = 1;

    if (record.advanceState == nullptr) return kOk;

    if (context.hasTransparency != 0) {
        // The transparency plane lies beside the colour planes: fetch it once with them, keep it for
        // the preview only, then ask for the colour planes alone. The fetch is checked like any other,
        // so the plane read below lies inside what the host delivered.
        record.planes = static_cast<std::int16_t>(record.planes + 1);
        record.inHiPlane = static_cast<std::int16_t>(record.planes - 1);
        const Result fetched = AdvanceState(record);
        if (fetched.ok() && record.inData != nullptr && session.Transparency() != nullptr) {
            const int bytesPerSample = BytesPerSample(record);
            const std::int32_t columnBytes =
                record.inColumnBytes > 0 ? record.inColumnBytes : record.planes * bytesPerSample;
            const std::int32_t lastPlane = (record.planes - 1) * bytesPerSample;
            const auto* input = static_cast<const std::uint8_t*>(record.inData);
            std::uint8_t* out = session.Transparency();
            for (std::int32_t r = 0; r < record.imageSize.v; ++r) {
                const std::uint8_t* in = input + static_cast<std::ptrdiff_t>(r) * record.inRowBytes + lastPlane;
                for (std::int32_t c = 0; c < record.imageSize.h; ++c, in += columnBytes)
                    *out++ = bytesPerSample == 2 ? SixteenToEight(Sample16(in)) : *in;
            }
        }
        record.planes = static_cast<std::int16_t>(record.planes - 1);
        record.inHiPlane = static_cast<std::int16_t>(record.planes - 1);
        // Without the transparency there is no image for the dialog either.
        if (!fetched.ok()) return fetched;
    }
    return AdvanceState(record);
}

Result RenderPreview(PreviewSession& session, std::int32_t fullFlag) {
    if (!session.BuffersReady()) return kOk;
    PluginContext& context = session.Context();
    FilterRecord& record = *context.filterRecord;
    FixColumnBytes(record);
    const int bytesPerSample = BytesPerSample(record);
    const double s = ZoomScale(context);
    const std::int32_t planes = std::max<std::int32_t>(record.planes, 0);
    const bool withTransparency = context.hasTransparency == 1;
    const std::int32_t planesOut = planes + (withTransparency ? 1 : 0);

    // The thumbnail shows the settings as they stand when this render starts.
    if (const FilterParameters* settings = Parameters(context); settings != nullptr) {
        BuildApertureKernel(*settings, kThumbSize, kThumbSize, kThumbSize, session.Thumb());
    } else {
        std::fill_n(session.Thumb(), kThumbSize * kThumbSize, 0.0f);
    }

    const ViewBounds view = ComputeViewBounds(context);
    bool full = (fullFlag & 0xFF) != 0;
    Result rendered = kOk;
    if (full) {
        rendered = RenderVisiblePart(context, view);
        full = rendered.ok();
    }

    const std::int32_t pw = PaneWidth(context);
    const std::int32_t ph = PaneHeight(context);
    std::memset(session.Pixels(), 0, static_cast<std::size_t>(pw) * ph * planesOut);
    std::memset(session.Mask(), 0, static_cast<std::size_t>(pw) * ph);

    // The pane samples the host's buffers in whole-image coordinates: only a whole delivery can be shown.
    if (Result r = CheckWholeImageDelivered(record); !r.ok()) return rendered.ok() ? r : rendered;
    const std::uint8_t* input = static_cast<const std::uint8_t*>(record.inData);
    const std::uint8_t* source = full ? static_cast<const std::uint8_t*>(record.outData) : input;
    if (input == nullptr || source == nullptr) return rendered;
    const std::int32_t sourceRowBytes = full ? record.outRowBytes : record.inRowBytes;
    const std::int32_t inColumnBytes = record.inColumnBytes;
    const std::int32_t sourceColumnBytes = full ? record.outColumnBytes : record.inColumnBytes;

    const FilterParameters* parameters = Parameters(context);
    const bool haveMask = record.haveMask != 0 && record.maskData != nullptr;
    const bool blend = haveMask && !(parameters != nullptr && DepthMapInForce(*parameters));
    const auto* mask = static_cast<const std::uint8_t*>(record.maskData);

    const Span rows = PaneSpan(view.top, view.bottom, record.imageSize.v, ph, s);
    const Span cols = PaneSpan(view.left, view.right, record.imageSize.h, pw, s);
    const std::int32_t step = static_cast<std::int32_t>(1.0 / s + 0.5);
    // Below step 2, s is a whole number of image pixels per pane pixel.
    const std::int32_t stride = step < 2 ? static_cast<std::int32_t>(s + 0.5) : 1;

    for (std::int32_t i = 0; i < rows.count; ++i) {
        const std::int32_t sourceRow = rows.start + (step < 2 ? static_cast<std::int32_t>(i * s + 0.5) : i / step);
        const std::ptrdiff_t inRowOffset = static_cast<std::ptrdiff_t>(sourceRow) * record.inRowBytes;
        const std::ptrdiff_t sourceRowOffset = static_cast<std::ptrdiff_t>(sourceRow) * sourceRowBytes;
        const std::ptrdiff_t imageRowOffset = static_cast<std::ptrdiff_t>(sourceRow) * record.imageSize.h;
        std::uint8_t* out = session.Pixels() +
                            (static_cast<std::ptrdiff_t>(rows.offset + i) * pw + cols.offset) * planesOut;
        std::uint8_t* outMask = session.Mask() + static_cast<std::ptrdiff_t>(rows.offset + i) * pw + cols.offset;
        for (std::int32_t j = 0; j < cols.count; ++j) {
            // With step >= 2 each image pixel fills `step` pane columns, as it fills `step` rows.
            const std::int32_t sourceColumn = cols.start + (step < 2 ? j * stride : j / step);
            const std::uint8_t* a = input + inRowOffset + static_cast<std::ptrdiff_t>(sourceColumn) * inColumnBytes;
            const std::uint8_t* b =
                source + sourceRowOffset + static_cast<std::ptrdiff_t>(sourceColumn) * sourceColumnBytes;
            const std::uint8_t m =
                haveMask ? mask[static_cast<std::ptrdiff_t>(sourceRow) * record.maskRowBytes + sourceColumn] : 0;
            const double w = m * (1.0 / 255.0);
            for (std::int32_t p = 0; p < planes; ++p) {
                std::uint8_t value = 0;
                if (bytesPerSample == 2) {
                    const std::uint16_t bv = Sample16(b + 2 * p);
                    if (blend) {
                        const std::int32_t av = Sample16(a + 2 * p) >> 7;
                        const double x = av * (1.0 - w) + (bv >> 7) * w + 0.5;
                        value = static_cast<std::uint8_t>(std::clamp(static_cast<std::int32_t>(x), 0, 255));
                    } else {
                        value = SixteenToEight(bv);
                    }
                } else if (blend) {
                    value = static_cast<std::uint8_t>(a[p] * (1.0 - w) + b[p] * w);
                } else {
                    value = b[p];
                }
                out[p] = value;
            }
            *outMask++ = haveMask ? m : std::uint8_t{1};
            if (withTransparency) out[planes] = session.Transparency()[imageRowOffset + sourceColumn];
            out += planesOut;
        }
    }
    return rendered;
}

}  // namespace aperlume
