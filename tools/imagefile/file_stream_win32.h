// A COM stream over an open stdio file, so that the Windows Imaging Component decodes the very handle
// the check read rather than a file opened again by name.
#pragma once

#include <objidl.h>

#include <cstdio>

#include "tools/imagefile/tiff_directory.h"

namespace aperlume::tool {

// A read-only stream over `file`, positioned where the file is, whose reads see `overlay` over the file's
// own bytes. Holds one reference, which the caller releases; null when out of memory. `file` and
// `overlay` must outlive every user of the stream.
IStream* NewFileStream(std::FILE* file, const ByteOverlay& overlay);

}  // namespace aperlume::tool
