// Test support for the preview and dialog tests: a FilterRecord over an in-memory image with a host
// that serves whole-image requests (planes inLoPlane..inHiPlane of a stored image that may carry a
// transparency plane beyond `planes`), a parameter block, a context wired to them, and the dialog
// session's preview buffers over it.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/filter_parameters.h"
#include "host/movable_handle.h"
#include "base/result.h"
#include "host/plugin_context.h"
#include "ui/preview_session.h"

namespace aperlume::testing {

class PreviewFixture {
public:
    // An image of `storedPlanes` planes (16-bit when mode is Gray16 or RGB48); the host counts `planes`
    // of them; with `transparencyBeside` the one after them is supplied as transparency.
    PreviewFixture(std::int32_t width, std::int32_t height, std::int16_t planes, std::int16_t mode,
                   bool transparencyBeside = false)
        : width_(width), height_(height), storedPlanes_(static_cast<std::int16_t>(planes + (transparencyBeside ? 1 : 0))),
          bytesPerSample_(mode == 10 || mode == 11 ? 2 : 1) {
        current = this;
        image_.assign(static_cast<std::size_t>(width) * height * storedPlanes_ * bytesPerSample_, 0);
        record.imageSize = Point16{static_cast<std::int16_t>(height), static_cast<std::int16_t>(width)};
        record.planes = planes;
        record.imageMode = mode;
        record.filterRect = Rect16{0, 0, static_cast<std::int16_t>(height), static_cast<std::int16_t>(width)};
        record.advanceState = &Advance;
        record.parameters = NewHandle(sizeof(FilterParameters));
        *Block() = kDefaultParameters;
        context.filterRecord = &record;
        context.hasTransparency = transparencyBeside ? 1 : 0;
        context.previewRect = Rect16{0, 0, 40, 50};
        context.zoomStep = 1;
    }
    ~PreviewFixture() {
        DisposeHandle(record.parameters);
        if (current == this) current = nullptr;
    }
    PreviewFixture(const PreviewFixture&) = delete;
    PreviewFixture& operator=(const PreviewFixture&) = delete;

    FilterParameters* Block() { return static_cast<FilterParameters*>(HandleData(record.parameters)); }

    void SetSample(std::int32_t row, std::int32_t column, std::int32_t plane, std::uint32_t value) {
        const std::size_t at = ((static_cast<std::size_t>(row) * width_ + column) * storedPlanes_ + plane) * bytesPerSample_;
        if (bytesPerSample_ == 2) {
            const auto v = static_cast<std::uint16_t>(value);
            std::memcpy(&image_[at], &v, 2);
        } else {
            image_[at] = static_cast<std::uint8_t>(value);
        }
    }
    void Fill(std::uint32_t (*value)(std::int32_t row, std::int32_t column, std::int32_t plane)) {
        for (std::int32_t r = 0; r < height_; ++r)
            for (std::int32_t c = 0; c < width_; ++c)
                for (std::int32_t p = 0; p < storedPlanes_; ++p) SetSample(r, c, p, value(r, c, p));
    }
    void SetSelection(const std::vector<std::uint8_t>& mask) {
        mask_ = mask;
        record.haveMask = 1;
    }

    // Serves the whole image with the requested planes, as the host does on every advanceState.
    OSErr Serve() {
        ++advanceCalls;
        if (advanceError != 0) return advanceError;
        const std::int32_t planes = record.inHiPlane - record.inLoPlane + 1;
        const std::int32_t pixelBytes = planes * bytesPerSample_;
        in_.assign(static_cast<std::size_t>(width_) * height_ * pixelBytes, 0);
        for (std::int32_t r = 0; r < height_; ++r)
            for (std::int32_t c = 0; c < width_; ++c)
                std::memcpy(&in_[(static_cast<std::size_t>(r) * width_ + c) * pixelBytes],
                            &image_[(static_cast<std::size_t>(r) * width_ + c) * storedPlanes_ * bytesPerSample_],
                            static_cast<std::size_t>(pixelBytes));
        out_ = in_;
        record.inData = in_.data();
        record.inRowBytes = width_ * pixelBytes;
        record.inColumnBytes = pixelBytes;
        record.outData = out_.data();
        record.outRowBytes = width_ * pixelBytes;
        record.outColumnBytes = pixelBytes;
        record.maskData = mask_.empty() ? nullptr : mask_.data();
        record.maskRowBytes = width_;
        return 0;
    }

    std::uint8_t* Output() { return out_.data(); }
    const std::uint8_t* Input() const { return in_.data(); }
    std::size_t ImageBytes() const { return in_.size(); }

    FilterRecord record{};
    PluginContext context{};
    PreviewSession session{context};
    Result result = kOk;  // the outcome of the last call that has one
    std::int32_t advanceCalls = 0;
    OSErr advanceError = 0;

private:
    static OSErr Advance() { return current->Serve(); }
    static inline PreviewFixture* current = nullptr;

    std::int32_t width_;
    std::int32_t height_;
    std::int16_t storedPlanes_;
    std::int32_t bytesPerSample_;
    std::vector<std::uint8_t> image_, in_, out_, mask_;
};

}  // namespace aperlume::testing
