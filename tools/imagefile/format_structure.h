// The per-format walks of the image file check (image_file_check.h), each for a file whose signature
// has been recognised, positioned just after it. `path` names the file in messages.
#pragma once

#include <cstdio>
#include <string>

#include "tools/imagefile/image_file_check.h"

namespace aperlume::tool {

// JPEG: the markers from the start of image to its end: every segment whole and inside the file, one
// frame header of a kind the tool decodes (baseline, extended or progressive Huffman, 8-bit, gray or
// colour) before the first scan, entropy-coded data after each scan, and the end marker. Bytes after it
// are ignored, as every decoder does.
ToolStatus CheckJpegStructure(std::FILE* file, const std::string& path, const ImageLimits& limits,
                              CheckedImageFile& checked);

// TIFF (the first image of the file): the header and the directory inside the file, the tags a reader
// needs present and sane, every strip or tile inside the file, and samples of a kind the tool takes:
// 8 or 16-bit unsigned integers, gray or RGB, with or without alpha, stored interleaved, compressed by
// none, LZW, deflate or PackBits.
ToolStatus CheckTiffStructure(std::FILE* file, const std::string& path, const ImageLimits& limits,
                              CheckedImageFile& checked);

}  // namespace aperlume::tool
