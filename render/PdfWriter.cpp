#include "render/PdfWriter.h"

#include "render/CairoPainter.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tw {

namespace {

// The glyphs' outlines and advances are taken at this size: a thousand units to the size, as
// Type 3 fonts' widths are usually given.
constexpr double glyphScale = 1000;
// The width of the blank glyph at code 0 of every font (see show()).
constexpr double blankWidth = 500;
// Glyphs a Type 3 font holds: one byte a code.
constexpr std::size_t glyphsPerFont = 256;

const char hexDigits[] = "0123456789ABCDEF";

void appendHex(std::string &out, unsigned value, int digits) {
    for (int d = digits - 1; d >= 0; --d)
        out += hexDigits[(value >> (4 * d)) & 15];
}

// The code points of UTF-8 text; a byte that starts no valid sequence counts as U+FFFD.
std::vector<uint32_t> codePoints(const char *text, std::size_t length) {
    std::vector<uint32_t> points;
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    for (std::size_t i = 0; i < length;) {
        const unsigned c = s[i];
        int extra = c < 0x80             ? 0
                    : (c & 0xE0) == 0xC0 ? 1
                    : (c & 0xF0) == 0xE0 ? 2
                    : (c & 0xF8) == 0xF0 ? 3
                                         : -1;
        uint32_t point = extra == 0 ? c : extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
        bool valid = extra >= 0 && i + std::size_t(extra) < length;
        for (int k = 1; valid && k <= extra; ++k) {
            valid = (s[i + std::size_t(k)] & 0xC0) == 0x80;
            point = (point << 6) | (s[i + std::size_t(k)] & 0x3F);
        }
        static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (valid &&
            (point < least[extra] || point > 0x10FFFF || (point >= 0xD800 && point < 0xE000)))
            valid = false;
        if (!valid) {
            points.push_back(0xFFFD);
            ++i;
            continue;
        }
        points.push_back(point);
        i += std::size_t(extra) + 1;
    }
    return points;
}

std::string utf8Of(const std::vector<uint32_t> &points) {
    std::string out;
    for (uint32_t p : points) {
        if (p < 0x80) {
            out += char(p);
        } else if (p < 0x800) {
            out += char(0xC0 | (p >> 6));
            out += char(0x80 | (p & 0x3F));
        } else if (p < 0x10000) {
            out += char(0xE0 | (p >> 12));
            out += char(0x80 | ((p >> 6) & 0x3F));
            out += char(0x80 | (p & 0x3F));
        } else {
            out += char(0xF0 | (p >> 18));
            out += char(0x80 | ((p >> 12) & 0x3F));
            out += char(0x80 | ((p >> 6) & 0x3F));
            out += char(0x80 | (p & 0x3F));
        }
    }
    return out;
}

// UTF-16BE in hex digits.
std::string utf16Hex(const std::vector<uint32_t> &points) {
    std::string out;
    for (uint32_t p : points)
        if (p >= 0x10000) {
            p -= 0x10000;
            appendHex(out, 0xD800 + (p >> 10), 4);
            appendHex(out, 0xDC00 + (p & 0x3FF), 4);
        } else {
            appendHex(out, p, 4);
        }
    return out;
}

} // namespace

void appendPdfInt(std::string &out, long long value) {
    char digits[24];
    int n = 0;
    unsigned long long v = value < 0 ? 0ull - (unsigned long long)value : (unsigned long long)value;
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    if (value < 0)
        out += '-';
    while (n)
        out += digits[--n];
}

void appendPdfHalves(std::string &out, long long twice) {
    if (twice < 0 && twice % 2) {
        out += '-';
        twice = -twice;
    }
    appendPdfInt(out, twice / 2);
    if (twice % 2)
        out += ".5";
}

void appendPdfNumber(std::string &out, double value, int digits) {
    if (!std::isfinite(value))
        value = 0;
    long long scale = 1;
    for (int d = 0; d < digits; ++d)
        scale *= 10;
    long long units = std::llround(std::fabs(value) * double(scale));
    if (units == 0) {
        out += '0';
        return;
    }
    if (value < 0)
        out += '-';
    appendPdfInt(out, units / scale);
    long long fraction = units % scale;
    if (fraction == 0)
        return;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    out += '.';
    char text[24];
    for (int d = digits - 1; d >= 0; --d) {
        text[d] = char('0' + fraction % 10);
        fraction /= 10;
    }
    out.append(text, std::size_t(digits));
}

std::string pdfTextString(const std::string &utf8) {
    const std::vector<uint32_t> points = codePoints(utf8.data(), utf8.size());
    if (std::all_of(points.begin(), points.end(), [](uint32_t p) { return p >= 32 && p < 127; })) {
        std::string out = "(";
        for (uint32_t p : points) {
            if (p == '(' || p == ')' || p == '\\')
                out += '\\';
            out += char(p);
        }
        return out + ")";
    }
    return "<FEFF" + utf16Hex(points) + ">";
}

// ---- Fonts ----

struct PdfGlyphFonts::Face {
    cairo_scaled_font_t *font = nullptr;
    std::string family;
    cairo_font_slant_t slant;
    cairo_font_weight_t weight;
    // Where each glyph used went: its font and code.
    std::map<unsigned long, std::pair<int, int>> codes;
    int openFont = -1; // the font that takes new glyphs
    ~Face() { cairo_scaled_font_destroy(font); }
};

PdfGlyphFonts::PdfGlyphFonts() {
    scratch_ = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cr_ = cairo_create(scratch_);
}

PdfGlyphFonts::~PdfGlyphFonts() {
    faces_.clear();
    cairo_destroy(cr_);
    cairo_surface_destroy(scratch_);
}

int PdfGlyphFonts::face(int font) {
    // The faces Cairo is given for the board's text (selectCairoFont).
    const CairoFontFace wanted = cairoFontFace(font);
    for (std::size_t i = 0; i < faces_.size(); ++i)
        if (faces_[i]->family == wanted.family && faces_[i]->slant == wanted.slant &&
            faces_[i]->weight == wanted.weight)
            return int(i);
    cairo_font_face_t *fontFace =
        cairo_toy_font_face_create(wanted.family, wanted.slant, wanted.weight);
    cairo_font_options_t *options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_matrix_t size, identity;
    cairo_matrix_init_scale(&size, glyphScale, glyphScale);
    cairo_matrix_init_identity(&identity);
    cairo_scaled_font_t *scaled = cairo_scaled_font_create(fontFace, &size, &identity, options);
    cairo_font_options_destroy(options);
    cairo_font_face_destroy(fontFace);
    if (cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS) {
        status_ = cairo_scaled_font_status(scaled);
        cairo_scaled_font_destroy(scaled);
        return -1;
    }
    auto f = std::make_unique<Face>();
    f->font = scaled;
    f->family = wanted.family;
    f->slant = wanted.slant;
    f->weight = wanted.weight;
    faces_.push_back(std::move(f));
    return int(faces_.size() - 1);
}

bool PdfGlyphFonts::show(std::string &out, int font, double size, const std::string &utf8, double x,
                         double y, bool yDown, double left, double right) {
    const int faceIndex = face(font);
    if (faceIndex < 0)
        return false;
    Face *f = faces_[std::size_t(faceIndex)].get();
    const std::string text = utf8Of(codePoints(utf8.data(), utf8.size()));
    cairo_glyph_t *glyphs = nullptr;
    cairo_text_cluster_t *clusters = nullptr;
    int glyphCount = 0, clusterCount = 0;
    cairo_text_cluster_flags_t flags{};
    const cairo_status_t s =
        cairo_scaled_font_text_to_glyphs(f->font, 0, 0, text.data(), int(text.size()), &glyphs,
                                         &glyphCount, &clusters, &clusterCount, &flags);
    if (s != CAIRO_STATUS_SUCCESS) {
        status_ = s;
        return false;
    }
    if (glyphCount > 0) {
        // Text wholly outside is left out, as Cairo leaves out what its clip hides.
        cairo_text_extents_t ink;
        cairo_scaled_font_glyph_extents(f->font, glyphs, glyphCount, &ink);
        const double k = size / glyphScale;
        if (ink.width > 0 &&
            (x + (ink.x_bearing + ink.width) * k < left || x + ink.x_bearing * k > right)) {
            cairo_glyph_free(glyphs);
            cairo_text_cluster_free(clusters);
            return true;
        }
    }
    // What each glyph stands for: the text of its cluster, on the cluster's first glyph.
    std::vector<std::string> unicode(static_cast<std::size_t>(glyphCount));
    {
        std::size_t at = 0, glyph = 0;
        for (int c = 0; c < clusterCount; ++c) {
            const std::size_t bytes = std::size_t(clusters[c].num_bytes);
            if (clusters[c].num_glyphs > 0 && glyph < unicode.size())
                unicode[glyph] = utf16Hex(codePoints(text.data() + at, bytes));
            at += bytes;
            glyph += std::size_t(clusters[c].num_glyphs);
        }
    }
    out += "BT\n";
    int shownFont = -1;
    double pen = 0; // where the font's widths have moved the text, in glyph units
    for (int i = 0; i < glyphCount; ++i) {
        auto found = f->codes.find(glyphs[i].index);
        if (found == f->codes.end()) {
            if (f->openFont < 0 ||
                fonts_[std::size_t(f->openFont)].glyphs.size() >= glyphsPerFont) {
                f->openFont = int(fonts_.size());
                // Code 0 is a blank of half the size: text extraction guesses the scale of a
                // Type 3 font's glyphs from the first one's width, taking half the size as the
                // usual width, and then gives the words the face's own height.
                fonts_.push_back(Font{faceIndex, {Glyph{0, blankWidth, {}, true}}});
            }
            Font &target = fonts_[std::size_t(f->openFont)];
            cairo_text_extents_t extents;
            cairo_scaled_font_glyph_extents(f->font, &glyphs[i], 1, &extents);
            // Whole widths, as Cairo writes them; the text is placed by the exact advances.
            const double width = std::round(extents.x_advance);
            target.glyphs.push_back(Glyph{glyphs[i].index, width, unicode[std::size_t(i)], false});
            found = f->codes
                        .emplace(glyphs[i].index,
                                 std::make_pair(f->openFont, int(target.glyphs.size() - 1)))
                        .first;
        }
        const auto [fontIndex, code] = found->second;
        if (fontIndex != shownFont) {
            if (shownFont >= 0)
                out += "] TJ\n";
            out += "/T";
            appendPdfInt(out, fontIndex);
            out += ' ';
            appendPdfNumber(out, size);
            out += " Tf\n";
            if (shownFont < 0) {
                out += yDown ? "1 0 0 -1 " : "1 0 0 1 ";
                appendPdfNumber(out, x);
                out += ' ';
                appendPdfNumber(out, y);
                out += " Tm\n";
            }
            out += '[';
            shownFont = fontIndex;
        }
        const double shift = glyphs[i].x - pen;
        if (std::fabs(shift) > 0.0005) {
            out += ' ';
            appendPdfNumber(out, -shift, 3);
            out += ' ';
        }
        out += '<';
        appendHex(out, unsigned(code), 2);
        out += '>';
        pen = glyphs[i].x + fonts_[std::size_t(fontIndex)].glyphs[std::size_t(code)].width;
    }
    if (shownFont >= 0)
        out += "] TJ\n";
    out += "ET\n";
    cairo_glyph_free(glyphs);
    cairo_text_cluster_free(clusters);
    return true;
}

std::string PdfGlyphFonts::glyphProcedure(int face, unsigned long id, double width, double box[4]) {
    std::string out;
    appendPdfNumber(out, width, 3);
    out += " 0 d0\n";
    cairo_set_scaled_font(cr_, faces_[std::size_t(face)]->font);
    cairo_new_path(cr_);
    const cairo_glyph_t glyph{id, 0, 0};
    cairo_glyph_path(cr_, &glyph, 1);
    cairo_path_t *path = cairo_copy_path(cr_);
    cairo_new_path(cr_);
    if (path->status != CAIRO_STATUS_SUCCESS) {
        status_ = path->status;
        cairo_path_destroy(path);
        return out;
    }
    bool drawn = false;
    // Glyph space runs upwards, Cairo's downwards.
    const auto point = [&](const cairo_path_data_t &p) {
        const double px = p.point.x, py = -p.point.y;
        box[0] = std::min(box[0], px);
        box[1] = std::min(box[1], py);
        box[2] = std::max(box[2], px);
        box[3] = std::max(box[3], py);
        appendPdfNumber(out, px, 1);
        out += ' ';
        appendPdfNumber(out, py, 1);
        out += ' ';
    };
    for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
        const cairo_path_data_t *d = &path->data[i];
        switch (d->header.type) {
        case CAIRO_PATH_MOVE_TO:
            point(d[1]);
            out += "m\n";
            break;
        case CAIRO_PATH_LINE_TO:
            point(d[1]);
            out += "l\n";
            drawn = true;
            break;
        case CAIRO_PATH_CURVE_TO:
            point(d[1]);
            point(d[2]);
            point(d[3]);
            out += "c\n";
            drawn = true;
            break;
        case CAIRO_PATH_CLOSE_PATH:
            out += "h\n";
            break;
        }
    }
    cairo_path_destroy(path);
    out += drawn ? "f\n" : "n\n";
    return out;
}

void PdfGlyphFonts::faceExtents(int face, double &ascent, double &descent) const {
    cairo_font_extents_t extents;
    cairo_scaled_font_extents(faces_[std::size_t(face)]->font, &extents);
    ascent = extents.ascent;
    descent = extents.descent;
}

// ---- The file ----

namespace {
constexpr int catalogObject = 1, pagesObject = 2, resourcesObject = 3, infoObject = 4;

// " key N 0 R": a reference to object N, under a key or in an array (no key).
void appendReference(std::string &out, const std::string &key, int number) {
    out += ' ';
    if (!key.empty())
        out += key + ' ';
    appendPdfInt(out, number);
    out += " 0 R";
}
} // namespace

struct PdfWriter::Deflater {
    z_stream z{};
    bool ready = false;
    ~Deflater() {
        if (ready)
            deflateEnd(&z);
    }
};

PdfWriter::PdfWriter(Sink sink, int level)
    : sink_(std::move(sink)), level_(level), deflater_(std::make_unique<Deflater>()) {}

PdfWriter::~PdfWriter() = default;

bool PdfWriter::put(const void *data, std::size_t length) {
    offset_ += length;
    if (sinkFailed_ || !sink_(data, length))
        sinkFailed_ = true;
    return !sinkFailed_;
}

bool PdfWriter::put(const std::string &text) {
    return put(text.data(), text.size());
}

int PdfWriter::newObject() {
    offsets_.push_back(0);
    return int(offsets_.size() - 1);
}

bool PdfWriter::beginObject(int number) {
    offsets_[std::size_t(number)] = offset_;
    std::string head;
    appendPdfInt(head, number);
    head += " 0 obj\n";
    return put(head);
}

bool PdfWriter::deflated(const std::string &data, std::string &out) {
    Deflater &d = *deflater_;
    if (!d.ready) {
        if (deflateInit(&d.z, level_) != Z_OK)
            return false;
        d.ready = true;
    } else if (deflateReset(&d.z) != Z_OK) {
        return false;
    }
    out.resize(deflateBound(&d.z, uLong(data.size())));
    d.z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    d.z.avail_in = uInt(data.size());
    d.z.next_out = reinterpret_cast<Bytef *>(&out[0]);
    d.z.avail_out = uInt(out.size());
    if (deflate(&d.z, Z_FINISH) != Z_STREAM_END)
        return false;
    out.resize(d.z.total_out);
    return true;
}

bool PdfWriter::stream(int number, const std::string &dictionary, const std::string &data,
                       bool deflate) {
    const std::string *body = &data;
    if (deflate) {
        if (!deflated(data, packed_))
            return false;
        body = &packed_;
    }
    std::string head = "<< /Length ";
    appendPdfInt(head, (long long)body->size());
    if (deflate)
        head += " /Filter /FlateDecode";
    head += dictionary;
    head += " >>\nstream\n";
    return beginObject(number) && put(head) && put(*body) && put("\nendstream\nendobj\n");
}

bool PdfWriter::start(double width, double height, const std::string &title) {
    for (int i = 0; i < 4; ++i)
        newObject(); // the catalog, the page tree, the resources and the information
    mediaBox_ = " /MediaBox [0 0 ";
    appendPdfNumber(mediaBox_, width);
    mediaBox_ += ' ';
    appendPdfNumber(mediaBox_, height);
    mediaBox_ += ']';
    title_ = title;
    // The second line's bytes above 127 tell that the file holds binary data.
    return put("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
}

bool PdfWriter::page(const std::string &content) {
    const int contents = newObject(), page = newObject();
    pages_.push_back(page);
    std::string dictionary = "<< /Type /Page /Parent 2 0 R";
    dictionary += mediaBox_;
    dictionary += " /Resources 3 0 R";
    appendReference(dictionary, "/Contents", contents);
    dictionary += " >>\nendobj\n";
    return stream(contents, "", content, true) && beginObject(page) && put(dictionary);
}

bool PdfWriter::finish() {
    // The fonts.
    std::string fontList;
    for (std::size_t f = 0; f < fonts_.fonts().size(); ++f) {
        const PdfGlyphFonts::Font &font = fonts_.fonts()[f];
        double box[4] = {0, 0, 0, 0};
        std::string procedures = "<<", widths = "[", differences = "[0", cmap;
        for (std::size_t code = 0; code < font.glyphs.size(); ++code) {
            const PdfGlyphFonts::Glyph &g = font.glyphs[code];
            const int number = newObject();
            if (!stream(number, "",
                        g.blank ? std::to_string(int(blankWidth)) + " 0 d0\n"
                                : fonts_.glyphProcedure(font.face, g.id, g.width, box),
                        true))
                return false;
            appendReference(procedures, "/g" + std::to_string(code), number);
            widths += ' ';
            appendPdfNumber(widths, g.width, 3);
            differences += " /g";
            appendPdfInt(differences, (long long)code);
        }
        if (fonts_.status() != CAIRO_STATUS_SUCCESS)
            return false;
        // What the codes stand for, in blocks of at most a hundred.
        std::vector<std::size_t> mapped;
        for (std::size_t code = 0; code < font.glyphs.size(); ++code)
            if (!font.glyphs[code].unicode.empty())
                mapped.push_back(code);
        std::string entries;
        for (std::size_t i = 0; i < mapped.size(); i += 100) {
            const std::size_t end = std::min(mapped.size(), i + 100);
            appendPdfInt(entries, (long long)(end - i));
            entries += " beginbfchar\n";
            for (std::size_t k = i; k < end; ++k) {
                entries += '<';
                appendHex(entries, unsigned(mapped[k]), 2);
                entries += "> <" + font.glyphs[mapped[k]].unicode + ">\n";
            }
            entries += "endbfchar\n";
        }
        cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
               "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
               "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
               "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n" +
               entries + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
        const int toUnicode = newObject(), descriptor = newObject(), fontObject = newObject();
        if (!stream(toUnicode, "", cmap, true))
            return false;
        // The face's ascent and descent, which text extraction takes for the words' boxes.
        double ascent = 0, descent = 0;
        fonts_.faceExtents(font.face, ascent, descent);
        std::string about = "<< /Type /FontDescriptor /FontName /T";
        appendPdfInt(about, (long long)f);
        about += " /Flags 32 /ItalicAngle 0 /Ascent ";
        appendPdfNumber(about, std::round(ascent));
        about += " /Descent ";
        appendPdfNumber(about, -std::round(descent));
        about += " /FontBBox [";
        for (int i = 0; i < 4; ++i) {
            appendPdfNumber(about, i < 2 ? std::floor(box[i]) : std::ceil(box[i]));
            about += i < 3 ? " " : "]";
        }
        about += " >>\nendobj\n";
        if (!beginObject(descriptor) || !put(about))
            return false;
        std::string dictionary = "<< /Type /Font /Subtype /Type3 /FontBBox [";
        for (int i = 0; i < 4; ++i) {
            appendPdfNumber(dictionary, i < 2 ? std::floor(box[i]) : std::ceil(box[i]));
            dictionary += i < 3 ? " " : "]";
        }
        dictionary += " /FontMatrix [0.001 0 0 0.001 0 0] /Resources << >>\n/CharProcs " +
                      procedures + " >>\n/Encoding << /Type /Encoding /Differences " + differences +
                      "] >>\n/FirstChar 0 /LastChar ";
        appendPdfInt(dictionary, (long long)font.glyphs.size() - 1);
        dictionary += " /Widths " + widths + "]\n";
        appendReference(dictionary, "/ToUnicode", toUnicode);
        appendReference(dictionary, "/FontDescriptor", descriptor);
        dictionary += " >>\nendobj\n";
        if (!beginObject(fontObject) || !put(dictionary))
            return false;
        appendReference(fontList, "/T" + std::to_string(f), fontObject);
    }
    std::string kids;
    for (int p : pages_)
        appendReference(kids, "", p);
    std::string count;
    appendPdfInt(count, (long long)pages_.size());
    std::string info = "<< /Producer (Tapeworks2)";
    if (!title_.empty())
        info += " /Title " + pdfTextString(title_);
    info += " >>\nendobj\n";
    if (!beginObject(resourcesObject) || !put("<< /Font <<" + fontList + " >> >>\nendobj\n") ||
        !beginObject(pagesObject) ||
        !put("<< /Type /Pages /Kids [" + kids + "] /Count " + count + " >>\nendobj\n") ||
        !beginObject(catalogObject) || !put("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n") ||
        !beginObject(infoObject) || !put(info))
        return false;
    // The cross-reference table: every entry twenty bytes.
    const uint64_t xref = offset_;
    std::string table = "xref\n0 ";
    appendPdfInt(table, (long long)offsets_.size());
    table += "\n0000000000 65535 f \n";
    for (std::size_t i = 1; i < offsets_.size(); ++i) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", (unsigned long long)offsets_[i]);
        table += entry;
    }
    table += "trailer\n<< /Size ";
    appendPdfInt(table, (long long)offsets_.size());
    table += " /Root 1 0 R /Info 4 0 R >>\nstartxref\n";
    appendPdfInt(table, (long long)xref);
    table += "\n%%EOF\n";
    return put(table);
}

} // namespace tw
