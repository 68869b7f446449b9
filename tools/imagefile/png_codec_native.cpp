// PNG files through libpng. libpng reports errors by longjmp, so every function that calls into it
// holds only plain locals between its setjmp and the calls: buffers are made before, and the message
// is kept in a fixed array until the C++ side turns it into text.
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "tools/imagefile/file_position.h"
#include "tools/imagefile/native_codecs.h"

namespace aperlume::tool {
namespace {

// zlib level 2 with libpng's choice of filter for each row. Measured on a 12-megapixel photograph-like
// image (bench/image_file_bench.cpp): 0.66 s and 11.9 MB, against 2.7 s and 10.0 MB at libpng's default
// level 6, and 0.85 s and 16.2 MB at level 3 with the Sub filter on every row (a fixed filter costs far
// more size than it saves time). Level 1 is 10% faster again for 4% more bytes.
constexpr int kZlibLevel = 2;
constexpr int kRowFilters = PNG_ALL_FILTERS;

struct ErrorSink {
    char message[256];
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
    auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message != nullptr ? message : "libpng error");
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}  // warnings (odd chunks, sRGB profiles) change nothing

// Writing through our own function keeps the system's reason when the disk refuses (libpng's own says
// only "Write Error").
void WritePngData(png_structp png, png_bytep data, png_size_t length) {
    if (std::fwrite(data, 1, length, static_cast<std::FILE*>(png_get_io_ptr(png))) != length)
        png_error(png, std::strerror(errno));
}

void FlushPngData(png_structp png) {
    if (std::fflush(static_cast<std::FILE*>(png_get_io_ptr(png))) != 0) png_error(png, std::strerror(errno));
}

struct ReadHeader {
    png_uint_32 width;
    png_uint_32 height;
    int channels;
    int bitDepth;
    std::size_t rowBytes;
    int passes;
};

// Reads the header and sets up the expansions: palette to RGB, transparency chunks to alpha, gray of
// 1, 2 or 4 bits to 8, 16-bit samples in the machine's byte order. Returns false on a libpng error.
bool ReadPngHeader(png_structp png, png_infop info, std::FILE* file, ReadHeader* header) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    const int colorType = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (depth == 16) png_set_swap(png);
    header->passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    header->channels = png_get_channels(png, info);
    header->bitDepth = png_get_bit_depth(png, info);
    header->rowBytes = png_get_rowbytes(png, info);
    return true;
}

// Decodes every row straight into the image, pass by pass for an interlaced file (a pass combines its
// pixels into the rows the earlier ones wrote). Returns false on a libpng error, or with `outOfMemory`
// set when a row cannot be had.
bool ReadPngRows(png_structp png, png_infop info, int passes, RowGrowth* rows, png_uint_32 height, bool* outOfMemory) {
    if (setjmp(png_jmpbuf(png))) return false;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) {
            png_bytep row = nullptr;  // rows outside this pass are skipped by libpng and need no memory
            if (passes == 1 || PNG_ROW_IN_INTERLACE_PASS(y, pass)) {
                row = rows->Row(static_cast<std::int32_t>(y));
                if (row == nullptr) {
                    *outOfMemory = true;
                    return false;
                }
            }
            png_read_row(png, row, nullptr);
        }
    png_read_end(png, info);
    return true;
}

// Writes the header, the metadata chunks and then the image one row at a time; 16-bit rows go through
// `scratch` (room for one row's file values).
bool WritePngRows(png_structp png, png_infop info, std::FILE* file, const ToolImage* image,
                  const std::vector<MetadataPiece>* pieces, std::uint16_t* scratch) {
    if (setjmp(png_jmpbuf(png))) return false;
    static constexpr int kColorTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                          PNG_COLOR_TYPE_RGB_ALPHA};
    const int bitDepth = image->BytesPerSample() * 8;
    png_set_write_fn(png, file, WritePngData, FlushPngData);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image->width), static_cast<png_uint_32>(image->height), bitDepth,
                 kColorTypes[image->channels - 1], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, kZlibLevel);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, kRowFilters);
    png_write_info(png, info);
    for (const MetadataPiece& chunk : *pieces)
        png_write_chunk(png, reinterpret_cast<png_const_bytep>(chunk.type.c_str()), chunk.data.data(), chunk.data.size());
    if (bitDepth == 16) png_set_swap(png);
    const std::size_t rowBytes = image->RowBytes();
    const std::size_t perRow = static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->channels);
    for (std::int32_t y = 0; y < image->height; ++y) {
        const std::uint8_t* row = image->samples.data() + rowBytes * static_cast<std::size_t>(y);
        if (bitDepth == 16) {
            FileFromHost16Row(row, scratch, perRow);
            png_write_row(png, reinterpret_cast<png_const_bytep>(scratch));
        } else {
            png_write_row(png, row);
        }
    }
    png_write_end(png, info);
    return true;
}

// The libpng read or write structures with their info, released together.
class PngSession {
public:
    enum Direction { Reading, Writing };
    PngSession(Direction direction, ErrorSink* sink) : direction_(direction) {
        png_ = direction == Reading ? png_create_read_struct(PNG_LIBPNG_VER_STRING, sink, OnPngError, OnPngWarning)
                                    : png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, OnPngError, OnPngWarning);
        if (png_ != nullptr) info_ = png_create_info_struct(png_);
    }
    ~PngSession() {
        if (direction_ == Reading)
            png_destroy_read_struct(&png_, &info_, nullptr);
        else
            png_destroy_write_struct(&png_, &info_);
    }
    PngSession(const PngSession&) = delete;
    PngSession& operator=(const PngSession&) = delete;
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    Direction direction_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

}  // namespace

ToolStatus DecodePng(std::FILE* file, const std::string& path, const CheckedImageFile& checked, SampleRange range,
                     ToolImage& image) {
    png_byte signature[8] = {};
    if (!SeekFile(file, 0, SEEK_SET) || std::fread(signature, 1, sizeof signature, file) != sizeof signature ||
        png_sig_cmp(signature, 0, sizeof signature) != 0)
        return ToolStatus::Failure(path + " changed while it was read");

    ErrorSink sink{};
    PngSession session(PngSession::Reading, &sink);
    png_structp png = session.png();
    png_infop info = session.info();
    if (png == nullptr || info == nullptr) return ToolStatus::Failure("out of memory reading " + path);

    ReadHeader header{};
    if (!ReadPngHeader(png, info, file, &header))
        return ToolStatus::Failure(path + " is damaged or unsupported (" + sink.message + ")");
    // The check read the same header; a file that changed since is not read on stale findings.
    if (header.width != checked.width || header.height != checked.height || header.channels != checked.channels)
        return ToolStatus::Failure(path + " changed while it was read");
    const auto width = static_cast<std::int32_t>(header.width);
    const auto height = static_cast<std::int32_t>(header.height);
    if (ToolStatus s = CheckImageGeometry(width, height, header.channels, header.bitDepth, path); !s.ok()) return s;

    image = EmptyToolImage(width, height, header.channels, header.bitDepth);
    if (header.rowBytes != image.RowBytes()) return ToolStatus::Failure(path + " changed while it was read");
    RowGrowth rows(image, ExpectedDecodedBytes(checked));
    bool outOfMemory = false;
    if (!ReadPngRows(png, info, header.passes, &rows, header.height, &outOfMemory))
        return ToolStatus::Failure(outOfMemory ? "out of memory reading " + path
                                               : path + " is damaged (" + sink.message + ")");
    if (header.bitDepth == 16 && range == SampleRange::Host)
        HostFromFile16Row(reinterpret_cast<std::uint16_t*>(image.samples.data()), image.samples.size() / 2);
    return ToolStatus::Success();
}

ToolStatus EncodePng(std::FILE* file, const ToolImage& image, const std::vector<MetadataPiece>& pieces,
                     const std::string& name) {
    std::vector<std::uint16_t> scratch(image.BytesPerSample() == 2 ? image.RowBytes() / 2 : 0);
    ErrorSink sink{};
    PngSession session(PngSession::Writing, &sink);
    png_structp png = session.png();
    png_infop info = session.info();
    if (png == nullptr || info == nullptr) return ToolStatus::Failure("out of memory writing " + name);
    if (!WritePngRows(png, info, file, &image, &pieces, scratch.data()))
        return ToolStatus::Failure("cannot write " + name + ": " + sink.message);
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
