// The native codecs: libpng, libjpeg and libtiff, one file each; here the choice between them.
#include "tools/imagefile/native_codecs.h"

namespace aperlume::tool {

ToolStatus DecodeImage(std::FILE* file, const std::string& path, const CheckedImageFile& checked, SampleRange range,
                       ToolImage& image) {
    switch (checked.format) {
        case ImageFormat::Png: return DecodePng(file, path, checked, range, image);
        case ImageFormat::Jpeg: return DecodeJpeg(file, path, checked, image);
        case ImageFormat::Tiff: return DecodeTiff(file, path, checked, range, image);
    }
    return ToolStatus::Failure(path + ": unknown format");
}

ToolStatus EncodeImage(std::FILE* file, ImageFormat format, const ToolImage& image,
                       const std::vector<MetadataPiece>& pieces, const EncodeSettings& settings, const std::string& name) {
    switch (format) {
        case ImageFormat::Png: return EncodePng(file, image, pieces, name);
        case ImageFormat::Jpeg: return EncodeJpeg(file, image, pieces, settings.jpegQuality, name);
        case ImageFormat::Tiff: return EncodeTiff(file, image, name);
    }
    return ToolStatus::Failure("cannot write " + name + ": unknown format");
}

const char* EncoderLimits() { return ""; }

std::size_t ExpectedDecodedBytes(const CheckedImageFile& checked) {
    // Photographs compress about 2:1 as PNG or TIFF and 10:1 as JPEG; twice that covers most.
    const std::uint64_t ratio = checked.format == ImageFormat::Jpeg ? 20 : 4;
    const std::uint64_t expected = checked.dataBytes * ratio;
    return expected > SIZE_MAX / 2 ? SIZE_MAX / 2 : static_cast<std::size_t>(expected);
}

}  // namespace aperlume::tool
