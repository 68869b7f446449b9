// A filter host of our own: it fills a FilterRecord as real hosts do, serves the requested rectangles and
// planes through advanceState, records the plug-in's progress and abort polls, and drives the selector
// sequence. Tests use it against the plug-in code linked in; the command-line tool uses it against the
// loaded module. One host drives the plug-in at a time (the host's callbacks carry no context).
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_records.h"

namespace aperlume::testhost {

using PluginEntry = void (*)(std::int16_t selector, void* record, std::intptr_t* data, std::int16_t* result);

// An interleaved image as the host keeps it: planes samples per pixel, 1 or 2 bytes per sample.
struct HostImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int16_t planes = 0;
    std::int16_t imageMode = kModeRGB;
    std::vector<std::uint8_t> samples;  // rows of width * planes samples, 16-bit samples little-endian

    int BytesPerSample() const { return imageMode == kModeGray16 || imageMode == kModeRGB48 ? 2 : 1; }
    std::size_t RowBytes() const;
    std::uint32_t Sample(int row, int column, int plane) const;
    void SetSample(int row, int column, int plane, std::uint32_t value);
};

HostImage MakeImage(std::int32_t width, std::int32_t height, std::int16_t planes, std::int16_t imageMode);

// Quirks of real hosts the plug-in must survive.
struct HostQuirks {
    bool noHandleProcs = false;        // handleProcs null
    bool nullPlatformData = false;     // platformData null (otherwise it points at {hwnd})
    bool testsOnlyRight = false;       // the continue loop tests only the `right` of the request rects
    bool forgetsDataSlot = false;      // the data slot starts at 0 on every run
    bool noAdvanceState = false;       // an old host without image requests
    std::int16_t advanceStateError = 0;  // advanceState answers this (0: serves the request)
    std::int32_t abortAtPoll = 0;      // abortProc answers yes from this poll on (1 = first; 0 never)
    bool advanceStateThrows = false;   // a host whose callback lets a C++ exception escape (linked tests)
};

struct ProgressCall {
    std::int32_t done;
    std::int32_t total;
};

class FilterHost {
public:
    explicit FilterHost(PluginEntry entry);
    ~FilterHost();
    FilterHost(const FilterHost&) = delete;
    FilterHost& operator=(const FilterHost&) = delete;

    // The document: its image, an optional selection (one byte per pixel), and a transparency plane
    // supplied beside the colour planes (inTransparencyMask) rather than counted in `planes`.
    void SetImage(const HostImage& image);
    void SetSelection(const std::vector<std::uint8_t>& mask);
    // The image's last plane is a transparency plane beside `planes` (planes = image planes - 1), as
    // hosts deliver layers with transparency; otherwise every plane of the image is counted in `planes`.
    void SetTransparencyBeside(bool beside) { transparencyBeside_ = beside; }
    void SetQuirks(const HostQuirks& quirks) { quirks_ = quirks; }
    void SetHostWindow(std::intptr_t hwnd) { platform_.hwnd = hwnd; }
    void SetDescriptorParameters(PIDescriptorParameters* parameters) { descriptorParameters_ = parameters; }
    void SetDisplayPixels(DisplayPixelsProc proc) { displayPixels_ = proc; }

    // One selector call with the current record, data slot and result word.
    std::int16_t Call(std::int16_t selector);
    // The about selector with an about record.
    std::int16_t CallAbout();
    // A whole run as a host drives it: [parameters], prepare, start, continue while requested, and
    // finish after a successful run. Returns the first non-zero result (0 when all succeeded).
    std::int16_t Run(bool withParameters);

    FilterRecord& Record() { return record_; }
    std::intptr_t& DataSlot() { return data_; }
    std::int16_t LastResult() const { return result_; }
    const HostImage& Input() const { return input_; }
    const HostImage& Output() const { return output_; }
    const std::vector<ProgressCall>& ProgressCalls() const { return progress_; }
    std::int32_t AbortPolls() const { return abortPolls_; }
    std::int32_t AdvanceStateCalls() const { return advanceCalls_; }
    std::int32_t ContinueCalls() const { return continueCalls_; }
    std::int32_t HostHandlesLive() const;

    // The parameter block in the record's parameters handle (the plug-in's own handle), or null.
    std::int16_t* Settings();

private:
    friend struct HostCallbacks;
    void FillRecord();
    std::int16_t ServeRequests();
    void CommitOutput();

    PluginEntry entry_;
    FilterRecord record_{};
    HandleProcs handleProcs_{};
    PlatformData platform_{};
    PIDescriptorParameters* descriptorParameters_ = nullptr;
    DisplayPixelsProc displayPixels_ = nullptr;
    HostQuirks quirks_{};
    bool transparencyBeside_ = false;
    HostImage input_;
    HostImage output_;
    std::vector<std::uint8_t> selection_;
    std::vector<std::uint8_t> inBuffer_, outBuffer_, maskBuffer_;
    Rect16 servedOut_{};
    std::int16_t servedOutLo_ = 0, servedOutHi_ = -1;
    std::intptr_t data_ = 0;
    std::int16_t result_ = 0;
    std::vector<ProgressCall> progress_;
    std::int32_t abortPolls_ = 0;
    std::int32_t advanceCalls_ = 0;
    std::int32_t continueCalls_ = 0;
};

}  // namespace aperlume::testhost
