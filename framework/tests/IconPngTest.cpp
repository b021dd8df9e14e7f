#include "framework/tools/IconPng.h"
#include "framework/AppIcon.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace tw;

namespace {

const int desktopSizes[] = {16, 32, 48, 64, 128, 256};

// A PNG file as libpng decodes it into 8-bit RGBA; message says why when it cannot.
struct DecodedPng {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
    std::string message;
};

DecodedPng readPng(const std::string &path) {
    DecodedPng decoded;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        decoded.message = image.message;
        return decoded;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        decoded.message = image.message;
        png_image_free(&image);
        return decoded;
    }
    decoded.width = static_cast<int>(image.width);
    decoded.height = static_cast<int>(image.height);
    decoded.pixels = std::move(pixels);
    return decoded;
}

std::string output(const std::string &command) {
    std::string text;
    if (FILE *pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            text += buffer;
        ::pclose(pipe);
    }
    return text;
}

int exitCode(const std::string &command) {
    const int status = std::system((command + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void expectTheDrawing(const std::string &file, int size) {
    SCOPED_TRACE(file);
    const DecodedPng png = readPng(file);
    ASSERT_EQ(png.message, "");
    EXPECT_EQ(png.width, size);
    EXPECT_EQ(png.height, size);
    EXPECT_TRUE(png.pixels == appIconPixels(size)) << "the pixels differ from the drawing";
}

// What the writer puts down, libpng reads back pixel for pixel, at every size a desktop asks for.
TEST(IconPng, EverySizeReadsBackAsTheDrawing) {
    TempDir dir;
    for (int size : desktopSizes) {
        const std::string file = dir.path() + "/icon" + std::to_string(size) + ".png";
        std::string error;
        ASSERT_TRUE(writeAppIconPng(file, size, error)) << error;
        expectTheDrawing(file, size);
    }
}

// The build draws the icon theme's files that the installation copies.
TEST(IconPng, TheBuildWroteTheThemeSizes) {
    for (int size : desktopSizes) {
        const std::string n = std::to_string(size);
        expectTheDrawing(std::string(TW_ICON_DIR) + "/" + n + "x" + n + "/apps/tapeworks2.png",
                         size);
    }
}

TEST(IconPng, WritingFailsWithAReasonAndLeavesNoFile) {
    TempDir dir;
    const struct {
        std::string path;
        int size;
    } cases[] = {
        {dir.path() + "/missing/icon.png", 32}, // no such folder
        {dir.path(), 32},                       // a folder, not a file
        {dir.path() + "/small.png", appIconMinSize - 1},
        {dir.path() + "/large.png", appIconMaxSize + 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path + " " + std::to_string(c.size));
        std::string error;
        EXPECT_FALSE(writeAppIconPng(c.path, c.size, error));
        EXPECT_NE(error, "");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              0);
}

// The tool's file as a second reader, ImageMagick, sees it.
TEST(IconPng, ToolWritesAPngThatOtherProgramsRead) {
    const std::string tool = TW_WRITE_ICON;
    TempDir dir;
    const std::string file = dir.path() + "/icon.png";
    ASSERT_EQ(exitCode(tool + " " + file + " 128"), 0);
    EXPECT_EQ(output("identify -format '%m %w %h' " + file), "PNG 128 128");

    const std::vector<unsigned char> pixels = appIconPixels(128);
    const int points[][2] = {{0, 0}, {13, 22}, {41, 93}, {82, 90}, {127, 127}};
    for (const auto &p : points) {
        SCOPED_TRACE(std::to_string(p[0]) + "," + std::to_string(p[1]));
        const size_t at = (static_cast<size_t>(p[1]) * 128 + p[0]) * 4;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%d,%d,%d", pixels[at], pixels[at + 1],
                      pixels[at + 2]);
        const std::string geometry = "1x1+" + std::to_string(p[0]) + "+" + std::to_string(p[1]);
        EXPECT_EQ(output("convert " + file + " -crop " + geometry +
                         " -format '%[fx:int(255*r+0.5)],%[fx:int(255*g+0.5)],"
                         "%[fx:int(255*b+0.5)]' info:"),
                  expected);
    }

    const std::string plain = dir.path() + "/plain.png";
    ASSERT_EQ(exitCode(tool + " " + plain), 0);
    expectTheDrawing(plain, appIconSize);
}

TEST(IconPng, ToolRefusesBadArgumentsAndWritesNothing) {
    const std::string tool = TW_WRITE_ICON;
    TempDir dir;
    const std::string file = dir.path() + "/icon.png";
    const struct {
        std::string arguments;
        int status;
    } cases[] = {
        {"", 2},
        {file + " 15", 2},
        {file + " 1025", 2},
        {file + " 0", 2},
        {file + " -32", 2},
        {file + " 32px", 2},
        {file + " ''", 2},
        {file + " 99999999999", 2},
        {file + " 32 extra", 2},
        {dir.path() + "/missing/icon.png 32", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(exitCode(tool + " " + c.arguments), c.status);
        EXPECT_FALSE(std::filesystem::exists(file));
    }
}

} // namespace
