// File positions natively: off_t is 64 bits on the platforms the native build serves.
#include "tools/imagefile/file_position.h"

#include <sys/types.h>

namespace aperlume::tool {

static_assert(sizeof(off_t) == 8, "files over 2 GiB need a 64-bit off_t (_FILE_OFFSET_BITS=64)");

bool SeekFile(std::FILE* file, std::int64_t offset, int whence) {
    return fseeko(file, static_cast<off_t>(offset), whence) == 0;
}

std::int64_t FilePosition(std::FILE* file) { return static_cast<std::int64_t>(ftello(file)); }

}  // namespace aperlume::tool
