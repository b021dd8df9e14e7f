// The punched tape at the instrument's true scale: time along the tape, one track per playable
// note across it, cut into page-long pieces that overlap for gluing.
#include "render/ExportParts.h"

#include <cairo-pdf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tw {

namespace {

// Bars and holes are this part of the track pitch across the tape.
constexpr double markAcross = 0.6;
constexpr double cropMarkMm = 4;
constexpr double textLineMm = 4.5;

bool usable(double value, bool zeroAllowed) {
    return std::isfinite(value) && (value > 0 || (zeroAllowed && value == 0)) && value < 1e6;
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

} // namespace

std::string noteName(unsigned note) {
    static const char *names[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                    "F#", "G",  "G#", "A",  "A#", "B"};
    return std::string(names[note % 12]) + std::to_string(int(note / 12) - 1);
}

PaperMm paperSize(Paper paper) {
    return paper == Paper::letter ? PaperMm{279.4, 215.9} : PaperMm{297, 210};
}

TapeContent tapeContent(const ScoreModel &model, const ExportInstrument &instrument) {
    TapeContent content;
    int track[128];
    std::fill(std::begin(track), std::end(track), -1);
    for (std::size_t i = 0; i < instrument.notes.size(); ++i)
        if (instrument.notes[i] < 128)
            track[instrument.notes[i]] = int(i);
    const TapeGeometry g = instrument.geometry.value_or(TapeGeometry());
    const double mmPerTick = g.mmPerSecond / model.ticksPerFrame();
    for (const TapeNote &n : model.notes()) {
        if (!model.isChannelShown(n))
            continue;
        const double start = n.start * mmPerTick;
        const double length = std::max(n.length * mmPerTick, g.holeLengthMinMm);
        content.lengthMm = std::max(content.lengthMm, start + length);
        if (n.note < 128 && track[n.note] >= 0) {
            content.marks.push_back(TapeMark{unsigned(track[n.note]), start, length});
            content.longestMarkMm = std::max(content.longestMarkMm, length);
        } else
            content.unplayable.push_back(n);
    }
    return content;
}

ExportResult planTape(const TapeGeometry &g, Paper paper, double lengthMm, TapePlan &plan) {
    if (!usable(g.tapeWidthMm, false) || !usable(g.trackPitchMm, false) ||
        !usable(g.firstTrackMm, true) || !usable(g.mmPerSecond, false) ||
        !usable(g.holeLengthMinMm, true))
        return {errExportGeometry, "the instrument's tape geometry is incomplete or not positive"};
    plan.paper = paperSize(paper);
    const double across = plan.paper.height - 2 * pageMarginMm - pageHeaderMm;
    if (g.tapeWidthMm > across) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "a tape %.1f mm wide does not fit across the paper (at most %.1f mm)",
                      g.tapeWidthMm, across);
        return {errExportGeometry, text};
    }
    plan.tapeLeftMm = pageMarginMm;
    plan.tapeTopMm = pageMarginMm + pageHeaderMm;
    plan.advanceMm = plan.paper.width - 2 * pageMarginMm - glueOverlapMm;
    plan.tapeLengthMm = lengthMm;
    const double pages = std::max(1.0, std::ceil(lengthMm / plan.advanceMm - 1e-9));
    if (pages > maxExportPages)
        return {errExportTooLarge, "the tape would need " + std::to_string((long long)pages) +
                                       " pages, more than " + std::to_string(maxExportPages)};
    plan.pages = unsigned(pages);
    return {};
}

namespace {

void text(cairo_t *cr, double x, double y, double sizeMm, const std::string &s) {
    cairo_set_font_size(cr, sizeMm);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, s.c_str());
    cairo_new_path(cr);
}

void strokeLine(cairo_t *cr, double x0, double y0, double x1, double y1) {
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
}

// Crop marks outside the tape's corners at x, pointing away from the piece by `outward`.
void cropMarks(cairo_t *cr, double x, double top, double bottom, double outward) {
    strokeLine(cr, x, top - 1, x, top - cropMarkMm);
    strokeLine(cr, x, bottom + 1, x, bottom + cropMarkMm);
    strokeLine(cr, x + outward, top, x + outward * cropMarkMm, top);
    strokeLine(cr, x + outward, bottom, x + outward * cropMarkMm, bottom);
}

// The notes the instrument cannot play, as many lines as fit between y and the bottom margin.
void listUnplayable(cairo_t *cr, const std::vector<TapeNote> &notes, const ScoreModel &model,
                    const std::string &instrument, double x, double y, double width,
                    double bottom) {
    if (notes.empty())
        return;
    cairo_set_source_rgb(cr, 0, 0, 0);
    text(cr, x, y, 3.5,
         std::to_string(notes.size()) + " note(s) that " + instrument +
             " cannot play, not on the tape:");
    std::string line;
    std::size_t shown = 0;
    cairo_set_font_size(cr, 3);
    for (std::size_t i = 0; i <= notes.size(); ++i) {
        std::string item;
        if (i < notes.size())
            item = noteName(notes[i].note) + " (" + std::to_string(notes[i].note) + ") at " +
                   secondsText(double(notes[i].start) / model.ticksPerFrame()) + " s";
        cairo_text_extents_t extents;
        const std::string longer = line.empty() ? item : line + ",  " + item;
        cairo_text_extents(cr, longer.c_str(), &extents);
        if (i < notes.size() && (line.empty() || extents.x_advance <= width)) {
            line = longer;
            ++shown;
            continue;
        }
        y += textLineMm;
        const bool last = y + 2 * textLineMm > bottom;
        if (last && i < notes.size())
            line += ",  and " + std::to_string(notes.size() - shown) + " more";
        text(cr, x, y, 3, line);
        if (last || i == notes.size())
            return;
        line = item;
        ++shown;
    }
}

void drawMark(cairo_t *cr, const TapeMark &m, double x, double y, double size, bool holes) {
    if (!holes) {
        cairo_rectangle(cr, x, y - size / 2, m.lengthMm, size);
        cairo_fill(cr);
        return;
    }
    // Round holes from the start to the end, at most one and a quarter diameters apart.
    const double span = std::max(m.lengthMm - size, 0.0);
    const int gaps = int(std::ceil(span / (1.25 * size) - 1e-9));
    for (int i = 0; i <= gaps; ++i) {
        const double cx = x + size / 2 + (gaps > 0 ? span * i / gaps : 0);
        cairo_new_sub_path(cr);
        cairo_arc(cr, cx, y, size / 2, 0, 2 * M_PI);
    }
    cairo_fill(cr);
}

void drawPiece(cairo_t *cr, unsigned page, const TapePlan &plan, const TapeContent &content,
               const TapeGeometry &g, const ScoreModel &model, const ExportOptions &options,
               unsigned tracks) {
    const double left = plan.tapeLeftMm, top = plan.tapeTopMm, bottom = top + g.tapeWidthMm;
    const double from = page * plan.advanceMm; // tape position at the piece's left end
    const double length = plan.advanceMm + glueOverlapMm;
    const double right = left + length;

    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_source_rgb(cr, 0, 0, 0);
    const double endSeconds = std::min(from + length, plan.tapeLengthMm) / g.mmPerSecond;
    text(cr, left, pageMarginMm + 4, 4,
         "Piece " + std::to_string(page + 1) + " of " + std::to_string(plan.pages) + "   seconds " +
             secondsText(from / g.mmPerSecond) + " to " +
             secondsText(std::max(endSeconds, from / g.mmPerSecond)));
    text(cr, left, pageMarginMm + 8.5, 3.2,
         options.sourceName + "   " + options.instrument.name +
             "   print at 100 %: the bar below measures 100 mm");

    // The glue strip: the next piece's start goes onto it.
    if (page + 1 < plan.pages) {
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        cairo_rectangle(cr, right - glueOverlapMm, top, glueOverlapMm, g.tapeWidthMm);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.4, 0.4, 0.4);
        text(cr, right - glueOverlapMm + 1, top - 1, 2.5, "glue");
    }
    // Track guides and the tape's edges.
    cairo_set_line_width(cr, 0.1);
    cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
    for (unsigned t = 0; t < tracks; ++t) {
        const double y = bottom - g.firstTrackMm - t * g.trackPitchMm;
        strokeLine(cr, left, y, right, y);
    }
    cairo_set_line_width(cr, 0.2);
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    strokeLine(cr, left, top, right, top);
    strokeLine(cr, left, bottom, right, bottom);
    // Cut at both ends: crop marks outside the tape's corners.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cropMarks(cr, left, top, bottom, -1);
    cropMarks(cr, right, top, bottom, 1);
    // Seconds along the lower edge.
    const double step = g.mmPerSecond >= 8 ? 1 : g.mmPerSecond >= 2 ? 5 : 10;
    for (double s = std::ceil(from / g.mmPerSecond / step) * step;
         s * g.mmPerSecond <= from + length; s += step) {
        const double x = left + s * g.mmPerSecond - from;
        strokeLine(cr, x, bottom, x, bottom + 2);
        text(cr, x + 0.5, bottom + 4.5, 2.5, std::to_string((long long)s));
    }
    // The notes, cut off at the piece's ends.
    cairo_save(cr);
    cairo_rectangle(cr, left, top, length, g.tapeWidthMm);
    cairo_clip(cr);
    const double size = markAcross * g.trackPitchMm;
    // The marks are ordered by start: the first that may reach the piece starts at most the
    // longest mark's length before it.
    const auto firstMark =
        std::lower_bound(content.marks.begin(), content.marks.end(), from - content.longestMarkMm,
                         [](const TapeMark &m, double mm) { return m.startMm < mm; });
    for (auto it = firstMark; it != content.marks.end() && it->startMm <= from + length; ++it) {
        const TapeMark &m = *it;
        if (m.startMm + m.lengthMm < from)
            continue;
        const double y = bottom - g.firstTrackMm - m.track * g.trackPitchMm;
        drawMark(cr, m, left + m.startMm - from, y, size, options.holes);
    }
    cairo_restore(cr);
    // A 100 mm bar to check the printed scale.
    const double barY = plan.paper.height - pageMarginMm / 2;
    cairo_set_line_width(cr, 0.3);
    strokeLine(cr, left, barY, left + 100, barY);
    strokeLine(cr, left, barY - 1.5, left, barY + 1.5);
    strokeLine(cr, left + 100, barY - 1.5, left + 100, barY + 1.5);
    text(cr, left + 102, barY + 1, 2.5, "100 mm");

    if (page == 0)
        listUnplayable(cr, content.unplayable, model, options.instrument.name, left, bottom + 11,
                       plan.paper.width - 2 * pageMarginMm, plan.paper.height - pageMarginMm);
}

} // namespace

ExportResult writeTapePdf(const ScoreModel &model, const ExportOptions &options, ExportFile &file,
                          ProgressTicker ticker) {
    const TapeGeometry g = *options.instrument.geometry;
    const TapeContent content = tapeContent(model, options.instrument);
    TapePlan plan;
    if (ExportResult r = planTape(g, options.paper, content.lengthMm, plan); !r)
        return r;
    cairo_surface_t *surface = cairo_pdf_surface_create_for_stream(ExportFile::cairoWrite, &file,
                                                                   plan.paper.width * pointsPerMm,
                                                                   plan.paper.height * pointsPerMm);
    if (!options.sourceName.empty())
        cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE,
                                       options.sourceName.c_str());
    cairo_t *cr = cairo_create(surface);
    cairo_scale(cr, pointsPerMm, pointsPerMm); // from here on millimetres
    ticker.setTotal(plan.pages);
    for (unsigned page = 0; page < plan.pages; ++page) {
        if (ticker.cancelled()) {
            finishSurface(surface, cr);
            return ProgressTicker::cancelledResult();
        }
        ticker.step();
        drawPiece(cr, page, plan, content, g, model, options,
                  unsigned(options.instrument.notes.size()));
        cairo_show_page(cr);
    }
    ExportResult r = finishSurface(surface, cr);
    if (r)
        r.pages = plan.pages;
    return r;
}

} // namespace tw
