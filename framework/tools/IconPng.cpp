#include "framework/tools/IconPng.h"

#include "framework/AppIcon.h"
#include "render/PngRows.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tw {

bool writeAppIconPng(const std::string &path, int size, std::string &error) {
    const std::vector<unsigned char> pixels = appIconPixels(size);
    if (pixels.empty()) {
        error = "no icon of size " + std::to_string(size) + " (" + std::to_string(appIconMinSize) +
                " to " + std::to_string(appIconMaxSize) + ")";
        return false;
    }
    std::FILE *out = std::fopen(path.c_str(), "wb");
    if (!out) {
        error = std::strerror(errno);
        return false;
    }
    bool written = false;
    {
        PngRowWriter writer([out](const unsigned char *data, std::size_t length) {
            return std::fwrite(data, 1, length, out) == length;
        });
        std::vector<unsigned char *> rows(std::size_t(size), nullptr);
        for (std::size_t y = 0; y < rows.size(); ++y)
            rows[y] = const_cast<unsigned char *>(pixels.data()) + y * std::size_t(size) * 4;
        written = writer.start(unsigned(size), unsigned(size), PngRowWriter::Pixels::rgba, {}) &&
                  writer.rows(rows.data(), unsigned(size)) && writer.finish();
        if (!written)
            error = writer.error();
    }
    if (std::fclose(out) != 0 && written) {
        written = false;
        error = std::strerror(errno);
    }
    // A partly written file is not left behind.
    if (!written)
        std::remove(path.c_str());
    return written;
}

} // namespace tw
