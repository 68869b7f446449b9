// PNG files on Windows through GDI+ (a system DLL; the cross toolchain has no libpng). GDI+ decodes
// every PNG to at most 8 bits per channel and hides the file's own format, so the facts the integrity
// check read decide the channel count, and 16-bit files, which GDI+ would quietly cut to 8 bits, are
// refused. Pixels travel as 32-bit BGRA; gray images are written as RGB (GDI+ writes no gray PNG), and
// GDI+ encodes into memory, from where the bytes go to the file the caller opened.
#include <windows.h>
#include <gdiplus.h>
#include <objidl.h>

#include <vector>

#include "tools/aperlume/png_io.h"
#include "tools/aperlume/wide_path_win32.h"

namespace aperlume::tool {
namespace {

namespace gp = Gdiplus::DllExports;

// GDI+ for the length of one file operation.
class GdiplusSession {
public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession() {
        if (ok_) Gdiplus::GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool ok() const { return ok_; }

private:
    ULONG_PTR token_ = 0;
    bool ok_ = false;
};

class GdiplusBitmap {
public:
    GdiplusBitmap() = default;
    ~GdiplusBitmap() {
        if (bitmap_ != nullptr) gp::GdipDisposeImage(bitmap_);
    }
    GdiplusBitmap(const GdiplusBitmap&) = delete;
    GdiplusBitmap& operator=(const GdiplusBitmap&) = delete;
    Gdiplus::GpBitmap** Out() { return &bitmap_; }
    Gdiplus::GpBitmap* get() const { return bitmap_; }

private:
    Gdiplus::GpBitmap* bitmap_ = nullptr;
};

// An IStream, released when it goes.
class StreamOwner {
public:
    StreamOwner() = default;
    ~StreamOwner() {
        if (stream_ != nullptr) stream_->Release();
    }
    StreamOwner(const StreamOwner&) = delete;
    StreamOwner& operator=(const StreamOwner&) = delete;
    IStream** Out() { return &stream_; }
    IStream* get() const { return stream_; }

private:
    IStream* stream_ = nullptr;
};

// Copies what `stream` (a stream on global memory) holds into `file`.
bool CopyStreamToFile(IStream* stream, std::FILE* file) {
    HGLOBAL memory = nullptr;
    if (GetHGlobalFromStream(stream, &memory) != S_OK) return false;
    STATSTG stat{};
    if (stream->Stat(&stat, STATFLAG_NONAME) != S_OK) return false;
    const auto size = static_cast<std::size_t>(stat.cbSize.QuadPart);
    const void* bytes = GlobalLock(memory);
    if (bytes == nullptr) return false;
    const bool written = std::fwrite(bytes, 1, size, file) == size;
    GlobalUnlock(memory);
    return written;
}

// The PNG encoder's class id, from the list GDI+ offers.
bool FindPngEncoder(CLSID& encoder) {
    UINT count = 0, bytes = 0;
    if (gp::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
    std::vector<std::uint8_t> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (gp::GdipGetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i)
        if (codecs[i].MimeType != nullptr && lstrcmpiW(codecs[i].MimeType, L"image/png") == 0) {
            encoder = codecs[i].Clsid;
            return true;
        }
    return false;
}

}  // namespace

ToolStatus ReadPng(const std::string& path, RasterImage& image, std::uint64_t maxPixels) {
    ImageFileFacts facts;
    if (ToolStatus s = CheckImageFile(path, {static_cast<std::uint32_t>(kMaxImageSide), maxPixels}, facts); !s.ok())
        return s;
    if (facts.bitDepth == 16)
        return ToolStatus::Failure(path + " has 16-bit samples; the Windows build reads 8-bit PNG files only");

    GdiplusSession session;
    if (!session.ok()) return ToolStatus::Failure("cannot read " + path + ": GDI+ is not available");
    GdiplusBitmap bitmap;
    const std::wstring wide = WidePath(path);
    if (gp::GdipCreateBitmapFromFile(wide.c_str(), bitmap.Out()) != Gdiplus::Ok || bitmap.get() == nullptr)
        return ToolStatus::Failure(path + " is damaged or unsupported");
    UINT width = 0, height = 0;
    gp::GdipGetImageWidth(bitmap.get(), &width);
    gp::GdipGetImageHeight(bitmap.get(), &height);
    if (width != facts.width || height != facts.height) return ToolStatus::Failure(path + " changed while it was read");

    const std::int32_t channels = facts.channels;
    const auto w = static_cast<std::int32_t>(width), h = static_cast<std::int32_t>(height);
    if (ToolStatus s = CheckRasterGeometry(w, h, channels, 8, path); !s.ok()) return s;

    Gdiplus::GpRect whole(0, 0, w, h);
    Gdiplus::BitmapData data{};
    if (gp::GdipBitmapLockBits(bitmap.get(), &whole, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) !=
        Gdiplus::Ok)
        return ToolStatus::Failure(path + " is damaged (its pixels cannot be decoded)");
    image.width = w;
    image.height = h;
    image.channels = channels;
    image.bitDepth = 8;
    image.samples.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * static_cast<std::size_t>(channels));
    std::size_t i = 0;
    for (std::int32_t y = 0; y < h; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride;
        for (std::int32_t x = 0; x < w; ++x, row += 4) {
            const std::uint8_t b = row[0], g = row[1], r = row[2], a = row[3];
            switch (channels) {
                case 1:
                    image.samples[i++] = r;
                    break;
                case 2:
                    image.samples[i++] = r;
                    image.samples[i++] = a;
                    break;
                default:
                    image.samples[i++] = r;
                    image.samples[i++] = g;
                    image.samples[i++] = b;
                    if (channels == 4) image.samples[i++] = a;
                    break;
            }
        }
    }
    gp::GdipBitmapUnlockBits(bitmap.get(), &data);
    return ToolStatus::Success();
}

ToolStatus EncodePng(std::FILE* file, const RasterImage& image, const std::string& name) {
    if (ToolStatus s = CheckRasterGeometry(image.width, image.height, image.channels, image.bitDepth, name); !s.ok())
        return s;
    if (image.bitDepth != 8)
        return ToolStatus::Failure("cannot write " + name + ": the Windows build writes 8-bit PNG files only");
    // BGRA rows; gray becomes R = G = B, no alpha means opaque.
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const auto channels = static_cast<std::size_t>(image.channels);
    std::vector<std::uint8_t> pixels(width * height * 4);
    for (std::size_t p = 0; p < width * height; ++p) {
        const std::uint16_t* s = image.samples.data() + p * channels;
        std::uint8_t* d = pixels.data() + p * 4;
        const bool gray = channels <= 2;
        d[2] = static_cast<std::uint8_t>(s[0]);
        d[1] = static_cast<std::uint8_t>(gray ? s[0] : s[1]);
        d[0] = static_cast<std::uint8_t>(gray ? s[0] : s[2]);
        d[3] = static_cast<std::uint8_t>(channels == 2 ? s[1] : channels == 4 ? s[3] : 255);
    }
    const bool alpha = channels == 2 || channels == 4;

    GdiplusSession session;
    if (!session.ok()) return ToolStatus::Failure("cannot write " + name + ": GDI+ is not available");
    CLSID encoder{};
    if (!FindPngEncoder(encoder)) return ToolStatus::Failure("cannot write " + name + ": GDI+ has no PNG encoder");
    GdiplusBitmap bitmap;
    if (gp::GdipCreateBitmapFromScan0(image.width, image.height, image.width * 4,
                                      alpha ? PixelFormat32bppARGB : PixelFormat32bppRGB, pixels.data(),
                                      bitmap.Out()) != Gdiplus::Ok)
        return ToolStatus::Failure("cannot write " + name + ": out of memory");
    StreamOwner stream;
    if (CreateStreamOnHGlobal(nullptr, TRUE, stream.Out()) != S_OK)
        return ToolStatus::Failure("cannot write " + name + ": out of memory");
    if (gp::GdipSaveImageToStream(bitmap.get(), stream.get(), &encoder, nullptr) != Gdiplus::Ok)
        return ToolStatus::Failure("cannot write " + name + ": GDI+ could not encode the image");
    if (!CopyStreamToFile(stream.get(), file)) return ToolStatus::Failure("cannot write " + name);
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
