// The TIFF walk of the image file check: the first directory, its tags, and the strips or tiles it
// points to. Only the directory and the values the check and the metadata need are read; the image data
// is located, not read.
#include <algorithm>
#include <utility>

#include "tools/imagefile/format_structure.h"
#include "tools/imagefile/tiff_directory.h"
#include "tools/imagefile/tool_image.h"

namespace aperlume::tool {
namespace {

// How many times its compressed size a strip can hold at most, by compression: none; PackBits (a two-
// byte run makes 128 bytes); LZW (a 12-bit code makes at most 4096 bytes); deflate (1032, see PNG).
std::uint64_t MaxRatio(std::uint32_t compression) {
    switch (compression) {
        case 1: return 1;
        case 32773: return 64;
        case 5: return 2731;
        default: return 1032;
    }
}

// The tags the check reads and the decoders need (libtiff reverses the bits of every byte after
// FillOrder 2); with the metadata's, all that is kept of the first directory.
bool IsStructureTag(std::uint16_t tag) {
    switch (tag) {
        case tiff::kImageWidth: case tiff::kImageLength: case tiff::kBitsPerSample: case tiff::kCompression:
        case tiff::kPhotometric: case tiff::kFillOrder: case tiff::kStripOffsets: case tiff::kSamplesPerPixel:
        case tiff::kRowsPerStrip: case tiff::kStripByteCounts: case tiff::kPlanarConfiguration: case tiff::kPredictor:
        case tiff::kTileWidth: case tiff::kTileLength: case tiff::kTileOffsets: case tiff::kTileByteCounts:
        case tiff::kExtraSamples: case tiff::kSampleFormat:
            return true;
        default:
            return false;
    }
}

bool IsKeptTag(std::uint16_t tag) { return IsStructureTag(tag) || IsTiffMetadataTag(tag); }

bool KnownCompression(std::uint32_t compression) {
    return compression == 1 || compression == 5 || compression == 8 || compression == 32946 || compression == 32773;
}

std::string PhotometricName(std::uint32_t photometric) {
    switch (photometric) {
        case 0: return "a white-is-zero gray image";
        case 3: return "a palette image";
        case 4: return "a transparency mask";
        case 5: return "a CMYK image";
        case 6: return "a YCbCr image";
        case 8: case 9: case 10: return "a Lab image";
        default: return "an image of photometric interpretation " + std::to_string(photometric);
    }
}

}  // namespace

ToolStatus CheckTiffStructure(std::FILE* file, const std::string& path, const ImageLimits& limits,
                              CheckedImageFile& checked) {
    FileByteSource source(file);
    std::uint8_t head[8] = {};
    if (!source.ReadAt(0, head, 8)) return Damaged(path, "it is cut short");
    if (head[2] == 43 || head[3] == 43) return Unsupported(path, "is a BigTIFF file, which the tool cannot read");
    tiff::Header header;
    if (!tiff::ReadHeader(source, header)) return Damaged(path, "its header is invalid");
    // One read of the first directory, for the check and the metadata: an EXIF or GPS directory that is
    // damaged costs only itself.
    tiff::Directory directory;
    std::string why;
    if (!tiff::ReadDirectory(source, header.bigEndian, header.firstDirectory, {IsKeptTag, true}, directory, why))
        return Damaged(path, why);
    const auto number = [&](std::uint16_t tag, std::uint32_t fallback) {
        const tiff::Entry* entry = directory.Find(tag);
        return entry != nullptr && entry->count > 0 ? entry->Number() : fallback;
    };
    const tiff::Entry* widthEntry = directory.Find(tiff::kImageWidth);
    const tiff::Entry* heightEntry = directory.Find(tiff::kImageLength);
    if (widthEntry == nullptr || heightEntry == nullptr) return Damaged(path, "its image size is missing");
    const std::uint32_t width = widthEntry->Number(), height = heightEntry->Number();
    if (width == 0 || height == 0) return Damaged(path, "its image size is invalid");
    if (ToolStatus s = CheckImageSize(width, height, limits, path); !s.ok()) return s;

    const std::uint32_t samples = number(tiff::kSamplesPerPixel, 1);
    const std::uint32_t format = number(tiff::kSampleFormat, 1);
    const tiff::Entry* bitsEntry = directory.Find(tiff::kBitsPerSample);
    const std::uint32_t bits = bitsEntry != nullptr ? bitsEntry->Number() : 1;
    if (bitsEntry != nullptr)
        for (std::uint32_t i = 1; i < bitsEntry->count; ++i)
            if (bitsEntry->Number(i) != bits) return Unsupported(path, "has samples of different sizes, which the tool cannot read");
    if (format == 3) return Unsupported(path, "has " + std::to_string(bits) + "-bit floating-point samples; the tool reads 8- and 16-bit integer samples");
    if (format != 1) return Unsupported(path, "has signed or complex samples; the tool reads 8- and 16-bit unsigned integer samples");
    if (bits != 8 && bits != 16) return Unsupported(path, "has " + std::to_string(bits) + "-bit samples; the tool reads 8- and 16-bit samples");

    const tiff::Entry* photometricEntry = directory.Find(tiff::kPhotometric);
    if (photometricEntry == nullptr) return Damaged(path, "its photometric interpretation is missing");
    const std::uint32_t photometric = photometricEntry->Number();
    if (photometric != 1 && photometric != 2)
        return Unsupported(path, "is " + PhotometricName(photometric) + "; the tool reads gray and RGB images");
    const std::uint32_t base = photometric == 1 ? 1 : 3;
    if (samples < base || samples > base + 1)
        return Unsupported(path, "has " + std::to_string(samples) + " samples per pixel; the tool reads gray or RGB with at most one alpha");
    if (number(tiff::kPlanarConfiguration, 1) != 1)
        return Unsupported(path, "stores its channels in separate planes, which the tool cannot read");
    const std::uint32_t compression = number(tiff::kCompression, 1);
    if (!KnownCompression(compression))
        return Unsupported(path, "uses TIFF compression " + std::to_string(compression) + ", which the tool cannot read");
    const std::uint32_t predictor = number(tiff::kPredictor, 1);
    if (predictor != 1 && predictor != 2) return Unsupported(path, "uses TIFF predictor " + std::to_string(predictor) + ", which the tool cannot read");

    // Where the image data lies: strips of rows, or tiles.
    const bool tiled = directory.Find(tiff::kTileWidth) != nullptr;
    const tiff::Entry* offsets = directory.Find(tiled ? tiff::kTileOffsets : tiff::kStripOffsets);
    const tiff::Entry* counts = directory.Find(tiled ? tiff::kTileByteCounts : tiff::kStripByteCounts);
    if (offsets == nullptr || counts == nullptr) return Damaged(path, "its image data is not located");
    std::uint64_t pieces = 0;
    if (tiled) {
        const std::uint32_t tileWidth = number(tiff::kTileWidth, 0), tileLength = number(tiff::kTileLength, 0);
        if (tileWidth == 0 || tileLength == 0 || tileWidth % 16 != 0 || tileLength % 16 != 0 || tileWidth > 65536 ||
            tileLength > 65536)
            return Damaged(path, "its tile size is invalid");
        pieces = std::uint64_t{(width + tileWidth - 1) / tileWidth} * ((height + tileLength - 1) / tileLength);
    } else {
        std::uint32_t rowsPerStrip = number(tiff::kRowsPerStrip, height);
        if (rowsPerStrip == 0 || rowsPerStrip > height) rowsPerStrip = height;
        pieces = (std::uint64_t{height} + rowsPerStrip - 1) / rowsPerStrip;
    }
    if (offsets->count != pieces || counts->count != pieces)
        return Damaged(path, std::string("its ") + (tiled ? "tile" : "strip") + " table does not match its size");
    std::uint64_t dataBytes = 0;
    for (std::uint64_t i = 0; i < pieces; ++i) {
        const std::uint64_t at = offsets->Number(static_cast<std::size_t>(i));
        const std::uint64_t size = counts->Number(static_cast<std::size_t>(i));
        if (size == 0 || at > source.Size() || size > source.Size() - at)
            return Damaged(path, std::string("a ") + (tiled ? "tile" : "strip") + " lies outside the file");
        dataBytes += size;
    }
    const std::uint64_t rawBytes = std::uint64_t{width} * height * samples * (bits / 8);
    if (dataBytes * MaxRatio(compression) < rawBytes)
        return Damaged(path, "its image data is too short for a " + SizeText(width, height) + " image");

    const tiff::Entry* extra = directory.Find(tiff::kExtraSamples);
    checked.format = ImageFormat::Tiff;
    checked.width = width;
    checked.height = height;
    checked.bitDepth = static_cast<std::int32_t>(bits);
    checked.channels = static_cast<std::int32_t>(samples);
    checked.associatedAlpha = samples > base && extra != nullptr && extra->Number() == 1;
    checked.bigEndian = header.bigEndian;
    checked.dataBytes = dataBytes;
    checked.decoderDirectory = {header.firstDirectory,
                                tiff::WriteTableInPlace(directory, IsStructureTag, header.bigEndian)};
    checked.metadata = TiffMetadata(std::move(directory));
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
