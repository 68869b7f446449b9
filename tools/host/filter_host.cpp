// Our own filter host. It behaves as the hosts we know: whole buffers per request, padding outside the
// image, the output buffer committed to the document at every advanceState and after every selector.
#include "tools/host/filter_host.h"

#include <cstdlib>
#include <cstring>
#include <new>
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
// Handles the host made for the plug-in and still holds; a host releases them with its document.
std::vector<void*>& HeldHandles() {
    static auto* held = new std::vector<void*>();
    return *held;
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
        return current->quirks_.abortAtPoll != 0 && current->abortPolls_ >= current->quirks_.abortAtPoll ? 1 : 0;
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

std::size_t HostImage::RowBytes() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(planes) * static_cast<std::size_t>(BytesPerSample());
}

std::uint32_t HostImage::Sample(int row, int column, int plane) const {
    std::size_t at = static_cast<std::size_t>(row) * RowBytes() +
                     (static_cast<std::size_t>(column) * static_cast<std::size_t>(planes) + static_cast<std::size_t>(plane)) *
                         static_cast<std::size_t>(BytesPerSample());
    if (BytesPerSample() == 1) return samples[at];
    return static_cast<std::uint32_t>(samples[at] | (samples[at + 1] << 8));
}

void HostImage::SetSample(int row, int column, int plane, std::uint32_t value) {
    std::size_t at = static_cast<std::size_t>(row) * RowBytes() +
                     (static_cast<std::size_t>(column) * static_cast<std::size_t>(planes) + static_cast<std::size_t>(plane)) *
                         static_cast<std::size_t>(BytesPerSample());
    samples[at] = static_cast<std::uint8_t>(value & 0xff);
    if (BytesPerSample() == 2) samples[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

HostImage MakeImage(std::int32_t width, std::int32_t height, std::int16_t planes, std::int16_t imageMode) {
    HostImage image;
    image.width = width;
    image.height = height;
    image.planes = planes;
    image.imageMode = imageMode;
    image.samples.assign(image.RowBytes() * static_cast<std::size_t>(height), 0);
    return image;
}

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

void FilterHost::SetImage(const HostImage& image) {
    input_ = image;
    output_ = image;
}

void FilterHost::SetSelection(const std::vector<std::uint8_t>& mask) { selection_ = mask; }

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

void FilterHost::CommitOutput() {
    if (record_.outData == nullptr || outBuffer_.empty()) return;
    const int bytes = output_.BytesPerSample();
    const int planes = servedOutHi_ - servedOutLo_ + 1;
    for (int row = servedOut_.top; row < servedOut_.bottom; ++row) {
        for (int column = servedOut_.left; column < servedOut_.right; ++column) {
            if (row < 0 || column < 0 || row >= output_.height || column >= output_.width) continue;
            for (int p = 0; p < planes; ++p) {
                const std::uint8_t* s = outBuffer_.data() + static_cast<std::size_t>(row - servedOut_.top) * static_cast<std::size_t>(record_.outRowBytes) +
                                        (static_cast<std::size_t>(column - servedOut_.left) * static_cast<std::size_t>(planes) + static_cast<std::size_t>(p)) *
                                            static_cast<std::size_t>(bytes);
                std::uint32_t v = bytes == 1 ? s[0] : static_cast<std::uint32_t>(s[0] | (s[1] << 8));
                output_.SetSample(row, column, servedOutLo_ + p, v);
            }
        }
    }
}

namespace {

// Fills a buffer for a requested rectangle and plane range from an image; outside the image the
// padding value (0..255) is used.
std::vector<std::uint8_t> Serve(const HostImage& image, const Rect16& rect, int lo, int hi, int padding,
                                std::int32_t& rowBytes) {
    const int bytes = image.BytesPerSample();
    const int planes = hi - lo + 1;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    rowBytes = width * planes * bytes;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height > 0 ? height : 0) + 16,
                                     static_cast<std::uint8_t>(padding < 0 ? 0 : padding));
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const int r = rect.top + row, c = rect.left + column;
            if (r < 0 || c < 0 || r >= image.height || c >= image.width) continue;
            for (int p = 0; p < planes; ++p) {
                std::uint8_t* d = buffer.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(rowBytes) +
                                  (static_cast<std::size_t>(column) * static_cast<std::size_t>(planes) + static_cast<std::size_t>(p)) *
                                      static_cast<std::size_t>(bytes);
                const std::uint32_t v = lo + p < image.planes ? image.Sample(r, c, lo + p) : 0;
                d[0] = static_cast<std::uint8_t>(v & 0xff);
                if (bytes == 2) d[1] = static_cast<std::uint8_t>(v >> 8);
            }
        }
    }
    return buffer;
}

bool HasArea(const Rect16& r) { return r.bottom > r.top && r.right > r.left; }

}  // namespace

std::int16_t FilterHost::ServeRequests() {
    CommitOutput();
    const int bytes = input_.BytesPerSample();
    if (HasArea(record_.inRect) && record_.inHiPlane >= record_.inLoPlane) {
        inBuffer_ = Serve(input_, record_.inRect, record_.inLoPlane, record_.inHiPlane, record_.inputPadding,
                          record_.inRowBytes);
        record_.inData = inBuffer_.data();
        record_.inColumnBytes = (record_.inHiPlane - record_.inLoPlane + 1) * bytes;
        record_.inPlaneBytes = bytes;
    } else {
        record_.inData = nullptr;
    }
    if (HasArea(record_.outRect) && record_.outHiPlane >= record_.outLoPlane) {
        outBuffer_ = Serve(output_, record_.outRect, record_.outLoPlane, record_.outHiPlane, record_.outputPadding,
                           record_.outRowBytes);
        record_.outData = outBuffer_.data();
        record_.outColumnBytes = (record_.outHiPlane - record_.outLoPlane + 1) * bytes;
        record_.outPlaneBytes = bytes;
        servedOut_ = record_.outRect;
        servedOutLo_ = record_.outLoPlane;
        servedOutHi_ = record_.outHiPlane;
    } else {
        record_.outData = nullptr;
        outBuffer_.clear();
    }
    if (!selection_.empty() && HasArea(record_.maskRect)) {
        const int width = record_.maskRect.right - record_.maskRect.left;
        const int height = record_.maskRect.bottom - record_.maskRect.top;
        maskBuffer_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 16,
                           static_cast<std::uint8_t>(record_.maskPadding < 0 ? 0 : record_.maskPadding));
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column) {
                const int r = record_.maskRect.top + row, c = record_.maskRect.left + column;
                if (r >= 0 && c >= 0 && r < input_.height && c < input_.width)
                    maskBuffer_[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(column)] =
                        selection_[static_cast<std::size_t>(r) * static_cast<std::size_t>(input_.width) + static_cast<std::size_t>(c)];
            }
        record_.maskData = maskBuffer_.data();
        record_.maskRowBytes = width;
    } else {
        record_.maskData = nullptr;
    }
    return 0;
}

std::int16_t FilterHost::Call(std::int16_t selector) {
    current = this;
    FillRecord();
    result_ = 0;
    entry_(selector, &record_, &data_, &result_);
    CommitOutput();
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
