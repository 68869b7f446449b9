// File positions on Windows, where long (fseek's and ftell's) has 32 bits.
#include "tools/imagefile/file_position.h"

namespace aperlume::tool {

bool SeekFile(std::FILE* file, std::int64_t offset, int whence) { return _fseeki64(file, offset, whence) == 0; }

std::int64_t FilePosition(std::FILE* file) { return _ftelli64(file); }

}  // namespace aperlume::tool
