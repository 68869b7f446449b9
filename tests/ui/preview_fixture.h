// Test support for the preview and dialog tests: our own host with an image (which may carry a
// transparency plane beside the counted ones) and its record prepared as for a selector call, a parameter
// block, a context wired to them, and the dialog session's preview buffers over it.
#pragma once

#include <cstdint>
#include <vector>

#include "base/filter_parameters.h"
#include "base/result.h"
#include "host/plugin_context.h"
#include "tests/support/linked_host.h"
#include "ui/preview_session.h"

namespace aperlume::testing {

class PreviewFixture {
public:
    // An image of `planes` counted planes (16-bit when mode is Gray16 or RGB48); with `transparencyBeside`
    // one more is supplied as transparency.
    PreviewFixture(std::int32_t width, std::int32_t height, std::int16_t planes, std::int16_t mode,
                   bool transparencyBeside = false) {
        host.SetImage(testhost::MakeImage(width, height, static_cast<std::int16_t>(planes + (transparencyBeside ? 1 : 0)),
                                          mode));
        host.SetTransparencyBeside(transparencyBeside);
        host.PrepareRecord();
        record.parameters = block_.Get();
        context.filterRecord = &record;
        context.hasTransparency = transparencyBeside ? 1 : 0;
        context.previewRect = Rect16{0, 0, 40, 50};
        context.zoomStep = 1;
    }

    FilterParameters* Block() { return &block_.Settings(); }

    // The document's sample, in the input and the output alike (as a document before a run).
    void SetSample(std::int32_t row, std::int32_t column, std::int32_t plane, std::uint32_t value) {
        host.Input().SetSample(row, column, plane, value);
        host.Output().SetSample(row, column, plane, value);
    }
    void Fill(std::uint32_t (*value)(std::int32_t row, std::int32_t column, std::int32_t plane)) {
        const testhost::HostImage& image = host.Input();
        for (std::int32_t r = 0; r < image.height; ++r)
            for (std::int32_t c = 0; c < image.width; ++c)
                for (std::int32_t p = 0; p < image.planes; ++p) SetSample(r, c, p, value(r, c, p));
    }
    void SetSelection(const std::vector<std::uint8_t>& mask) {
        host.SetSelection(mask);
        record.haveMask = 1;
    }
    void FailAdvanceState(OSErr code) {
        testhost::HostQuirks quirks;
        quirks.advanceStateError = code;
        host.SetQuirks(quirks);
    }
    std::int32_t AdvanceCalls() const { return host.AdvanceStateCalls(); }

    // The buffers the host delivered at the last advanceState.
    std::uint8_t* Output() { return static_cast<std::uint8_t*>(record.outData); }
    const std::uint8_t* Input() const { return static_cast<const std::uint8_t*>(record.inData); }
    std::size_t ImageBytes() const { return static_cast<std::size_t>(record.inRowBytes) * static_cast<std::size_t>(record.imageSize.v); }

    testhost::FilterHost host = LinkedHost();
    FilterRecord& record = host.Record();
    PluginContext context{};
    PreviewSession session{context};
    Result result = kOk;  // the outcome of the last call that has one

private:
    ParameterBlock block_;
};

}  // namespace aperlume::testing
