// Opening files natively: the name's bytes are the file system's.
#include "tools/imagefile/file_open.h"

namespace aperlume::tool {

OpenedFile OpenFile(const std::string& path, const char* mode) { return OpenedFile(std::fopen(path.c_str(), mode)); }

}  // namespace aperlume::tool
