#include "render/SvgPainter.h"

#include "render/Palette.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace tw {

namespace {
constexpr std::size_t flushAt = 64 * 1024;
} // namespace

SvgPainter::SvgPainter(ExportFile &file, int w, int h, ProgressTicker *ticker)
    : file_(file), ticker_(ticker) {
    buffer_.reserve(flushAt + 1024);
    put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%dpx\" height=\"%dpx\" "
        "viewBox=\"0 0 %d %d\" shape-rendering=\"crispEdges\">\n",
        w, h, w, h);
}

void SvgPainter::setColour(TapeColour colour) {
    const Rgb c = colourRgb(colour);
    colour_ = unsigned(c.r) << 16 | unsigned(c.g) << 8 | c.b;
}

void SvgPainter::useColour() {
    if (groupColour_ == (long long)colour_)
        return;
    if (groupColour_ >= 0)
        put("</g>\n");
    put("<g fill=\"#%06x\">\n", colour_);
    groupColour_ = colour_;
}

void SvgPainter::fillRect(int x, int y, int w, int h) {
    if (w <= 0 || h <= 0)
        return;
    useColour();
    put("<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\"/>\n", x, y, w, h);
}

void SvgPainter::line(int x0, int y0, int x1, int y1) {
    // Lines along the axes as the pixels they cover, end points included.
    if (x0 == x1 || y0 == y1) {
        fillRect(std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1, std::abs(y1 - y0) + 1);
        return;
    }
    useColour();
    put("<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\" stroke=\"#%06x\" stroke-width=\"1\"/>\n",
        x0 + 0.5, y0 + 0.5, x1 + 0.5, y1 + 0.5, colour_);
}

void SvgPainter::setFont(int font, int size) {
    // FLTK's fonts come in fours: plain, bold, italic, bold italic; 4..7 are the fixed ones.
    const char *family = (font & ~3) == 4 ? "monospace" : (font & ~3) == 8 ? "serif" : "sans-serif";
    char text[160];
    std::snprintf(text, sizeof text, "font-family=\"%s\" font-size=\"%d\"%s%s", family, size,
                  (font & 1) ? " font-weight=\"bold\"" : "",
                  (font & 2) ? " font-style=\"italic\"" : "");
    fontAttributes_ = text;
}

void SvgPainter::text(const char *text, int x, int y) {
    useColour();
    std::string escaped;
    for (const char *p = text; *p; ++p) {
        switch (*p) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        default:
            escaped += *p;
        }
    }
    put("<text x=\"%d\" y=\"%d\" %s>%s</text>\n", x, y, fontAttributes_.c_str(), escaped.c_str());
}

bool SvgPainter::finish() {
    if (groupColour_ >= 0)
        put("</g>\n");
    groupColour_ = -1;
    put("</svg>\n");
    flush();
    return ok_;
}

void SvgPainter::put(const char *format, ...) {
    if (!ok_)
        return;
    if (ticker_)
        ticker_->step();
    char line[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0 && std::size_t(n) < sizeof line) {
        buffer_.append(line, std::size_t(n));
    } else if (n > 0) {
        // Long text: formatted again into a buffer of its size.
        std::string longer(std::size_t(n) + 1, '\0');
        va_start(args, format);
        std::vsnprintf(longer.data(), longer.size(), format, args);
        va_end(args);
        buffer_.append(longer.data(), std::size_t(n));
    }
    if (buffer_.size() >= flushAt)
        flush();
}

void SvgPainter::flush() {
    if (ticker_ && ticker_->cancelled())
        ok_ = false;
    if (ok_ && !buffer_.empty())
        ok_ = file_.write(buffer_.data(), buffer_.size());
    buffer_.clear();
}

} // namespace tw
