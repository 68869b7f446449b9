// A filter host of our own: it fills a FilterRecord as real hosts do, serves the requested rectangles and
// planes through advanceState, records the plug-in's progress and abort polls, and drives the selector
// sequence. Tests use it against the plug-in code linked in (as the one fake host of the test suites,
// also for tests that drive parts of the plug-in directly); the command-line tool uses it against the
// loaded module. One host drives the plug-in at a time (the host's callbacks carry no context).
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_records.h"
#include "tools/host/host_image.h"
#include "tools/host/served_buffer.h"

namespace aperlume::testhost {

using PluginEntry = void (*)(std::int16_t selector, void* record, std::intptr_t* data, std::int16_t* result);

// Quirks of real hosts the plug-in must survive, and misbehaviour it must refuse cleanly.
struct HostQuirks {
    bool noHandleProcs = false;        // handleProcs null
    bool nullPlatformData = false;     // platformData null (otherwise it points at {hwnd})
    bool testsOnlyRight = false;       // the continue loop tests only the `right` of the request rects
    bool forgetsDataSlot = false;      // the data slot starts at 0 on every run
    bool noAdvanceState = false;       // an old host without image requests
    std::int16_t advanceStateError = 0;  // advanceState answers this (0: serves the request)
    std::int32_t abortAtPoll = 0;      // abortProc answers yes from this poll on (1 = first; 0 never)
    bool abortOnlyThere = false;       // ... and at that poll only (a user who cancels one render)
    bool advanceStateThrows = false;   // a host whose callback lets a C++ exception escape (linked tests)
    bool noColumnBytes = false;        // inColumnBytes and outColumnBytes left at 0 (the pixels packed)
    ServedLayout layout;               // padding after each pixel and row of the image buffers
    bool copiesImage = false;          // serves copies even where the document's own rows would do

    // A host that does not deliver what was asked, from advanceState call `misbehaveFromCall` on (1: every
    // call). The first four say what they did in the record, as a host that clips or tiles does; the rest
    // are lies or omissions.
    std::int32_t misbehaveFromCall = 1;
    std::int16_t clipColumns = 0;      // every rectangle delivered this many columns narrower
    std::int16_t tileSize = 0;         // only the first tile of every rectangle, this many rows and columns
    std::int16_t maskRowsShort = 0;    // the mask rectangle this many rows shorter
    std::int16_t planesOff = 0;        // in and out planes delivered up to this many past the last asked (<0: fewer)
    std::int32_t rowBytesUnderstated = 0;     // in, out and mask row bytes stated this much below the served
    std::int32_t columnBytesUnderstated = 0;  // in and out column bytes stated this much below the served
    bool nullInData = false;
    bool nullOutData = false;
    bool nullMaskData = false;
    bool switchesSelection = false;    // haveMask turned over: the selection goes, or one of everything appears
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
    // supplied beside the colour planes (inTransparencyMask) rather than counted in `planes`. The image
    // also sets filterRect and wholeSize to the whole image, as hosts do for a document without a
    // selection; the plug-in narrows filterRect itself. The output document starts as a copy of it.
    // Whole-image requests with every plane are served from the documents' own rows (no copy), so
    // replacing a document drops what was served from it.
    void SetImage(HostImage image);
    // The output document starts as `image` instead of a copy of the input (set after SetImage).
    void SetOutputImage(HostImage image);
    void SetSelection(std::vector<std::uint8_t> mask);
    // Whether a failed call is undone in the output document when the plug-in wrote into its own rows
    // (the default, as hosts undo a failed filter); a caller that discards the document after a failure
    // turns it off and spares the copy of the output it takes.
    void SetUndo(bool undo) { undo_ = undo; }
    // The image's last plane is a transparency plane beside `planes` (planes = image planes - 1), as
    // hosts deliver layers with transparency; otherwise every plane of the image is counted in `planes`.
    void SetTransparencyBeside(bool beside) { transparencyBeside_ = beside; }
    void SetQuirks(const HostQuirks& quirks) { quirks_ = quirks; }
    void SetHostWindow(std::intptr_t hwnd) { platform_.hwnd = hwnd; }
    void SetDescriptorParameters(PIDescriptorParameters* parameters) { descriptorParameters_ = parameters; }
    void SetDisplayPixels(DisplayPixelsProc proc) { displayPixels_ = proc; }

    // Fills the record's document fields as before a selector call and makes this host the one whose
    // callbacks answer, without calling the plug-in: for tests that drive parts of the plug-in directly
    // (they may then edit the record).
    void PrepareRecord();
    // One selector call with the current record, data slot and result word.
    std::int16_t Call(std::int16_t selector);
    // The same with the record as it stands (after PrepareRecord and the caller's edits).
    std::int16_t CallAsIs(std::int16_t selector);
    // The about selector with an about record.
    std::int16_t CallAbout();
    // A whole run as a host drives it: [parameters], prepare, start, continue while requested, and
    // finish after a successful run. Returns the first non-zero result (0 when all succeeded).
    std::int16_t Run(bool withParameters);
    // Writes the output buffer into the output document, as the host does at every advanceState and
    // after every successful selector call.
    void CommitOutput();

    FilterRecord& Record() { return record_; }
    std::intptr_t& DataSlot() { return data_; }
    std::int16_t LastResult() const { return result_; }
    // The documents; a test may edit them between calls.
    const HostImage& Input() const { return input_; }
    const HostImage& Output() const { return output_; }
    HostImage& Input() { return input_; }
    HostImage& Output() { return output_; }
    const std::vector<std::uint8_t>& Selection() const { return selection_; }
    // The output document, moved out (the host keeps an empty one).
    HostImage TakeOutput();
    const std::vector<ProgressCall>& ProgressCalls() const { return progress_; }
    std::int32_t AbortPolls() const { return abortPolls_; }
    std::int32_t AdvanceStateCalls() const { return advanceCalls_; }
    std::int32_t ContinueCalls() const { return continueCalls_; }

    // The host's handle procedures, and the handles made through them (by any host) not yet disposed and
    // disposed so far.
    const HandleProcs* HandleProcedures() const { return &handleProcs_; }
    std::int32_t HostHandlesLive() const;
    std::int32_t HostHandlesDisposed() const;

    // The parameter block in the record's parameters handle (the plug-in's own handle), or null.
    std::int16_t* Settings();

private:
    friend struct HostCallbacks;
    void FillRecord();
    std::int16_t ServeRequests();
    void Misbehave();
    void SaveUndo();
    void RestoreUndo();

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
    std::vector<std::uint8_t> appearedSelection_;  // served while a switched-on selection stands
    ServedBuffer in_, out_, mask_;
    bool undo_ = true;
    std::vector<std::uint8_t> undoSamples_;  // the output document at the last commit, while out_ is its rows
    std::intptr_t data_ = 0;
    std::int16_t result_ = 0;
    std::vector<ProgressCall> progress_;
    std::int32_t abortPolls_ = 0;
    std::int32_t advanceCalls_ = 0;
    std::int32_t continueCalls_ = 0;
};

}  // namespace aperlume::testhost
