#include "framework/AppIcon.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

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

// The written file is a PNG that another program reads back pixel for pixel.
TEST(IconPng, ToolWritesAPngOfTheIconScaled) {
    const std::string tool = TW_WRITE_ICON;
    TempDir dir;
    const std::string file = dir.path() + "/icon.png";
    ASSERT_EQ(std::system((tool + " " + file + " 4").c_str()), 0);
    EXPECT_EQ(output("identify -format '%m %w %h' " + file), "PNG 128 128");

    const std::vector<unsigned char> pixels = appIconPixels();
    const int points[][2] = {{0, 0}, {3, 5}, {10, 23}, {20, 22}, {31, 31}};
    for (const auto &p : points) {
        SCOPED_TRACE(std::to_string(p[0]) + "," + std::to_string(p[1]));
        const size_t at = (static_cast<size_t>(p[1]) * appIconSize + p[0]) * 4;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%d,%d,%d", pixels[at], pixels[at + 1],
                      pixels[at + 2]);
        const std::string geometry =
            "1x1+" + std::to_string(p[0] * 4 + 3) + "+" + std::to_string(p[1] * 4 + 2);
        EXPECT_EQ(output("convert " + file + " -crop " + geometry +
                         " -format '%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]' info:"),
                  expected);
    }
    EXPECT_NE(std::system((tool + " 2>/dev/null").c_str()), 0);
}

} // namespace
