#include "testsupport/TempPath.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace tw {

TempPath::TempPath(const std::string &name) {
    const char *dir = std::getenv("TMPDIR");
    path = std::string(dir ? dir : "/tmp") + "/tw-test-" + std::to_string(getpid()) + "-" + name;
}

TempPath::~TempPath() {
    std::remove(path.c_str());
}

} // namespace tw
