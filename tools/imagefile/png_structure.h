// The PNG part of the image file check (image_file_check.h): the chunk walk of a file whose signature
// has been read.
#pragma once

#include <cstdio>
#include <string>

#include "tools/imagefile/image_file_check.h"

namespace aperlume::tool {

// The eight bytes every PNG file starts with.
inline constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

// Walks the chunks of `file`, positioned just after the signature, up to IEND: every chunk whole and
// with a good checksum, IHDR first and sane, a palette where one is needed, the image data in one run
// and enough of it for the header's size, IEND last. Bytes after IEND are ignored, as every decoder
// does. `path` names the file in messages.
ToolStatus CheckPngStructure(std::FILE* file, const std::string& path, const ImageLimits& limits,
                             CheckedImageFile& checked);

// The CRC-32 of PNG chunks (and zlib), continued from `crc` (0 to start).
std::uint32_t PngCrc(std::uint32_t crc, const unsigned char* bytes, std::size_t count);

}  // namespace aperlume::tool
