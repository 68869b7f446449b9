// The native decoders and encoders behind image_codec.h, one file per library.
#pragma once

#include "tools/aperlume/image_codec.h"

namespace aperlume::tool {

ToolStatus DecodePng(const std::string& path, const ImageFileFacts& facts, SampleRange range, ToolImage& image);
ToolStatus DecodeJpeg(const std::string& path, const ImageFileFacts& facts, ToolImage& image);
ToolStatus DecodeTiff(const std::string& path, const ImageFileFacts& facts, SampleRange range, ToolImage& image);

ToolStatus EncodePng(std::FILE* file, const ToolImage& image, const std::vector<FilePiece>& pieces,
                     const std::string& name);
ToolStatus EncodeJpeg(std::FILE* file, const ToolImage& image, const std::vector<FilePiece>& pieces, int quality,
                      const std::string& name);
ToolStatus EncodeTiff(std::FILE* file, const ToolImage& image, const std::string& name);

// What the decoded image of a file with these facts will likely take, from its compressed size: the
// first reservation of RowGrowth, which an honest photograph fills without growing.
std::size_t ExpectedDecodedBytes(const ImageFileFacts& facts);

}  // namespace aperlume::tool
