// A read-only IStream over a stdio file. Positions go through the 64-bit file seam, so files over 2 GiB
// decode as any other.
#include "tools/imagefile/file_stream_win32.h"

#include <windows.h>

#include <new>

#include "tools/imagefile/file_position.h"

namespace aperlume::tool {
namespace {

class FileStream final : public IStream {
public:
    FileStream(std::FILE* file, const ByteOverlay& overlay) : file_(file), overlay_(overlay) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) noexcept override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_ISequentialStream) || IsEqualIID(id, IID_IStream)) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE Read(void* data, ULONG count, ULONG* read) noexcept override {
        const std::int64_t position = FilePosition(file_);
        const std::size_t got = std::fread(data, 1, count, file_);
        if (position >= 0) overlay_.Apply(static_cast<std::uint64_t>(position), static_cast<std::uint8_t*>(data), got);
        if (read != nullptr) *read = static_cast<ULONG>(got);
        if (got < count && std::ferror(file_)) return STG_E_READFAULT;
        return got == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) noexcept override {
        static_assert(STREAM_SEEK_SET == SEEK_SET && STREAM_SEEK_CUR == SEEK_CUR && STREAM_SEEK_END == SEEK_END);
        if (origin > STREAM_SEEK_END || !SeekFile(file_, move.QuadPart, static_cast<int>(origin))) return STG_E_INVALIDFUNCTION;
        if (position != nullptr) position->QuadPart = static_cast<ULONGLONG>(FilePosition(file_));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) noexcept override {
        if (stat == nullptr) return STG_E_INVALIDPOINTER;
        const std::int64_t here = FilePosition(file_);
        const std::int64_t size = FileSize(file_);
        if (here < 0 || size < 0 || !SeekFile(file_, here, SEEK_SET)) return STG_E_ACCESSDENIED;
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = static_cast<ULONGLONG>(size);
        stat->grfMode = STGM_READ;
        return S_OK;
    }

    // A stream for reading only.
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) noexcept override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) noexcept override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** out) noexcept override {
        if (out != nullptr) *out = nullptr;
        return E_NOTIMPL;
    }

private:
    ~FileStream() = default;

    std::FILE* file_;
    const ByteOverlay& overlay_;
    LONG references_ = 1;
};

}  // namespace

IStream* NewFileStream(std::FILE* file, const ByteOverlay& overlay) { return new (std::nothrow) FileStream(file, overlay); }

}  // namespace aperlume::tool
