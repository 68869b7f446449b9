// The image file check: the file's format from its first bytes, then that format's own walk.
#include "tools/aperlume/image_file_check.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/aperlume/png_structure.h"

namespace aperlume::tool {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string SizeText(std::uint32_t width, std::uint32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// Megapixels with one decimal, rounded up: an image over the limit never reads as the limit itself.
std::string Megapixels(std::uint64_t pixels) {
    const std::uint64_t tenths = (pixels + 99999u) / 100000u;
    return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "");
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

ToolStatus CheckImageFile(const std::string& path, const ImageLimits& limits, ImageFileFacts& facts) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr) return ToolStatus::Failure("cannot open " + path + ": " + std::strerror(errno));
    unsigned char signature[sizeof kPngSignature] = {};
    const std::size_t got = std::fread(signature, 1, sizeof signature, file.get());
    if (got == sizeof signature && std::memcmp(signature, kPngSignature, sizeof signature) == 0)
        return CheckPngStructure(file.get(), path, limits, facts);
    return ToolStatus::Failure(path + " is not a PNG file");
}

}  // namespace aperlume::tool
