// The native decoders and encoders behind image_codec.h, one file per library.
#pragma once

#include "tools/imagefile/image_codec.h"

namespace aperlume::tool {

// Each decoder reads the file open in `file` from its start.
ToolStatus DecodePng(std::FILE* file, const std::string& path, const CheckedImageFile& checked, SampleRange range,
                     ToolImage& image);
ToolStatus DecodeJpeg(std::FILE* file, const std::string& path, const CheckedImageFile& checked, ToolImage& image);
ToolStatus DecodeTiff(std::FILE* file, const std::string& path, const CheckedImageFile& checked, SampleRange range,
                      ToolImage& image);

ToolStatus EncodePng(std::FILE* file, const ToolImage& image, const std::vector<MetadataPiece>& pieces,
                     const std::string& name);
ToolStatus EncodeJpeg(std::FILE* file, const ToolImage& image, const std::vector<MetadataPiece>& pieces, int quality,
                      const std::string& name);
ToolStatus EncodeTiff(std::FILE* file, const ToolImage& image, const std::string& name);

// What the decoded image of a checked file will likely take, from its compressed size: the
// first reservation of RowGrowth, which an honest photograph fills without growing.
std::size_t ExpectedDecodedBytes(const CheckedImageFile& checked);

}  // namespace aperlume::tool
