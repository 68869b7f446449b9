// Writing a PNG file: the geometry checked, then the platform's encoder into a safe replacement.
#include "tools/aperlume/output_file.h"
#include "tools/aperlume/png_io.h"

namespace aperlume::tool {

ToolStatus WritePng(const std::string& path, const RasterImage& image) {
    if (ToolStatus s = CheckRasterGeometry(image.width, image.height, image.channels, image.bitDepth, path); !s.ok())
        return s;
    return WriteFileAtomically(path, [&](std::FILE* file) { return EncodePng(file, image, path); });
}

}  // namespace aperlume::tool
