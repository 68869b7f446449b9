// PNG files through libpng. libpng reports errors by longjmp, so every function that calls into it
// holds only plain locals between its setjmp and the calls: buffers are made before, and the message
// is kept in a fixed array until the C++ side turns it into text.
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "tools/aperlume/png_io.h"

namespace aperlume::tool {
namespace {

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

using RowBuffers = std::vector<std::unique_ptr<png_byte[]>>;

// Reads the header and sets up the expansions: palette to RGB, transparency chunks to alpha, gray of
// 1, 2 or 4 bits to 8. Returns false on a libpng error.
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
    header->passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    header->channels = png_get_channels(png, info);
    header->bitDepth = png_get_bit_depth(png, info);
    header->rowBytes = png_get_rowbytes(png, info);
    return true;
}

// Decodes every row, pass by pass for an interlaced file, allocating a row the first time a pass
// writes into it: memory follows the data actually decoded, so a header that claims far more rows than
// the data holds fails at the end of the data, not after zero-filling the claimed size. Returns false on
// a libpng error, or with `outOfMemory` set when a row cannot be had.
bool ReadPngRows(png_structp png, png_infop info, int passes, std::size_t rowBytes, RowBuffers* rows,
                 bool* outOfMemory) {
    if (setjmp(png_jmpbuf(png))) return false;
    const std::size_t height = rows->size();
    for (int pass = 0; pass < passes; ++pass)
        for (std::size_t y = 0; y < height; ++y) {
            png_bytep row = nullptr;  // rows outside this pass are skipped by libpng and need no memory
            if (passes == 1 || PNG_ROW_IN_INTERLACE_PASS(y, pass)) {
                if ((*rows)[y] == nullptr) {
                    (*rows)[y].reset(new (std::nothrow) png_byte[rowBytes]());
                    if ((*rows)[y] == nullptr) {
                        *outOfMemory = true;
                        return false;
                    }
                }
                row = (*rows)[y].get();
            }
            png_read_row(png, row, nullptr);
        }
    png_read_end(png, info);
    return true;
}

// Writes the header and then the image one row at a time through `row` (room for one row's bytes).
bool WritePngRows(png_structp png, png_infop info, std::FILE* file, const RasterImage* image, png_bytep row) {
    if (setjmp(png_jmpbuf(png))) return false;
    static constexpr int kColorTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                          PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_write_fn(png, file, WritePngData, FlushPngData);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image->width), static_cast<png_uint_32>(image->height),
                 image->bitDepth, kColorTypes[image->channels - 1], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const std::size_t perRow = static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->channels);
    const std::uint16_t* samples = image->samples.data();
    for (std::int32_t y = 0; y < image->height; ++y, samples += perRow) {
        if (image->bitDepth == 16) {
            for (std::size_t k = 0; k < perRow; ++k) {
                row[2 * k] = static_cast<png_byte>(samples[k] >> 8);  // PNG keeps 16-bit samples big-endian
                row[2 * k + 1] = static_cast<png_byte>(samples[k] & 0xff);
            }
        } else {
            for (std::size_t k = 0; k < perRow; ++k) row[k] = static_cast<png_byte>(samples[k]);
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

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

ToolStatus ReadPng(const std::string& path, RasterImage& image, std::uint64_t maxPixels) {
    ImageFileFacts facts;
    if (ToolStatus s = CheckImageFile(path, {static_cast<std::uint32_t>(kMaxImageSide), maxPixels}, facts); !s.ok())
        return s;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr) return ToolStatus::Failure("cannot open " + path + ": " + std::strerror(errno));
    png_byte signature[8] = {};
    if (std::fread(signature, 1, sizeof signature, file.get()) != sizeof signature ||
        png_sig_cmp(signature, 0, sizeof signature) != 0)
        return ToolStatus::Failure(path + " is not a PNG file");

    ErrorSink sink{};
    PngSession session(PngSession::Reading, &sink);
    png_structp png = session.png();
    png_infop info = session.info();
    if (png == nullptr || info == nullptr) return ToolStatus::Failure("out of memory reading " + path);

    ReadHeader header{};
    if (!ReadPngHeader(png, info, file.get(), &header))
        return ToolStatus::Failure(path + " is damaged or unsupported (" + sink.message + ")");
    // The check read the same header; a file that changed since is not read on stale facts.
    if (header.width != facts.width || header.height != facts.height || header.channels != facts.channels)
        return ToolStatus::Failure(path + " changed while it was read");
    const auto width = static_cast<std::int32_t>(header.width);
    const auto height = static_cast<std::int32_t>(header.height);
    if (ToolStatus s = CheckRasterGeometry(width, height, header.channels, header.bitDepth, path); !s.ok()) return s;

    RowBuffers rows(header.height);
    bool outOfMemory = false;
    if (!ReadPngRows(png, info, header.passes, header.rowBytes, &rows, &outOfMemory))
        return ToolStatus::Failure(outOfMemory ? "out of memory reading " + path
                                               : path + " is damaged (" + sink.message + ")");

    image.width = width;
    image.height = height;
    image.channels = header.channels;
    image.bitDepth = header.bitDepth;
    const std::size_t perRow = static_cast<std::size_t>(width) * static_cast<std::size_t>(header.channels);
    image.samples.resize(perRow * header.height);
    std::uint16_t* out = image.samples.data();
    for (std::unique_ptr<png_byte[]>& row : rows) {
        const png_byte* in = row.get();
        if (header.bitDepth == 16) {
            for (std::size_t k = 0; k < perRow; ++k) out[k] = static_cast<std::uint16_t>((in[2 * k] << 8) | in[2 * k + 1]);
        } else {
            for (std::size_t k = 0; k < perRow; ++k) out[k] = in[k];
        }
        out += perRow;
        row.reset();  // the decoded bytes leave as the samples arrive
    }
    return ToolStatus::Success();
}

ToolStatus EncodePng(std::FILE* file, const RasterImage& image, const std::string& name) {
    if (ToolStatus s = CheckRasterGeometry(image.width, image.height, image.channels, image.bitDepth, name); !s.ok())
        return s;
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.channels) *
                                 (image.bitDepth == 16 ? 2u : 1u);
    std::vector<png_byte> row(rowBytes);
    ErrorSink sink{};
    PngSession session(PngSession::Writing, &sink);
    png_structp png = session.png();
    png_infop info = session.info();
    if (png == nullptr || info == nullptr) return ToolStatus::Failure("out of memory writing " + name);
    if (!WritePngRows(png, info, file, &image, row.data()))
        return ToolStatus::Failure("cannot write " + name + ": " + sink.message);
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
