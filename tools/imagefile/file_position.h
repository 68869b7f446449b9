// Seam: positions in open files as 64-bit numbers in every build. The C runtime's fseek and ftell
// take a long, which has 32 bits on Windows, so a file of more than 2 GiB needs the platform's own
// calls (fseeko and ftello natively, _fseeki64 and _ftelli64 on Windows).
#pragma once

#include <cstdint>
#include <cstdio>

namespace aperlume::tool {

// Moves `file` to `offset` from SEEK_SET, SEEK_CUR or SEEK_END; false when it cannot.
bool SeekFile(std::FILE* file, std::int64_t offset, int whence);

// The position of `file`; -1 when it cannot be told.
std::int64_t FilePosition(std::FILE* file);

// The size of `file` (its position is left at the end); -1 when it cannot be told.
inline std::int64_t FileSize(std::FILE* file) { return SeekFile(file, 0, SEEK_END) ? FilePosition(file) : -1; }

}  // namespace aperlume::tool
