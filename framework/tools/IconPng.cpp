#include "framework/tools/IconPng.h"

#include "framework/AppIcon.h"

#include <png.h>

#include <vector>

namespace tw {

bool writeAppIconPng(const std::string &path, int size, std::string &error) {
    const std::vector<unsigned char> pixels = appIconPixels(size);
    if (pixels.empty()) {
        error = "no icon of size " + std::to_string(size) + " (" + std::to_string(appIconMinSize) +
                " to " + std::to_string(appIconMaxSize) + ")";
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(size);
    image.height = static_cast<png_uint_32>(size);
    image.format = PNG_FORMAT_RGBA;
    // libpng removes a partly written file itself when writing fails.
    if (!png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) {
        error = image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

} // namespace tw
