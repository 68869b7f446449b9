// The image file check: the file's format from its first bytes, then that format's own walk.
#include "tools/imagefile/image_file_check.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>

#include "tools/imagefile/file_open.h"
#include "tools/imagefile/file_position.h"
#include "tools/imagefile/format_structure.h"
#include "tools/imagefile/png_structure.h"
#include "tools/imagefile/tool_image.h"

namespace aperlume::tool {
namespace {

constexpr unsigned char kJpegStart[3] = {0xff, 0xd8, 0xff};
constexpr unsigned char kTiffLittle[4] = {'I', 'I', 42, 0};
constexpr unsigned char kTiffBig[4] = {'M', 'M', 0, 42};

// Megapixels with one decimal, rounded up: an image over the limit never reads as the limit itself.
std::string Megapixels(std::uint64_t pixels) {
    const std::uint64_t tenths = (pixels + 99999u) / 100000u;
    return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "");
}

ToolStatus CheckOpenFile(std::FILE* file, const std::string& path, const ImageLimits& limits,
                         CheckedImageFile& checked) {
    unsigned char signature[sizeof kPngSignature] = {};
    const std::size_t got = std::fread(signature, 1, sizeof signature, file);
    checked = CheckedImageFile{};
    const auto starts = [&](std::initializer_list<unsigned char> magic) {
        return got >= magic.size() && std::equal(magic.begin(), magic.end(), signature);
    };
    if (starts({0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'})) return CheckPngStructure(file, path, limits, checked);
    if (starts({0xff, 0xd8, 0xff})) {
        if (!SeekFile(file, 2, SEEK_SET)) return ToolStatus::Failure("cannot read " + path);
        return CheckJpegStructure(file, path, limits, checked);
    }
    if (starts({'I', 'I'}) || starts({'M', 'M'})) return CheckTiffStructure(file, path, limits, checked);
    // The start of a signature and no more: a file cut short rather than a file of another kind.
    const auto cutShort = [&](const unsigned char* magic, std::size_t size) {
        return got > 0 && got < size && std::memcmp(signature, magic, got) == 0;
    };
    if (cutShort(kPngSignature, sizeof kPngSignature) || cutShort(kJpegStart, sizeof kJpegStart) ||
        cutShort(kTiffLittle, sizeof kTiffLittle) || cutShort(kTiffBig, sizeof kTiffBig))
        return Damaged(path, "it is cut short");
    return ToolStatus::Failure(path + " is not a PNG, JPEG or TIFF file");
}

}  // namespace

ToolStatus CheckImageSize(std::uint32_t width, std::uint32_t height, const ImageLimits& limits,
                          const std::string& path) {
    if (limits.maxSide != 0 && (width > limits.maxSide || height > limits.maxSide))
        return ToolStatus::Failure(path + ": the image is " + SizeText(width, height) + "; the filter takes at most " +
                                   std::to_string(limits.maxSide) + " pixels a side");
    const std::uint64_t pixels = std::uint64_t{width} * height;
    if (limits.maxPixels != 0 && pixels > limits.maxPixels)
        return ToolStatus::Failure(path + ": the image is " + SizeText(width, height) + " (" + Megapixels(pixels) +
                                   " megapixels), over the limit of " + Megapixels(limits.maxPixels) +
                                   " megapixels; --max-megapixels raises it");
    return ToolStatus::Success();
}

ToolStatus CheckImageFile(const std::string& path, const ImageLimits& limits, CheckedImageFile& checked,
                          OpenedFile* opened) {
    OpenedFile file = OpenFile(path, "rb");
    if (file == nullptr) return ToolStatus::Failure("cannot open " + path + ": " + std::strerror(errno));
    ToolStatus status = CheckOpenFile(file.get(), path, limits, checked);
    if (status.ok() && opened != nullptr) *opened = std::move(file);
    return status;
}

}  // namespace aperlume::tool
