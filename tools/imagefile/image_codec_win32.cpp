// PNG, JPEG and TIFF files on Windows through the Windows Imaging Component (a system DLL). Pixels move
// a band of rows at a time between WIC's pixel formats and the tool's layout, so no whole-image copy
// is made here. Encoders write into memory; the metadata pieces are spliced into PNG and JPEG output
// there (image_metadata.h), and TIFF metadata is added to the file afterwards, as natively.
//
// Where an encoder cannot take the image's own format (gray with alpha, which WIC has no format for;
// 16-bit gray TIFF in some versions), the image is written as RGB or RGBA of the same values.
#include <windows.h>
#include <wincodec.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tools/imagefile/byte_order.h"
#include "tools/imagefile/file_position.h"
#include "tools/imagefile/file_stream_win32.h"
#include "tools/imagefile/image_codec.h"
#include "tools/imagefile/tiff_directory.h"

namespace aperlume::tool {
namespace {

constexpr UINT kBandRows = 64;

// A COM interface pointer, released when it goes.
template <typename T>
class Com {
public:
    Com() = default;
    ~Com() {
        if (p_ != nullptr) p_->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** Out() { return &p_; }
    T* get() const { return p_; }
    T* operator->() const { return p_; }

private:
    T* p_ = nullptr;
};

// COM on this thread for the length of one file operation.
class ComSession {
public:
    ComSession() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComSession() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComSession(const ComSession&) = delete;
    ComSession& operator=(const ComSession&) = delete;
    bool ok() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

// A WIC pixel format the tool reads or writes: bytes per sample, samples per pixel, where red, green,
// blue and alpha stand (-1: none; gray formats have red only), and whether colour is premultiplied.
struct Layout {
    const GUID* format;
    int bytes;
    int samples;
    int red, green, blue, alpha;
    bool premultiplied;
};

const Layout kLayouts[] = {
    {&GUID_WICPixelFormat8bppGray, 1, 1, 0, -1, -1, -1, false},
    {&GUID_WICPixelFormat16bppGray, 2, 1, 0, -1, -1, -1, false},
    {&GUID_WICPixelFormat24bppBGR, 1, 3, 2, 1, 0, -1, false},
    {&GUID_WICPixelFormat24bppRGB, 1, 3, 0, 1, 2, -1, false},
    {&GUID_WICPixelFormat32bppBGR, 1, 4, 2, 1, 0, -1, false},
    {&GUID_WICPixelFormat32bppBGRA, 1, 4, 2, 1, 0, 3, false},
    {&GUID_WICPixelFormat32bppRGBA, 1, 4, 0, 1, 2, 3, false},
    {&GUID_WICPixelFormat32bppPBGRA, 1, 4, 2, 1, 0, 3, true},
    {&GUID_WICPixelFormat32bppPRGBA, 1, 4, 0, 1, 2, 3, true},
    {&GUID_WICPixelFormat48bppRGB, 2, 3, 0, 1, 2, -1, false},
    {&GUID_WICPixelFormat48bppBGR, 2, 3, 2, 1, 0, -1, false},
    {&GUID_WICPixelFormat64bppRGBA, 2, 4, 0, 1, 2, 3, false},
    {&GUID_WICPixelFormat64bppBGRA, 2, 4, 2, 1, 0, 3, false},
    {&GUID_WICPixelFormat64bppPRGBA, 2, 4, 0, 1, 2, 3, true},
    {&GUID_WICPixelFormat64bppPBGRA, 2, 4, 2, 1, 0, 3, true},
};

const Layout* FindLayout(const GUID& format) {
    for (const Layout& layout : kLayouts)
        if (IsEqualGUID(*layout.format, format)) return &layout;
    return nullptr;
}

// The format asked of an encoder for `channels` of `bytes`, and the one tried when it refuses that.
const GUID& WantedFormat(int channels, int bytes) {
    static const GUID* const kWanted[2][4] = {
        {&GUID_WICPixelFormat8bppGray, &GUID_WICPixelFormat32bppBGRA, &GUID_WICPixelFormat24bppBGR, &GUID_WICPixelFormat32bppBGRA},
        {&GUID_WICPixelFormat16bppGray, &GUID_WICPixelFormat64bppRGBA, &GUID_WICPixelFormat48bppRGB, &GUID_WICPixelFormat64bppRGBA}};
    return *kWanted[bytes - 1][channels - 1];
}
const GUID& FallbackFormat(int channels, int bytes) {
    if (channels == 1) return bytes == 1 ? GUID_WICPixelFormat24bppBGR : GUID_WICPixelFormat48bppRGB;
    return WantedFormat(channels, bytes);
}

std::uint32_t Get(const std::uint8_t* at, int bytes) { return bytes == 1 ? at[0] : LittleEndian16(at); }
void Put(std::uint8_t* at, int bytes, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    if (bytes == 2) at[1] = static_cast<std::uint8_t>(value >> 8);
}

// One row of WIC pixels into the tool's `channels`, values as the file holds them.
void RowFromWic(const Layout& layout, const std::uint8_t* in, std::uint8_t* out, std::size_t width, int channels) {
    const int bytes = layout.bytes;
    const std::uint32_t maximum = bytes == 1 ? 255u : 65535u;
    for (std::size_t x = 0; x < width; ++x, in += layout.samples * bytes, out += channels * bytes) {
        const std::uint32_t alpha = layout.alpha >= 0 ? Get(in + layout.alpha * bytes, bytes) : maximum;
        const auto straight = [&](int index) {
            const std::uint32_t value = Get(in + index * bytes, bytes);
            if (!layout.premultiplied) return value;
            return alpha == 0 ? 0u : std::min(maximum, (value * maximum + alpha / 2) / alpha);
        };
        const bool colour = channels >= 3;
        Put(out, bytes, straight(layout.red));
        if (colour) {
            Put(out + bytes, bytes, straight(layout.green < 0 ? layout.red : layout.green));
            Put(out + 2 * bytes, bytes, straight(layout.blue < 0 ? layout.red : layout.blue));
        }
        if (channels % 2 == 0) Put(out + (channels - 1) * bytes, bytes, alpha);
    }
}

// One row of the tool's `channels` (file values) into WIC pixels.
void RowToWic(const Layout& layout, const std::uint8_t* in, std::uint8_t* out, std::size_t width, int channels) {
    const int bytes = layout.bytes;
    const std::uint32_t maximum = bytes == 1 ? 255u : 65535u;
    for (std::size_t x = 0; x < width; ++x, in += channels * bytes, out += layout.samples * bytes) {
        const std::uint32_t red = Get(in, bytes);
        const bool colour = channels >= 3;
        Put(out + layout.red * bytes, bytes, red);
        if (layout.green >= 0) Put(out + layout.green * bytes, bytes, colour ? Get(in + bytes, bytes) : red);
        if (layout.blue >= 0) Put(out + layout.blue * bytes, bytes, colour ? Get(in + 2 * bytes, bytes) : red);
        if (layout.alpha >= 0) Put(out + layout.alpha * bytes, bytes, channels % 2 == 0 ? Get(in + (channels - 1) * bytes, bytes) : maximum);
    }
}

// 16-bit samples from one byte order to the other.
void SwapBytePairs(std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i + 1 < count; i += 2) std::swap(bytes[i], bytes[i + 1]);
}

std::string Hex(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(result));
    return text;
}

bool CreateFactory(Com<IWICImagingFactory>& factory) {
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(factory.Out())));
}

// The bytes a stream on global memory holds.
bool StreamBytes(IStream* stream, std::vector<std::uint8_t>& bytes) {
    HGLOBAL memory = nullptr;
    STATSTG stat{};
    if (GetHGlobalFromStream(stream, &memory) != S_OK || stream->Stat(&stat, STATFLAG_NONAME) != S_OK) return false;
    const void* data = GlobalLock(memory);
    if (data == nullptr) return false;
    const auto* begin = static_cast<const std::uint8_t*>(data);
    bytes.assign(begin, begin + static_cast<std::size_t>(stat.cbSize.QuadPart));
    GlobalUnlock(memory);
    return true;
}

// Some versions of the component write 16-bit PNG samples in the machine's byte order instead of the
// file's; a one-pixel file tells which kind this is, once per process.
bool PngEncoderSwapsSixteenBits(IWICImagingFactory* factory);

HRESULT EncodeToStream(IWICImagingFactory* factory, ImageFormat format, const ToolImage& image, const EncodeSettings& settings,
                       bool swapSixteen, IStream* stream, std::string& why) {
    const GUID& container = format == ImageFormat::Png ? GUID_ContainerFormatPng
                          : format == ImageFormat::Jpeg ? GUID_ContainerFormatJpeg : GUID_ContainerFormatTiff;
    Com<IWICBitmapEncoder> encoder;
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> options;
    HRESULT result = factory->CreateEncoder(container, nullptr, encoder.Out());
    if (SUCCEEDED(result)) result = encoder->Initialize(stream, WICBitmapEncoderNoCache);
    if (SUCCEEDED(result)) result = encoder->CreateNewFrame(frame.Out(), options.Out());
    if (FAILED(result)) return result;
    const auto write = [&](const wchar_t* name, VARIANT value) {
        PROPBAG2 option{};
        option.pstrName = const_cast<LPOLESTR>(name);
        options->Write(1, &option, &value);  // an option a version does not know is no error
    };
    VARIANT value;
    VariantInit(&value);
    if (format == ImageFormat::Jpeg) {
        value.vt = VT_R4;
        value.fltVal = static_cast<float>(settings.jpegQuality) / 100.0f;
        write(L"ImageQuality", value);
        value.vt = VT_UI1;
        value.bVal = settings.jpegQuality >= 90 ? WICJpegYCrCbSubsampling444 : WICJpegYCrCbSubsampling420;
        write(L"JpegYCrCbSubsampling", value);
    } else if (format == ImageFormat::Tiff) {
        value.vt = VT_UI1;
        value.bVal = WICTiffCompressionZIP;
        write(L"TiffCompressionMethod", value);
    }
    result = frame->Initialize(options.get());
    if (SUCCEEDED(result)) result = frame->SetSize(static_cast<UINT>(image.width), static_cast<UINT>(image.height));
    if (FAILED(result)) return result;
    // JPEG takes 8 bits; the tool's 16-bit images go in as 8-bit rows.
    const int bytes = format == ImageFormat::Jpeg ? 1 : image.BytesPerSample();
    const int channels = image.channels;
    WICPixelFormatGUID pixelFormat = WantedFormat(channels, bytes);
    result = frame->SetPixelFormat(&pixelFormat);
    if (SUCCEEDED(result) && !IsEqualGUID(pixelFormat, WantedFormat(channels, bytes))) {
        pixelFormat = FallbackFormat(channels, bytes);
        result = frame->SetPixelFormat(&pixelFormat);
    }
    const Layout* layout = FindLayout(pixelFormat);
    if (FAILED(result)) return result;
    if (layout == nullptr || layout->bytes != bytes || (channels % 2 == 0 && layout->alpha < 0) || layout->premultiplied ||
        (channels >= 3 && layout->samples < 3)) {
        why = "the Windows Imaging Component cannot write this image's format";
        return E_FAIL;
    }
    const auto width = static_cast<std::size_t>(image.width);
    const std::size_t stride = width * static_cast<std::size_t>(layout->samples * bytes);
    const std::size_t perRow = width * static_cast<std::size_t>(channels);
    std::vector<std::uint8_t> fileRow(perRow * static_cast<std::size_t>(bytes));
    std::vector<std::uint8_t> band(stride * kBandRows);
    for (UINT top = 0; top < static_cast<UINT>(image.height); top += kBandRows) {
        const UINT rows = std::min<UINT>(kBandRows, static_cast<UINT>(image.height) - top);
        for (UINT y = 0; y < rows; ++y) {
            const std::uint8_t* host = image.samples.data() + image.RowBytes() * (top + y);
            if (image.BytesPerSample() == 2 && bytes == 1)
                EightFromHost16Row(host, fileRow.data(), perRow);
            else if (bytes == 2)
                FileFromHost16Row(host, reinterpret_cast<std::uint16_t*>(fileRow.data()), perRow);
            else
                std::memcpy(fileRow.data(), host, perRow);
            std::uint8_t* out = band.data() + stride * y;
            RowToWic(*layout, fileRow.data(), out, width, channels);
            if (swapSixteen && bytes == 2) SwapBytePairs(out, stride);
        }
        result = frame->WritePixels(rows, static_cast<UINT>(stride), static_cast<UINT>(stride * rows), band.data());
        if (FAILED(result)) return result;
    }
    result = frame->Commit();
    if (SUCCEEDED(result)) result = encoder->Commit();
    return result;
}

bool PngEncoderSwapsSixteenBits(IWICImagingFactory* factory) {
    static int answer = -1;
    if (answer >= 0) return answer != 0;
    ToolImage probe = EmptyToolImage(1, 1, 1, 16);
    probe.samples = {0x81, 0x00};  // host 129: file value 0x0102
    Com<IStream> stream;
    std::vector<std::uint8_t> png;
    std::string why;
    answer = 0;
    if (CreateStreamOnHGlobal(nullptr, TRUE, stream.Out()) != S_OK ||
        FAILED(EncodeToStream(factory, ImageFormat::Png, probe, {}, false, stream.get(), why)) ||
        !StreamBytes(stream.get(), png))
        return false;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t length = BigEndian32(png.data() + at);
        if (length > png.size() - at - 12) break;
        if (std::memcmp(png.data() + at + 4, "IDAT", 4) == 0) {
            std::uint8_t raw[8] = {};
            uLongf size = sizeof raw;
            if (uncompress(raw, &size, png.data() + at + 8, static_cast<uLong>(length)) == Z_OK && size == 3)
                answer = raw[1] == 0x02 && raw[2] == 0x01 ? 1 : 0;
            break;
        }
        at += length + 12;
    }
    return answer != 0;
}

// Some versions of the component hand out the 16-bit samples of a big-endian TIFF unswapped; a
// one-pixel file in memory tells which kind this is, once per process.
bool TiffDecoderLeavesBigEndianSamples(IWICImagingFactory* factory) {
    static int answer = -1;
    if (answer >= 0) return answer != 0;
    answer = 0;
    tiff::Directory directory;
    const auto shorts = [](std::uint16_t tag, std::vector<std::uint8_t> littleEndian) {
        return tiff::Entry{tag, tiff::kShort, static_cast<std::uint32_t>(littleEndian.size() / 2), std::move(littleEndian), {}};
    };
    directory.Put(shorts(tiff::kImageWidth, {1, 0}));
    directory.Put(shorts(tiff::kImageLength, {1, 0}));
    directory.Put(shorts(tiff::kBitsPerSample, {16, 0, 16, 0, 16, 0}));
    directory.Put(shorts(tiff::kCompression, {1, 0}));
    directory.Put(shorts(tiff::kPhotometric, {2, 0}));
    directory.Put(tiff::Entry{tiff::kStripOffsets, tiff::kLong, 1, {8, 0, 0, 0}, {}});
    directory.Put(shorts(tiff::kSamplesPerPixel, {3, 0}));
    directory.Put(shorts(tiff::kRowsPerStrip, {1, 0}));
    directory.Put(tiff::Entry{tiff::kStripByteCounts, tiff::kLong, 1, {6, 0, 0, 0}, {}});
    std::vector<std::uint8_t> file = {'M', 'M', 0, 42, 0, 0, 0, 14, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    const std::vector<std::uint8_t> bytes = tiff::WriteDirectory(directory, 14, true);
    file.insert(file.end(), bytes.begin(), bytes.end());
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    WICPixelFormatGUID format{};
    std::uint8_t pixel[6] = {};
    if (FAILED(factory->CreateStream(stream.Out())) ||
        FAILED(stream->InitializeFromMemory(file.data(), static_cast<DWORD>(file.size()))) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Out())) ||
        FAILED(decoder->GetFrame(0, frame.Out())) || FAILED(frame->GetPixelFormat(&format)) ||
        !IsEqualGUID(format, GUID_WICPixelFormat48bppRGB) || FAILED(frame->CopyPixels(nullptr, 6, 6, pixel)))
        return false;
    answer = pixel[0] == 0x01 && pixel[1] == 0x02 ? 1 : 0;  // the file's order where the machine's belongs
    return answer != 0;
}

}  // namespace

ToolStatus DecodeImage(std::FILE* file, const std::string& path, const CheckedImageFile& checked, SampleRange range,
                       ToolImage& image) {
    const auto width = static_cast<std::int32_t>(checked.width), height = static_cast<std::int32_t>(checked.height);
    const int bytes = checked.bitDepth == 16 ? 2 : 1;  // PNG's 1, 2 and 4 bits arrive as 8
    if (ToolStatus s = CheckImageGeometry(width, height, checked.channels, bytes * 8, path); !s.ok()) return s;
    ComSession session;
    Com<IWICImagingFactory> factory;
    if (!session.ok() || !CreateFactory(factory))
        return ToolStatus::Failure("cannot read " + path + ": the Windows Imaging Component is not available");
    // The handle the check read, from its start, with the directory the check read over a TIFF's own.
    if (!SeekFile(file, 0, SEEK_SET)) return ToolStatus::Failure("cannot read " + path + ": " + std::strerror(errno));
    Com<IStream> stream;
    *stream.Out() = NewFileStream(file, checked.decoderDirectory);
    if (stream.get() == nullptr) return ToolStatus::Failure("out of memory reading " + path);
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    HRESULT result =
        factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Out());
    if (SUCCEEDED(result)) result = decoder->GetFrame(0, frame.Out());
    if (FAILED(result)) return Damaged(path, "the Windows Imaging Component cannot decode it, " + Hex(result));
    UINT frameWidth = 0, frameHeight = 0;
    frame->GetSize(&frameWidth, &frameHeight);
    if (frameWidth != checked.width || frameHeight != checked.height) return ToolStatus::Failure(path + " changed while it was read");

    // The frame's own format when the tool knows it and it has the file's depth; else a conversion to
    // RGBA of that depth (palettes, low bit depths).
    IWICBitmapSource* source = frame.get();
    WICPixelFormatGUID pixelFormat{};
    frame->GetPixelFormat(&pixelFormat);
    const Layout* layout = FindLayout(pixelFormat);
    Com<IWICFormatConverter> converter;
    if (layout == nullptr || layout->bytes != bytes || (checked.channels % 2 == 0 && layout->alpha < 0)) {
        const GUID& wide16 = bytes == 2 ? GUID_WICPixelFormat64bppRGBA : GUID_WICPixelFormat32bppBGRA;
        result = factory->CreateFormatConverter(converter.Out());
        if (SUCCEEDED(result))
            result = converter->Initialize(frame.get(), wide16, WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom);
        if (FAILED(result)) return Damaged(path, "the Windows Imaging Component cannot convert its pixels, " + Hex(result));
        source = converter.get();
        layout = FindLayout(wide16);
    }

    const bool swap = checked.format == ImageFormat::Tiff && checked.bigEndian && bytes == 2 && converter.get() == nullptr &&
                      TiffDecoderLeavesBigEndianSamples(factory.get());
    image = EmptyToolImage(width, height, checked.channels, bytes * 8);
    try {
        image.samples.resize(image.RowBytes() * static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        return ToolStatus::Failure("out of memory reading " + path);
    }
    const std::size_t stride = checked.width * static_cast<std::size_t>(layout->samples * layout->bytes);
    std::vector<std::uint8_t> band(stride * kBandRows);
    for (UINT top = 0; top < checked.height; top += kBandRows) {
        const UINT rows = std::min<UINT>(kBandRows, checked.height - top);
        const WICRect rect{0, static_cast<INT>(top), static_cast<INT>(checked.width), static_cast<INT>(rows)};
        result = source->CopyPixels(&rect, static_cast<UINT>(stride), static_cast<UINT>(stride * rows), band.data());
        if (FAILED(result)) return Damaged(path, "its pixels cannot be decoded, " + Hex(result));
        if (swap) SwapBytePairs(band.data(), stride * rows);
        for (UINT y = 0; y < rows; ++y) {
            std::uint8_t* row = image.samples.data() + image.RowBytes() * (top + y);
            RowFromWic(*layout, band.data() + stride * y, row, checked.width, checked.channels);
            if (bytes == 2 && range == SampleRange::Host)
                HostFromFile16Row(reinterpret_cast<std::uint16_t*>(row), checked.width * static_cast<std::size_t>(checked.channels));
        }
    }
    return ToolStatus::Success();
}

ToolStatus EncodeImage(std::FILE* file, ImageFormat format, const ToolImage& image,
                       const std::vector<MetadataPiece>& pieces, const EncodeSettings& settings, const std::string& name) {
    ComSession session;
    Com<IWICImagingFactory> factory;
    if (!session.ok() || !CreateFactory(factory))
        return ToolStatus::Failure("cannot write " + name + ": the Windows Imaging Component is not available");
    const bool swapSixteen = format == ImageFormat::Png && image.BytesPerSample() == 2 && PngEncoderSwapsSixteenBits(factory.get());
    Com<IStream> stream;
    if (CreateStreamOnHGlobal(nullptr, TRUE, stream.Out()) != S_OK)
        return ToolStatus::Failure("cannot write " + name + ": out of memory");
    std::string why;
    const HRESULT result = EncodeToStream(factory.get(), format, image, settings, swapSixteen, stream.get(), why);
    if (FAILED(result))
        return ToolStatus::Failure("cannot write " + name + ": " + (why.empty() ? "the Windows Imaging Component failed, " + Hex(result) : why));
    std::vector<std::uint8_t> bytes;
    if (!StreamBytes(stream.get(), bytes)) return ToolStatus::Failure("cannot write " + name + ": out of memory");
    const bool spliced = format == ImageFormat::Png    ? SplicePngChunks(bytes, pieces)
                       : format == ImageFormat::Jpeg ? SpliceJpegSegments(bytes, pieces)
                                                     : true;
    if (!spliced) return ToolStatus::Failure("cannot write " + name + ": the encoder's output cannot be read back");
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        return ToolStatus::Failure("cannot write " + name + ": " + std::strerror(errno));
    return ToolStatus::Success();
}

const char* EncoderLimits() {
    return "On Windows, gray with alpha is written as RGBA (the Windows Imaging Component has no gray+alpha\n"
           "format), as is a gray image in a format whose encoder takes no gray of its depth; the values stay.\n";
}

}  // namespace aperlume::tool
