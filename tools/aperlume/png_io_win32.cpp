// PNG files on Windows through GDI+ (a system DLL; the cross toolchain has no libpng). GDI+ decodes
// every PNG to at most 8 bits per channel and hides the file's own format, so the file's header is read
// first: it decides the channel count and refuses 16-bit files, which GDI+ would quietly cut to 8 bits.
// Pixels travel as 32-bit BGRA; gray images are written as RGB (GDI+ writes no gray PNG).
#include <windows.h>
#include <gdiplus.h>

#include <vector>

#include "tools/aperlume/png_header.h"
#include "tools/aperlume/png_io.h"

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

std::wstring WidePath(const std::string& path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

std::int32_t ChannelsFor(std::uint8_t colorType, bool paletteHasAlpha) {
    switch (colorType) {
        case 0:
            return 1;
        case 4:
            return 2;
        case 2:
            return 3;
        case 3:
            return paletteHasAlpha ? 4 : 3;
        default:
            return 4;
    }
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

ToolStatus ReadPng(const std::string& path, RasterImage& image) {
    PngHeader header;
    if (ToolStatus s = ReadPngHeader(path, header); !s.ok()) return s;
    if (header.bitDepth == 16)
        return ToolStatus::Failure(path + " has 16-bit samples; the Windows build reads 8-bit PNG files only");
    if (header.width > static_cast<std::uint32_t>(kMaxImageSide) ||
        header.height > static_cast<std::uint32_t>(kMaxImageSide))
        return ToolStatus::Failure(path + ": the image is " + std::to_string(header.width) + "x" +
                                   std::to_string(header.height) + "; the filter takes at most " +
                                   std::to_string(kMaxImageSide) + " pixels a side");

    GdiplusSession session;
    if (!session.ok()) return ToolStatus::Failure("cannot read " + path + ": GDI+ is not available");
    GdiplusBitmap bitmap;
    const std::wstring wide = WidePath(path);
    if (gp::GdipCreateBitmapFromFile(wide.c_str(), bitmap.Out()) != Gdiplus::Ok || bitmap.get() == nullptr)
        return ToolStatus::Failure(path + " is damaged or unsupported");
    UINT width = 0, height = 0;
    Gdiplus::PixelFormat format = 0;
    gp::GdipGetImageWidth(bitmap.get(), &width);
    gp::GdipGetImageHeight(bitmap.get(), &height);
    gp::GdipGetImagePixelFormat(bitmap.get(), &format);
    if (width != header.width || height != header.height) return ToolStatus::Failure(path + " is damaged");

    const std::int32_t channels = ChannelsFor(header.colorType, (format & PixelFormatAlpha) != 0);
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

ToolStatus WritePng(const std::string& path, const RasterImage& image) {
    if (ToolStatus s = CheckRasterGeometry(image.width, image.height, image.channels, image.bitDepth, path); !s.ok())
        return s;
    if (image.bitDepth != 8)
        return ToolStatus::Failure("cannot write " + path + ": the Windows build writes 8-bit PNG files only");
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
    if (!session.ok()) return ToolStatus::Failure("cannot write " + path + ": GDI+ is not available");
    CLSID encoder{};
    if (!FindPngEncoder(encoder)) return ToolStatus::Failure("cannot write " + path + ": GDI+ has no PNG encoder");
    GdiplusBitmap bitmap;
    if (gp::GdipCreateBitmapFromScan0(image.width, image.height, image.width * 4,
                                      alpha ? PixelFormat32bppARGB : PixelFormat32bppRGB, pixels.data(),
                                      bitmap.Out()) != Gdiplus::Ok)
        return ToolStatus::Failure("cannot write " + path + ": out of memory");
    const std::wstring wide = WidePath(path);
    if (gp::GdipSaveImageToFile(bitmap.get(), wide.c_str(), &encoder, nullptr) != Gdiplus::Ok)
        return ToolStatus::Failure("cannot create " + path);
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
