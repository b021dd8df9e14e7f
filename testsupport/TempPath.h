// A temporary file path that is removed at the end of the scope.
#pragma once

#include <string>

namespace tw {

struct TempPath {
    std::string path;
    explicit TempPath(const std::string &name);
    ~TempPath();
};

} // namespace tw
