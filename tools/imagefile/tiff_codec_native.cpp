// TIFF files through libtiff. Strips are decoded straight into the image's rows (a contiguous TIFF row
// is laid out as the host's); tiles through one tile's buffer. Files are written with Adobe deflate and
// horizontal differencing, in strips of about 256 KB, alpha as unassociated alpha.
#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "tools/imagefile/file_position.h"
#include "tools/imagefile/native_codecs.h"

namespace aperlume::tool {
namespace {

// zlib level 2, as for PNG: on a 12-megapixel photograph-like image 0.58 s and 16.8 MB (8-bit), against
// 2.2 s and 14.9 MB at level 6 (bench/image_file_bench.cpp).
constexpr int kDeflateLevel = 2;
constexpr std::size_t kStripBytes = 256 * 1024;

struct Messages {
    char text[256] = "";
};

int OnTiffError(TIFF*, void* user, const char*, const char* format, va_list arguments) {
    auto* messages = static_cast<Messages*>(user);
    if (messages->text[0] == '\0') std::vsnprintf(messages->text, sizeof messages->text, format, arguments);
    return 1;
}

int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }  // unknown tags and the like

class TiffOptions {
public:
    explicit TiffOptions(Messages* messages) : options_(TIFFOpenOptionsAlloc()) {
        if (options_ == nullptr) return;
        TIFFOpenOptionsSetErrorHandlerExtR(options_, OnTiffError, messages);
        TIFFOpenOptionsSetWarningHandlerExtR(options_, OnTiffWarning, messages);
    }
    ~TiffOptions() { TIFFOpenOptionsFree(options_); }
    TiffOptions(const TiffOptions&) = delete;
    TiffOptions& operator=(const TiffOptions&) = delete;
    TIFFOpenOptions* get() const { return options_; }

private:
    TIFFOpenOptions* options_;
};

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// Colour premultiplied by alpha back to straight colour, in the file's range.
template <typename Sample>
void StraightenAlpha(Sample* samples, std::size_t pixels, std::int32_t channels, std::uint32_t maximum) {
    for (std::size_t p = 0; p < pixels; ++p) {
        Sample* pixel = samples + p * static_cast<std::size_t>(channels);
        const std::uint32_t alpha = pixel[channels - 1];
        for (std::int32_t c = 0; c + 1 < channels; ++c)
            pixel[c] = alpha == 0 ? 0 : static_cast<Sample>(std::min(maximum, (pixel[c] * maximum + alpha / 2) / alpha));
    }
}

// What a decoded run of rows needs: straight alpha, then the host's 16-bit range.
void FinishRows(std::uint8_t* rows, std::size_t pixels, const CheckedImageFile& checked, SampleRange range) {
    if (checked.bitDepth == 16) {
        auto* samples = reinterpret_cast<std::uint16_t*>(rows);
        if (checked.associatedAlpha) StraightenAlpha(samples, pixels, checked.channels, 65535);
        if (range == SampleRange::Host) HostFromFile16Row(samples, pixels * static_cast<std::size_t>(checked.channels));
    } else if (checked.associatedAlpha) {
        StraightenAlpha(rows, pixels, checked.channels, 255);
    }
}

// The file libtiff reads or writes: an open stdio file, and when decoding the first directory as the
// check read it, over the file's own. Offsets are 64-bit in every build.
struct TiffStream {
    std::FILE* file;
    const ByteOverlay* directory;  // null when writing
};

tmsize_t ReadProc(thandle_t handle, void* data, tmsize_t size) {
    auto* stream = static_cast<TiffStream*>(handle);
    const std::int64_t position = FilePosition(stream->file);
    const std::size_t got = std::fread(data, 1, static_cast<std::size_t>(size), stream->file);
    if (stream->directory != nullptr && position >= 0)
        stream->directory->Apply(static_cast<std::uint64_t>(position), static_cast<std::uint8_t*>(data), got);
    return static_cast<tmsize_t>(got);
}
tmsize_t WriteProc(thandle_t handle, void* data, tmsize_t size) {
    return static_cast<tmsize_t>(std::fwrite(data, 1, static_cast<std::size_t>(size), static_cast<TiffStream*>(handle)->file));
}
toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    std::FILE* file = static_cast<TiffStream*>(handle)->file;
    if (!SeekFile(file, static_cast<std::int64_t>(offset), whence)) return static_cast<toff_t>(-1);
    return static_cast<toff_t>(FilePosition(file));
}
int CloseProc(thandle_t) { return 0; }  // the caller owns the file
toff_t SizeProc(thandle_t handle) {
    std::FILE* file = static_cast<TiffStream*>(handle)->file;
    const std::int64_t here = FilePosition(file);
    const std::int64_t end = FileSize(file);
    SeekFile(file, here, SEEK_SET);
    return static_cast<toff_t>(end);
}
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

ToolStatus ReadStrips(TIFF* tiff, const std::string& path, const CheckedImageFile& checked, SampleRange range,
                      ToolImage& image, Messages& messages) {
    std::uint32_t rowsPerStrip = checked.height;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, checked.height);
    RowGrowth rows(image, ExpectedDecodedBytes(checked));
    const std::size_t rowBytes = image.RowBytes();
    for (std::uint32_t first = 0, strip = 0; first < checked.height; first += rowsPerStrip, ++strip) {
        const std::uint32_t count = std::min(rowsPerStrip, checked.height - first);
        std::uint8_t* at = rows.Rows(static_cast<std::int32_t>(first), static_cast<std::int32_t>(count));
        if (at == nullptr) return ToolStatus::Failure("out of memory reading " + path);
        const auto bytes = static_cast<tmsize_t>(rowBytes * count);
        if (TIFFReadEncodedStrip(tiff, strip, at, bytes) != bytes)
            return Damaged(path, messages.text[0] != '\0' ? messages.text : "a strip is short");
        FinishRows(at, static_cast<std::size_t>(checked.width) * count, checked, range);
    }
    return ToolStatus::Success();
}

ToolStatus ReadTiles(TIFF* tiff, const std::string& path, const CheckedImageFile& checked, SampleRange range,
                     ToolImage& image, Messages& messages) {
    std::uint32_t tileWidth = 0, tileLength = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileLength);
    const tmsize_t tileBytes = TIFFTileSize(tiff);
    if (tileWidth == 0 || tileLength == 0 || tileBytes <= 0) return Damaged(path, "its tile size is invalid");
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(tileBytes));
    RowGrowth rows(image, ExpectedDecodedBytes(checked));
    const std::size_t rowBytes = image.RowBytes();
    const std::size_t pixelBytes = rowBytes / checked.width;
    for (std::uint32_t top = 0; top < checked.height; top += tileLength) {
        const std::uint32_t count = std::min(tileLength, checked.height - top);
        std::uint8_t* band = rows.Rows(static_cast<std::int32_t>(top), static_cast<std::int32_t>(count));
        if (band == nullptr) return ToolStatus::Failure("out of memory reading " + path);
        for (std::uint32_t left = 0; left < checked.width; left += tileWidth) {
            if (TIFFReadEncodedTile(tiff, TIFFComputeTile(tiff, left, top, 0, 0), tile.data(), tileBytes) != tileBytes)
                return Damaged(path, messages.text[0] != '\0' ? messages.text : "a tile is short");
            const std::size_t columns = std::min(tileWidth, checked.width - left);
            for (std::uint32_t y = 0; y < count; ++y)
                std::memcpy(band + y * rowBytes + left * pixelBytes, tile.data() + y * tileWidth * pixelBytes,
                            columns * pixelBytes);
        }
        FinishRows(band, static_cast<std::size_t>(checked.width) * count, checked, range);
    }
    return ToolStatus::Success();
}

}  // namespace

ToolStatus DecodeTiff(std::FILE* file, const std::string& path, const CheckedImageFile& checked, SampleRange range,
                      ToolImage& image) {
    const auto width = static_cast<std::int32_t>(checked.width), height = static_cast<std::int32_t>(checked.height);
    if (ToolStatus s = CheckImageGeometry(width, height, checked.channels, checked.bitDepth, path); !s.ok()) return s;
    if (!SeekFile(file, 0, SEEK_SET)) return ToolStatus::Failure("cannot read " + path + ": " + std::strerror(errno));
    Messages messages;
    TiffOptions options(&messages);
    TiffStream stream{file, &checked.decoderDirectory};
    TiffHandle tiff(TIFFClientOpenExt(path.c_str(), "rm", &stream, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                                      UnmapProc, options.get()));
    if (tiff == nullptr) return Damaged(path, messages.text[0] != '\0' ? messages.text : "libtiff cannot open it");
    std::uint32_t fileWidth = 0, fileHeight = 0;
    std::uint16_t samples = 0, bits = 0;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &fileWidth);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &fileHeight);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    if (fileWidth != checked.width || fileHeight != checked.height || samples != checked.channels || bits != checked.bitDepth)
        return ToolStatus::Failure(path + " changed while it was read");
    image = EmptyToolImage(width, height, checked.channels, checked.bitDepth);
    return TIFFIsTiled(tiff.get()) ? ReadTiles(tiff.get(), path, checked, range, image, messages)
                                   : ReadStrips(tiff.get(), path, checked, range, image, messages);
}

ToolStatus EncodeTiff(std::FILE* file, const ToolImage& image, const std::string& name) {
    Messages messages;
    TiffOptions options(&messages);
    TiffStream stream{file, nullptr};
    TiffHandle tiff(TIFFClientOpenExt(name.c_str(), "w", &stream, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                                      MapProc, UnmapProc, options.get()));
    if (tiff == nullptr) return ToolStatus::Failure("cannot write " + name + ": " + messages.text);
    const int channels = image.channels;
    const auto bits = static_cast<std::uint16_t>(image.BytesPerSample() * 8);
    const std::size_t rowBytes = image.RowBytes();
    const auto rowsPerStrip = static_cast<std::uint32_t>(std::max<std::size_t>(1, kStripBytes / rowBytes));
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(channels));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, channels <= 2 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(t, TIFFTAG_ZIPQUALITY, kDeflateLevel);
    TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (channels == 2 || channels == 4) {
        const std::uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    // libtiff's differencing changes the row it is given, so each row goes through a copy.
    std::vector<std::uint8_t> row(rowBytes);
    const std::size_t perRow = rowBytes / static_cast<std::size_t>(image.BytesPerSample());
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* source = image.samples.data() + rowBytes * static_cast<std::size_t>(y);
        if (bits == 16)
            FileFromHost16Row(source, reinterpret_cast<std::uint16_t*>(row.data()), perRow);
        else
            std::memcpy(row.data(), source, rowBytes);
        if (TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) < 0)
            return ToolStatus::Failure("cannot write " + name + ": " + (messages.text[0] != '\0' ? messages.text : std::strerror(errno)));
    }
    if (!TIFFWriteDirectory(t) || std::ferror(file))
        return ToolStatus::Failure("cannot write " + name + ": " + (messages.text[0] != '\0' ? messages.text : std::strerror(errno)));
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
