// Seam: the platform's decoders and encoders of PNG, JPEG and TIFF files. Natively libpng, libjpeg
// (libjpeg-turbo) and libtiff; on Windows the Windows Imaging Component. Every file reaching a decoder
// has passed the integrity check, whose findings (CheckedImageFile) the decoder receives; metadata is
// the portable code's (image_metadata.h): a decoder reads pixels only, and an encoder writes the
// metadata pieces it is given.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/imagefile/image_file_check.h"
#include "tools/imagefile/image_metadata.h"
#include "tools/imagefile/tool_image.h"
#include "tools/imagefile/tool_status.h"

namespace aperlume::tool {

// Decodes the checked file, open in `file` (the handle the check read; the decoder goes back to its
// start) and named `path` in messages, into `image`: checked.channels channels of 8 or 16 bits (a JPEG
// is 8-bit), the first image of a TIFF file, associated alpha turned into straight alpha. Memory grows
// with the rows decoded (RowGrowth).
ToolStatus DecodeImage(std::FILE* file, const std::string& path, const CheckedImageFile& checked, SampleRange range,
                       ToolImage& image);

struct EncodeSettings {
    int jpegQuality = 95;  // 1..100; 4:4:4 chroma from 90 up, 4:2:0 below
};

// Encodes `image` as `format` into `file` (open for reading and writing, empty; not closed), with the
// metadata `pieces` (PNG chunks or JPEG segments; none for TIFF, whose metadata is added afterwards).
// PNG and TIFF keep the image's channels and bit depth; JPEG takes gray or RGB and writes 8 bits.
ToolStatus EncodeImage(std::FILE* file, ImageFormat format, const ToolImage& image,
                       const std::vector<MetadataPiece>& pieces, const EncodeSettings& settings, const std::string& name);

// What the platform's encoders cannot keep, for --help: "" natively.
const char* EncoderLimits();

}  // namespace aperlume::tool
