// Reading and writing image files: the check, the platform's codec, and the metadata around them.
#include "tools/imagefile/image_file.h"

#include "tools/imagefile/output_file.h"

namespace aperlume::tool {
namespace {

BetweenCheckAndDecode betweenCheckAndDecode = nullptr;

std::string LowerExtension(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot);
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension;
}

// The format `path` names, when an image of `channels` channels can be written in it.
ToolStatus FormatForWriting(const std::string& path, std::int32_t channels, ImageFormat& format) {
    if (ToolStatus s = OutputFormatOf(path, format); !s.ok()) return s;
    if (format == ImageFormat::Jpeg && (channels == 2 || channels == 4))
        return ToolStatus::Failure("cannot write " + path + ": JPEG has no alpha; write the image with alpha as PNG or TIFF");
    return ToolStatus::Success();
}

}  // namespace

void SetBetweenCheckAndDecode(BetweenCheckAndDecode hook) { betweenCheckAndDecode = hook; }

ToolStatus ReadImage(const std::string& path, ToolImage& image, ImageMetadata* metadata, const ReadOptions& options) {
    // One open for the check and the decoding: on Windows the check is the only integrity check, so the
    // decoder must see no other bytes than it did.
    CheckedImageFile checked;
    OpenedFile file;
    const ImageLimits limits{static_cast<std::uint32_t>(kMaxImageSide), options.maxPixels};
    if (ToolStatus s = CheckImageFile(path, limits, checked, &file); !s.ok())
        return s;
    if (betweenCheckAndDecode != nullptr) betweenCheckAndDecode(path);
    if (ToolStatus s = DecodeImage(file.get(), path, checked, options.range, image); !s.ok()) {
        image = ToolImage();
        return s;
    }
    if (metadata != nullptr) *metadata = std::move(checked.metadata);
    return ToolStatus::Success();
}

ToolStatus OutputFormatOf(const std::string& path, ImageFormat& format) {
    const std::string extension = LowerExtension(path);
    if (extension == ".png") {
        format = ImageFormat::Png;
    } else if (extension == ".jpg" || extension == ".jpeg") {
        format = ImageFormat::Jpeg;
    } else if (extension == ".tif" || extension == ".tiff") {
        format = ImageFormat::Tiff;
    } else {
        return ToolStatus::Failure("'" + path + "': the output's extension names its format: .png, .jpg, .jpeg, .tif or .tiff");
    }
    return ToolStatus::Success();
}

ToolStatus CheckOutputFormat(const std::string& path, std::int32_t channels) {
    ImageFormat format = ImageFormat::Png;
    return FormatForWriting(path, channels, format);
}

ToolStatus WriteImage(const std::string& path, const ToolImage& image, const ImageMetadata& metadata,
                      const EncodeSettings& settings, std::vector<std::string>* dropped) {
    if (ToolStatus s = CheckImageGeometry(image.width, image.height, image.channels, image.bitDepth, path);
        !s.ok())
        return s;
    if (image.samples.size() != image.RowBytes() * static_cast<std::size_t>(image.height))
        return ToolStatus::Failure("cannot write " + path + ": the image has no samples");
    ImageFormat format = ImageFormat::Png;
    if (ToolStatus s = FormatForWriting(path, image.channels, format); !s.ok()) return s;
    std::vector<std::string> lost;
    std::vector<MetadataPiece> pieces;
    if (format == ImageFormat::Png) pieces = PngMetadataChunks(metadata);
    if (format == ImageFormat::Jpeg) pieces = JpegMetadataSegments(metadata, lost);
    ToolStatus status = WriteFileAtomically(path, [&](std::FILE* file) {
        if (ToolStatus s = EncodeImage(file, format, image, pieces, settings, path); !s.ok()) return s;
        if (format == ImageFormat::Tiff && !metadata.Empty()) return AddTiffMetadata(file, metadata, path);
        return ToolStatus::Success();
    });
    if (dropped != nullptr) *dropped = std::move(lost);
    return status;
}

}  // namespace aperlume::tool
