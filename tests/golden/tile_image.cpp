// tile_image SOURCE WIDTH HEIGHT OUTPUT: writes SOURCE repeated side by side and row over row into an
// image of WIDTH x HEIGHT (same channels and bit depth), with the tool's own reader and writer, so that
// a build can make a large test image of real content under the emulator without other programs.
// Exits 0 on success, 2 on wrong arguments or a file that cannot be read or written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/imagefile/image_file.h"
#include "tools/imagefile/image_metadata.h"
#include "tools/imagefile/tool_image.h"

int main(int argc, char** argv) {
    using namespace aperlume::tool;
    const int width = argc == 5 ? std::atoi(argv[2]) : 0;
    const int height = argc == 5 ? std::atoi(argv[3]) : 0;
    if (width < 1 || height < 1) {
        std::fprintf(stderr, "usage: tile_image SOURCE WIDTH HEIGHT OUTPUT\n");
        return 2;
    }
    ToolImage source;
    ToolStatus status = ReadImage(argv[1], source);
    ToolImage tiled;
    if (status.ok()) status = CheckImageGeometry(width, height, source.channels, source.bitDepth, "the output");
    if (status.ok()) {
        tiled = EmptyToolImage(width, height, source.channels, source.bitDepth);
        tiled.samples.resize(tiled.RowBytes() * static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* from =
                source.samples.data() + source.RowBytes() * static_cast<std::size_t>(y % source.height);
            std::uint8_t* to = tiled.samples.data() + tiled.RowBytes() * static_cast<std::size_t>(y);
            for (std::size_t done = 0; done < tiled.RowBytes();) {
                const std::size_t bytes = std::min(source.RowBytes(), tiled.RowBytes() - done);
                std::memcpy(to + done, from, bytes);
                done += bytes;
            }
        }
        status = WriteImage(argv[4], tiled, ImageMetadata{}, EncodeSettings{});
    }
    if (!status.ok()) {
        std::fprintf(stderr, "tile_image: %s\n", status.message.c_str());
        return 2;
    }
    return 0;
}
