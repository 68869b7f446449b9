// The owner of an open C file: `std::unique_ptr<std::FILE, FileCloser>` closes it on every way out.
#pragma once

#include <cstdio>

namespace aperlume::tool {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace aperlume::tool
