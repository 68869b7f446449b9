// PNG files through libpng. libpng reports errors by longjmp, so every function that calls into it
// holds only plain locals between its setjmp and the calls: buffers are made before, and the message
// is kept in a fixed array until the C++ side turns it into text.
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

struct ReadHeader {
    png_uint_32 width;
    png_uint_32 height;
    int channels;
    int bitDepth;
    std::size_t rowBytes;
};

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
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    header->channels = png_get_channels(png, info);
    header->bitDepth = png_get_bit_depth(png, info);
    header->rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool ReadPngRows(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

bool WritePngRows(png_structp png, png_infop info, std::FILE* file, const ReadHeader* header, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    static constexpr int kColorTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                          PNG_COLOR_TYPE_RGB_ALPHA};
    png_init_io(png, file);
    png_set_IHDR(png, info, header->width, header->height, header->bitDepth, kColorTypes[header->channels - 1],
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

std::string SystemError(const std::string& what, const std::string& path) {
    return "cannot " + what + " " + path + ": " + std::strerror(errno);
}

class File {
public:
    File(const std::string& path, const char* mode) : file_(std::fopen(path.c_str(), mode)) {}
    ~File() {
        if (file_ != nullptr) std::fclose(file_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    std::FILE* get() const { return file_; }
    // Closes now and reports whether everything written reached the file.
    bool Close() {
        const int result = std::fclose(file_);
        file_ = nullptr;
        return result == 0;
    }

private:
    std::FILE* file_;
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

std::vector<png_bytep> RowPointers(std::vector<png_byte>& bytes, std::size_t rowBytes, std::size_t height) {
    std::vector<png_bytep> rows(height);
    for (std::size_t r = 0; r < height; ++r) rows[r] = bytes.data() + r * rowBytes;
    return rows;
}

}  // namespace

ToolStatus ReadPng(const std::string& path, RasterImage& image) {
    File file(path, "rb");
    if (file.get() == nullptr) return ToolStatus::Failure(SystemError("open", path));
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
    if (header.width > static_cast<png_uint_32>(kMaxImageSide) || header.height > static_cast<png_uint_32>(kMaxImageSide))
        return ToolStatus::Failure(path + ": the image is " + std::to_string(header.width) + "x" +
                                   std::to_string(header.height) + "; the filter takes at most " +
                                   std::to_string(kMaxImageSide) + " pixels a side");
    const auto width = static_cast<std::int32_t>(header.width);
    const auto height = static_cast<std::int32_t>(header.height);
    if (ToolStatus s = CheckRasterGeometry(width, height, header.channels, header.bitDepth, path); !s.ok()) return s;

    std::vector<png_byte> bytes(header.rowBytes * header.height);
    std::vector<png_bytep> rows = RowPointers(bytes, header.rowBytes, header.height);
    if (!ReadPngRows(png, info, rows.data()))
        return ToolStatus::Failure(path + " is damaged (" + sink.message + ")");

    image.width = width;
    image.height = height;
    image.channels = header.channels;
    image.bitDepth = header.bitDepth;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                              static_cast<std::size_t>(header.channels);
    image.samples.resize(count);
    for (std::size_t r = 0, i = 0; r < header.height; ++r) {
        const png_byte* row = rows[r];
        const std::size_t perRow = static_cast<std::size_t>(width) * static_cast<std::size_t>(header.channels);
        for (std::size_t k = 0; k < perRow; ++k, ++i)
            image.samples[i] = header.bitDepth == 16 ? static_cast<std::uint16_t>((row[2 * k] << 8) | row[2 * k + 1])
                                                     : row[k];
    }
    return ToolStatus::Success();
}

ToolStatus WritePng(const std::string& path, const RasterImage& image) {
    if (ToolStatus s = CheckRasterGeometry(image.width, image.height, image.channels, image.bitDepth, path); !s.ok())
        return s;
    const std::size_t perRow = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.channels);
    const std::size_t bytesPer = image.bitDepth == 16 ? 2 : 1;
    const std::size_t rowBytes = perRow * bytesPer;
    const auto height = static_cast<std::size_t>(image.height);
    std::vector<png_byte> bytes(rowBytes * height);
    for (std::size_t i = 0; i < perRow * height; ++i) {
        const std::uint16_t v = image.samples[i];
        if (bytesPer == 2) {
            bytes[2 * i] = static_cast<png_byte>(v >> 8);  // PNG keeps 16-bit samples big-endian
            bytes[2 * i + 1] = static_cast<png_byte>(v & 0xff);
        } else {
            bytes[i] = static_cast<png_byte>(v);
        }
    }
    std::vector<png_bytep> rows = RowPointers(bytes, rowBytes, height);

    File file(path, "wb");
    if (file.get() == nullptr) return ToolStatus::Failure(SystemError("create", path));
    ErrorSink sink{};
    PngSession session(PngSession::Writing, &sink);
    png_structp png = session.png();
    png_infop info = session.info();
    if (png == nullptr || info == nullptr) return ToolStatus::Failure("out of memory writing " + path);

    const ReadHeader header{static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
                            image.channels, image.bitDepth, rowBytes};
    if (!WritePngRows(png, info, file.get(), &header, rows.data()))
        return ToolStatus::Failure("cannot write " + path + " (" + sink.message + ")");
    if (!file.Close()) return ToolStatus::Failure(SystemError("write", path));
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
