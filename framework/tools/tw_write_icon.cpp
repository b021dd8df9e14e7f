// Writes the program's icon as a PNG file: tw_write_icon FILE [SIZE]
#include "framework/AppIcon.h"
#include "framework/tools/IconPng.h"

#include <cstdio>
#include <string>

using namespace tw;

namespace {

constexpr int exitWriteFailed = 1;
constexpr int exitUsage = 2;

// A whole decimal number, nothing else; 0 when the text is not one.
int parseSize(const std::string &text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos)
        return 0;
    return std::stoi(text);
}

} // namespace

int main(int argc, char **argv) {
    const int size = argc == 3 ? parseSize(argv[2]) : appIconSize;
    if (argc < 2 || argc > 3 || size < appIconMinSize || size > appIconMaxSize) {
        std::fprintf(stderr, "usage: %s FILE.png [SIZE %d-%d, default %d]\n", argv[0],
                     appIconMinSize, appIconMaxSize, appIconSize);
        return exitUsage;
    }
    std::string error;
    if (!writeAppIconPng(argv[1], size, error)) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", argv[0], argv[1], error.c_str());
        return exitWriteFailed;
    }
    return 0;
}
