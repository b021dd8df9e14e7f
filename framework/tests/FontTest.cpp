#include "framework/FontLookup.h"
#include "framework/HelpText.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <cstring>

using namespace tw;

namespace {

class FontLookup : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under test-env.sh"; }
};

TEST_F(FontLookup, NoNameOrNoMatchGivesMinusOne) {
    EXPECT_EQ(findFont(nullptr, false, false), -1);
    EXPECT_EQ(findFont("", false, false), -1);
    EXPECT_EQ(findFont("No Such Face Tapeworks", false, false), -1);
    EXPECT_EQ(findFont("No Such Face Tapeworks", true, true), -1);
}

// Each attribute combination finds a face of exactly those attributes whose name begins with
// the text asked for.
TEST_F(FontLookup, AttributesMustMatchExactly) {
    const char *family = "DejaVu Sans Mono";
    if (findFont(family, false, false) < 0)
        GTEST_SKIP() << family << " is not installed";
    struct Case {
        bool bold, italic;
        int attributes;
    };
    const Case cases[] = {{false, false, 0},
                          {true, false, FL_BOLD},
                          {false, true, FL_ITALIC},
                          {true, true, FL_BOLD | FL_ITALIC}};
    int previous = -1;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.attributes);
        const int font = findFont(family, c.bold, c.italic);
        if (font < 0)
            continue; // not every style is installed everywhere
        EXPECT_NE(font, previous);
        int attributes = -1;
        const char *name = Fl::get_font_name(static_cast<Fl_Font>(font), &attributes);
        EXPECT_EQ(attributes, c.attributes);
        EXPECT_EQ(std::strncmp(name, family, std::strlen(family)), 0) << name;
        previous = font;
    }
    // A prefix of the name finds a face too.
    EXPECT_GE(findFont("DejaVu Sans M", false, false), 0);
}

TEST_F(FontLookup, HelpTextFallsBackToFixedWidth) {
    if (findFont("Lucida Console", false, false) >= 0)
        GTEST_SKIP() << "Lucida Console is installed here";
    EXPECT_EQ(helpTextFont(), FL_COURIER);
}

} // namespace
