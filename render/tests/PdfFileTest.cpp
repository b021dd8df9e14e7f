// The board's PDF as readers see it: a valid file, its title, its text found again; and the
// writer's numbers and fonts on their own.
#include <gtest/gtest.h>

#include "ExportSupport.h"

#include "render/ExportFile.h"
#include "render/PdfWriter.h"

#include <fstream>
#include <sstream>

using namespace tw;

namespace {

bool have(const char *tool) {
    return !run(std::string("command -v ") + tool).empty();
}

// pdfinfo's value of a field ("Title", "Pages"), without the padding.
std::string pdfField(const std::string &pdf, const std::string &field) {
    std::istringstream lines(run("pdfinfo '" + pdf + "'"));
    for (std::string line; std::getline(lines, line);)
        if (line.compare(0, field.size() + 1, field + ":") == 0) {
            const std::size_t start = line.find_first_not_of(' ', field.size() + 1);
            return start == std::string::npos ? std::string() : line.substr(start);
        }
    return "(none)";
}

} // namespace

TEST(BoardPdf, ValidFileWithTitleAndFooterText) {
    if (!have("pdfinfo") || !have("pdftotext"))
        GTEST_SKIP() << "poppler-utils are not installed";
    const bool qpdf = have("qpdf");
    std::vector<TapeNote> many;
    for (unsigned t = 0; t < 3000; t += 3)
        many.push_back(tn(40 + t % 30, t, 2 + t % 7, t % 16));
    const Melody small({tn(60, 0, 20), tn(64, 10, 30, 3)});
    const Melody long_(many);
    struct Case {
        const char *name;
        const ScoreModel &melody;
        std::string sourceName, title; // the title as pdfinfo prints it
        unsigned pages;                // at least
    };
    const Case cases[] = {
        {"few notes, plain name", small, "tune.mid", "tune.mid", 1},
        {"many pages, name with brackets", long_, "a (b) \\c.mid", "a (b) \\c.mid", 5},
        {"non-ASCII name", small, "Grüße ♪ Ωμέγα.mid", "Grüße ♪ Ωμέγα.mid", 1},
        {"many pages, non-ASCII name", long_, "Ärger.mid", "Ärger.mid", 5},
        // A file name that is not UTF-8 is exported, shown with a replacement character.
        {"name not in UTF-8", small, "caf\xE9.mid", "caf\xEF\xBF\xBD.mid", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ExportOptions options;
        options.format = ExportFormat::pdf;
        options.sourceName = c.sourceName;
        const std::string pdf = dir / "board.pdf";
        const ExportResult r = exportTape(c.melody, options, pdf);
        ASSERT_TRUE(r) << r.reason;
        EXPECT_GE(r.pages, c.pages);
        if (qpdf) {
            const std::string check = run("qpdf --check '" + pdf + "' 2>&1");
            EXPECT_NE(check.find("No syntax or stream encoding"), std::string::npos) << check;
        }
        EXPECT_EQ(pdfField(pdf, "Title"), c.title);
        EXPECT_EQ(pdfField(pdf, "Pages"), std::to_string(r.pages));
        // The footers of pages from the first to the last read back.
        for (unsigned page = 1; page <= r.pages; page += std::max(1u, r.pages / 3)) {
            const std::string text = run("pdftotext -f " + std::to_string(page) + " -l " +
                                         std::to_string(page) + " '" + pdf + "' -");
            // pdftotext puts one space between words however wide the gap.
            const std::string footer =
                c.title + " page " + std::to_string(page) + " of " + std::to_string(r.pages);
            EXPECT_NE(text.find(footer), std::string::npos) << "page " << page << ": " << text;
        }
    }
}

TEST(PdfWriter, NumbersAsOperatorsWantThem) {
    struct Case {
        double value;
        int digits;
        const char *text;
    };
    const Case cases[] = {{0, 4, "0"},
                          {-0.00001, 4, "0"},
                          {1.5, 4, "1.5"},
                          {-2.25, 4, "-2.25"},
                          {12345.6789, 2, "12345.68"},
                          {0.12345, 4, "0.1235"},
                          {99.99999, 4, "100"},
                          {-7, 1, "-7"},
                          {0.05, 1, "0.1"},
                          {841.889764, 6, "841.889764"}};
    for (const Case &c : cases) {
        std::string out;
        appendPdfNumber(out, c.value, c.digits);
        EXPECT_EQ(out, c.text) << c.value;
    }
    std::string halves;
    for (long long twice : {0LL, 1LL, -1LL, 7LL, -8LL, 4000000001LL}) {
        appendPdfHalves(halves, twice);
        halves += ' ';
    }
    EXPECT_EQ(halves, "0 0.5 -0.5 3.5 -4 2000000000.5 ");
}

TEST(PdfWriter, TextOfMoreGlyphsThanAFontHoldsReadsBack) {
    if (!have("pdftotext"))
        GTEST_SKIP() << "poppler-utils are not installed";
    // Over three hundred different glyphs in two faces: more than one Type 3 font each.
    std::string text;
    const auto add = [&text](uint32_t first, uint32_t last) {
        for (uint32_t p = first; p <= last; ++p)
            if (p < 0x80)
                text += char(p);
            else
                text += {char(0xC0 | (p >> 6)), char(0x80 | (p & 0x3F))};
    };
    add('A', 'Z');
    add('a', 'z');
    add('0', '9');
    add(0x100, 0x17F); // Latin Extended-A
    add(0x391, 0x3A1); // Greek capitals
    add(0x410, 0x44F); // Cyrillic
    TempDir dir;
    const std::string pdf = dir / "glyphs.pdf";
    {
        std::ofstream file(pdf, std::ios::binary);
        PdfWriter writer([&file](const void *data, std::size_t length) {
            return bool(file.write(static_cast<const char *>(data), std::streamsize(length)));
        });
        ASSERT_TRUE(writer.start(2000, 200, "glyphs"));
        std::string content;
        for (int line = 0; line < 2; ++line) {
            const std::string half =
                text.substr(line ? text.size() / 2 : 0, line ? std::string::npos : text.size() / 2);
            ASSERT_TRUE(
                writer.fonts().show(content, line ? 1 : 0, 6, half, 10, 150 - 100 * line, false));
        }
        ASSERT_TRUE(writer.fonts().show(content, 8, 6, text.substr(0, 300), 10, 100, false));
        ASSERT_TRUE(writer.page(content));
        ASSERT_TRUE(writer.finish());
        EXPECT_GE(writer.fonts().fontCount(), 3u);
    }
    if (have("qpdf")) {
        const std::string check = run("qpdf --check '" + pdf + "' 2>&1");
        EXPECT_NE(check.find("No syntax or stream encoding"), std::string::npos) << check;
    }
    std::string words = run("pdftotext -raw '" + pdf + "' -");
    std::string joined;
    for (char ch : words)
        if (ch != '\n' && ch != '\f' && ch != ' ')
            joined += ch;
    EXPECT_NE(joined.find(text), std::string::npos) << words;
}
