// Our own filter host. It behaves as the hosts we know: whole buffers per request, padding outside the
// image, the output buffer committed to the document at every advanceState and after every successful
// selector; and, on request, as hosts that clip, tile, lie about their buffers or leave them out.
// A request for the whole image with every plane is served from the documents' own rows: the plug-in
// writes the output document directly, and a failed call is undone from a copy taken at the last commit
// (unless the caller has no use for the document after a failure).
#include "tools/host/filter_host.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace aperlume::testhost {
namespace {

// The host whose callbacks are live. Process-wide because the record's procedures carry no context (the
// protocol's signatures have no user pointer); one host drives the plug-in at a time.
FilterHost* current = nullptr;

struct HostHandle {
    void* data;
    std::int32_t size;
};
// Handles made for the plug-in and not yet disposed, over all hosts (the handle procedures carry no
// context either).
std::int32_t liveHostHandles = 0;
std::int32_t disposedHostHandles = 0;
// Handles the host made for the plug-in and still holds; a host releases them with its document.
std::vector<void*>& HeldHandles() {
    static auto* held = new std::vector<void*>();
    return *held;
}

// A buffer served from a document's rows goes with the document: what the record's `data` should be
// afterwards (null where it pointed at those rows).
void* ForgetServed(ServedBuffer& buffer, void* data) {
    if (!buffer.InDocument()) return data;
    void* kept = data == buffer.document ? nullptr : data;
    buffer = ServedBuffer();
    return kept;
}

}  // namespace

// The procedures the plug-in calls back into. They run on the plug-in's stack, inside the module: no
// exception may leave them (a host's frames, or the module's, cannot be unwound), so each is noexcept
// with its own barrier, and a failure becomes the answer a host gives. The one exception is the
// advanceStateThrows quirk, which lets an exception through on purpose to test the module's barrier.
struct HostCallbacks {
    static Boolean Abort() noexcept {
        if (current == nullptr) return 0;
        ++current->abortPolls_;
        const HostQuirks& quirks = current->quirks_;
        if (quirks.abortAtPoll == 0) return 0;
        return (quirks.abortOnlyThere ? current->abortPolls_ == quirks.abortAtPoll
                                      : current->abortPolls_ >= quirks.abortAtPoll)
                   ? 1
                   : 0;
    }
    static void Progress(std::int32_t done, std::int32_t total) noexcept {
        if (current == nullptr) return;
        try {
            current->progress_.push_back({done, total});
        } catch (...) {
            // A progress call the host cannot record is simply not shown.
        }
    }
    static OSErr Advance() {
        if (current == nullptr) return -1;
        ++current->advanceCalls_;
        if (current->quirks_.advanceStateError != 0) return current->quirks_.advanceStateError;
        if (current->quirks_.advanceStateThrows) throw std::bad_alloc();
        try {
            return current->ServeRequests();
        } catch (const std::bad_alloc&) {
            return -108;  // the buffers could not be made: out of memory, as hosts report it
        } catch (...) {
            return -1;
        }
    }
    // Host handles: a master pointer to a heap block, as the classic handle model has it.
    static Handle NewHandle(std::int32_t size) noexcept {
        if (size < 0) return nullptr;
        auto* handle = static_cast<HostHandle*>(std::calloc(1, sizeof(HostHandle)));
        if (handle == nullptr) return nullptr;
        handle->data = std::calloc(size == 0 ? 1 : static_cast<std::size_t>(size), 1);
        if (handle->data == nullptr) {
            std::free(handle);
            return nullptr;
        }
        try {
            HeldHandles().push_back(handle);
        } catch (...) {
            std::free(handle->data);
            std::free(handle);
            return nullptr;
        }
        handle->size = size;
        ++liveHostHandles;
        return handle;
    }
    static void DisposeHandle(Handle h) noexcept {
        if (h == nullptr) return;
        auto* handle = static_cast<HostHandle*>(h);
        std::vector<void*>& held = HeldHandles();
        for (auto it = held.begin(); it != held.end(); ++it)
            if (*it == h) {
                held.erase(it);
                break;
            }
        std::free(handle->data);
        std::free(handle);
        --liveHostHandles;
        ++disposedHostHandles;
    }
    static std::int32_t GetSize(Handle h) noexcept { return h == nullptr ? 0 : static_cast<HostHandle*>(h)->size; }
    static OSErr SetSize(Handle h, std::int32_t size) noexcept {
        if (h == nullptr || size < 0) return -50;
        auto* handle = static_cast<HostHandle*>(h);
        void* data = std::realloc(handle->data, size == 0 ? 1 : static_cast<std::size_t>(size));
        if (data == nullptr) return -108;
        handle->data = data;
        handle->size = size;
        return 0;
    }
    static Ptr Lock(Handle h, Boolean) noexcept { return h == nullptr ? nullptr : static_cast<HostHandle*>(h)->data; }
    static void Unlock(Handle) noexcept {}
};

FilterHost::FilterHost(PluginEntry entry) : entry_(entry) {
    handleProcs_.handleProcsVersion = 1;
    handleProcs_.numHandleProcs = 8;
    handleProcs_.newProc = &HostCallbacks::NewHandle;
    handleProcs_.disposeProc = &HostCallbacks::DisposeHandle;
    handleProcs_.getSizeProc = &HostCallbacks::GetSize;
    handleProcs_.setSizeProc = &HostCallbacks::SetSize;
    handleProcs_.lockProc = &HostCallbacks::Lock;
    handleProcs_.unlockProc = &HostCallbacks::Unlock;
}

FilterHost::~FilterHost() {
    if (current == this) current = nullptr;
    // The document closes: whatever the host still holds for the plug-in (a context kept in one of its
    // handles, say) goes with it.
    while (!HeldHandles().empty()) HostCallbacks::DisposeHandle(HeldHandles().back());
}

std::int32_t FilterHost::HostHandlesLive() const { return liveHostHandles; }
std::int32_t FilterHost::HostHandlesDisposed() const { return disposedHostHandles; }

void FilterHost::SetImage(HostImage image) {
    record_.inData = ForgetServed(in_, record_.inData);
    record_.outData = ForgetServed(out_, record_.outData);
    input_ = std::move(image);
    output_ = input_;
    record_.imageSize = {static_cast<std::int16_t>(input_.height), static_cast<std::int16_t>(input_.width)};
    record_.wholeSize = record_.imageSize;
    record_.filterRect = Rect16{0, 0, record_.imageSize.v, record_.imageSize.h};
}

void FilterHost::SetOutputImage(HostImage image) {
    record_.outData = ForgetServed(out_, record_.outData);
    output_ = std::move(image);
}

void FilterHost::SetSelection(std::vector<std::uint8_t> mask) {
    record_.maskData = ForgetServed(mask_, record_.maskData);
    selection_ = std::move(mask);
}

HostImage FilterHost::TakeOutput() {
    CommitOutput();
    record_.outData = ForgetServed(out_, record_.outData);
    undoSamples_ = std::vector<std::uint8_t>();
    HostImage taken = std::move(output_);
    output_ = HostImage();
    return taken;
}

// The output document as committed, while the plug-in writes into its rows: what a failed call reverts to.
void FilterHost::SaveUndo() {
    if (undo_ && out_.InDocument()) undoSamples_ = output_.samples;
}

void FilterHost::RestoreUndo() {
    if (undo_ && out_.InDocument() && undoSamples_.size() == output_.samples.size())
        std::copy(undoSamples_.begin(), undoSamples_.end(), output_.samples.begin());
}

std::int16_t* FilterHost::Settings() {
    if (record_.parameters == nullptr) return nullptr;
    // The plug-in's own handles are the address of a master record whose first word is the data.
    return *static_cast<std::int16_t**>(record_.parameters);
}

// Refreshes the record's document fields before a call; what the plug-in writes (rectangles, planes,
// parameters) is kept between calls as a host keeps its one record.
void FilterHost::FillRecord() {
    const std::int16_t countedPlanes =
        static_cast<std::int16_t>(transparencyBeside_ ? input_.planes - 1 : input_.planes);
    record_.serialNumber = 0;
    record_.abortProc = &HostCallbacks::Abort;
    record_.progressProc = &HostCallbacks::Progress;
    record_.imageSize = {static_cast<std::int16_t>(input_.height), static_cast<std::int16_t>(input_.width)};
    record_.planes = countedPlanes;
    record_.imageMode = input_.imageMode;
    record_.haveMask = selection_.empty() ? 0 : 1;
    record_.isFloating = 0;
    record_.hostSig = FourCC("APLH");
    record_.platformData = quirks_.nullPlatformData ? nullptr : &platform_;
    record_.handleProcs = quirks_.noHandleProcs ? nullptr : &handleProcs_;
    record_.advanceState = quirks_.noAdvanceState ? nullptr : &HostCallbacks::Advance;
    record_.displayPixels = displayPixels_;
    record_.descriptorParameters = descriptorParameters_;
    record_.supportsPadding = 1;
    record_.depth = input_.BytesPerSample() * 8;
    const bool transparency = transparencyBeside_ || countedPlanes == 2 || countedPlanes == 4;
    record_.inLayerPlanes = static_cast<std::int16_t>(transparency ? input_.planes - 1 : input_.planes);
    record_.inTransparencyMask = transparency ? 1 : 0;
    record_.inNonLayerPlanes = 0;
    record_.filterCase = static_cast<std::int16_t>(transparency ? (selection_.empty() ? 4 : 5)
                                                                : (selection_.empty() ? 1 : 2));
}

void FilterHost::CommitOutput() { CommitSamples(out_, output_); }

namespace {

bool HasArea(const Rect16& r) { return r.bottom > r.top && r.right > r.left; }

std::int16_t Clamp16(std::int32_t v) {
    return static_cast<std::int16_t>(v < INT16_MIN ? INT16_MIN : (v > INT16_MAX ? INT16_MAX : v));
}

// The rectangle a misbehaving host delivers instead of the one asked for.
Rect16 Delivered(const Rect16& asked, const HostQuirks& quirks, bool mask) {
    std::int32_t bottom = asked.bottom, right = asked.right;
    if (quirks.clipColumns > 0) right = std::max<std::int32_t>(asked.left, right - quirks.clipColumns);
    if (quirks.tileSize > 0) {
        bottom = std::min<std::int32_t>(bottom, asked.top + quirks.tileSize);
        right = std::min<std::int32_t>(right, asked.left + quirks.tileSize);
    }
    if (mask && quirks.maskRowsShort > 0) bottom = std::max<std::int32_t>(asked.top, bottom - quirks.maskRowsShort);
    return Rect16{asked.top, asked.left, Clamp16(bottom), Clamp16(right)};
}

}  // namespace

// The clipping, tiling and plane changes of a misbehaving host, written into the request fields as such a
// host reports what it delivered.
void FilterHost::Misbehave() {
    record_.inRect = Delivered(record_.inRect, quirks_, false);
    record_.outRect = Delivered(record_.outRect, quirks_, false);
    record_.maskRect = Delivered(record_.maskRect, quirks_, true);
    record_.inHiPlane = Clamp16(record_.inHiPlane + quirks_.planesOff);
    record_.outHiPlane = Clamp16(record_.outHiPlane + quirks_.planesOff);
    if (quirks_.switchesSelection) record_.haveMask = record_.haveMask != 0 ? 0 : 1;
}

std::int16_t FilterHost::ServeRequests() {
    CommitOutput();
    const bool misbehave = advanceCalls_ >= quirks_.misbehaveFromCall;
    if (misbehave) Misbehave();
    const int bytes = input_.BytesPerSample();
    const ServedLayout& layout = quirks_.layout;
    const bool share = !quirks_.copiesImage;
    in_ = HasArea(record_.inRect) ? ServeSamples(input_, record_.inRect, record_.inLoPlane, record_.inHiPlane,
                                                 record_.inputPadding, layout, share)
                                  : ServedBuffer{};
    out_ = HasArea(record_.outRect) ? ServeSamples(output_, record_.outRect, record_.outLoPlane, record_.outHiPlane,
                                                   record_.outputPadding, layout, share)
                                    : ServedBuffer{};
    std::vector<std::uint8_t>* selection = &selection_;
    if (selection_.empty() && record_.haveMask != 0) {
        const std::size_t pixels = static_cast<std::size_t>(input_.width) * static_cast<std::size_t>(input_.height);
        if (appearedSelection_.size() != pixels) appearedSelection_.assign(pixels, 255);
        selection = &appearedSelection_;
    }
    mask_ = !selection->empty() && HasArea(record_.maskRect)
                ? ServeMask(*selection, input_.width, input_.height, record_.maskRect, record_.maskPadding,
                            ServedLayout{0, layout.rowPadding}, share)
                : ServedBuffer{};
    SaveUndo();
    record_.inData = in_.Data();
    record_.inRowBytes = in_.rowBytes;
    record_.inColumnBytes = quirks_.noColumnBytes ? 0 : in_.columnBytes;
    record_.inPlaneBytes = bytes;
    record_.outData = out_.Data();
    record_.outRowBytes = out_.rowBytes;
    record_.outColumnBytes = quirks_.noColumnBytes ? 0 : out_.columnBytes;
    record_.outPlaneBytes = bytes;
    record_.maskData = mask_.Data();
    record_.maskRowBytes = mask_.rowBytes;
    if (!misbehave) return 0;
    record_.inRowBytes -= quirks_.rowBytesUnderstated;
    record_.outRowBytes -= quirks_.rowBytesUnderstated;
    record_.maskRowBytes -= quirks_.rowBytesUnderstated;
    record_.inColumnBytes -= quirks_.columnBytesUnderstated;
    record_.outColumnBytes -= quirks_.columnBytesUnderstated;
    if (quirks_.nullInData) record_.inData = nullptr;
    if (quirks_.nullOutData) record_.outData = nullptr;
    if (quirks_.nullMaskData) record_.maskData = nullptr;
    return 0;
}

void FilterHost::PrepareRecord() {
    current = this;
    FillRecord();
}

std::int16_t FilterHost::Call(std::int16_t selector) {
    PrepareRecord();
    return CallAsIs(selector);
}

std::int16_t FilterHost::CallAsIs(std::int16_t selector) {
    current = this;
    result_ = 0;
    SaveUndo();
    entry_(selector, &record_, &data_, &result_);
    // A failed call leaves the document as it was (hosts undo a filter that reports an error); what a
    // preview left in the output buffer is not the filter's result.
    if (result_ == 0)
        CommitOutput();
    else
        RestoreUndo();
    return result_;
}

std::int16_t FilterHost::CallAbout() {
    current = this;
    AboutRecord about{};
    about.platformData = quirks_.nullPlatformData ? nullptr : &platform_;
    std::intptr_t unused = 0;
    result_ = 0;
    entry_(kSelectorAbout, &about, &unused, &result_);
    return result_;
}

std::int16_t FilterHost::Run(bool withParameters) {
    if (quirks_.forgetsDataSlot) data_ = 0;
    record_.inRect = record_.outRect = record_.maskRect = Rect16{};
    record_.inData = record_.outData = record_.maskData = nullptr;
    in_ = out_ = mask_ = ServedBuffer{};
    if (withParameters)
        if (std::int16_t r = Call(kSelectorParameters); r != 0) return r;
    if (std::int16_t r = Call(kSelectorPrepare); r != 0) return r;
    if (std::int16_t r = Call(kSelectorStart); r != 0) return r;
    // Hosts loop while anything is still requested; some look only at `right`. A bound keeps a
    // misbehaving plug-in from hanging the tests.
    continueCalls_ = 0;
    for (int guard = 0; guard < 1000; ++guard) {
        const Rect16 &in = record_.inRect, &out = record_.outRect, &mask = record_.maskRect;
        const bool requested = quirks_.testsOnlyRight
                                   ? (in.right != 0 || out.right != 0 || (record_.haveMask && mask.right != 0))
                                   : (HasArea(in) || HasArea(out) || (record_.haveMask && HasArea(mask)));
        if (!requested) break;
        ++continueCalls_;
        if (std::int16_t r = Call(kSelectorContinue); r != 0) return r;
    }
    return Call(kSelectorFinish);
}

}  // namespace aperlume::testhost
