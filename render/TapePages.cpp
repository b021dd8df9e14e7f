// The punched tape at the instrument's true scale: time along the tape, one track per playable
// note across it, cut into page-long pieces that overlap for gluing.
#include "render/CutPlan.h"
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
        if (n.note < 128 && track[n.note] >= 0)
            content.marks.push_back(TapeMark{unsigned(track[n.note]), start, length});
        else
            content.unplayable.push_back(n);
    }
    return content;
}

ExportResult planTape(const TapeGeometry &g, Paper paper, double lengthMm, TapePlan &plan) {
    if (!usableLength(g.tapeWidthMm, false) || !usableLength(g.trackPitchMm, false) ||
        !usableLength(g.firstTrackMm, true) || !usableLength(g.mmPerSecond, false) ||
        !usableLength(g.holeLengthMinMm, true))
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

// Notes under a heading, as many lines as fit between y and the bottom margin; returns the y
// below the last line.
double listNotes(cairo_t *cr, const std::vector<TapeNote> &notes, const ScoreModel &model,
                 const std::string &heading, double x, double y, double width, double bottom) {
    if (notes.empty())
        return y;
    cairo_set_source_rgb(cr, 0, 0, 0);
    text(cr, x, y, 3.5, heading);
    std::string line;
    std::size_t shown = 0;
    cairo_set_font_size(cr, 3);
    for (std::size_t i = 0; i <= notes.size(); ++i) {
        std::string item;
        if (i < notes.size())
            item = noteName(notes[i].note) + " (" + std::to_string(notes[i].note) + ") at " +
                   oneDecimal(double(notes[i].start) / model.ticksPerFrame()) + " s";
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
            return y + textLineMm + 2;
        line = item;
        ++shown;
    }
    return y;
}

// Adds the mark's shape to the path; the caller fills the marks of a piece together (one
// opaque colour: the same picture as one fill each, at a fraction of the PDF operators).
void addMark(cairo_t *cr, const TapeMark &m, double x, double y, double size, bool holes) {
    if (!holes) {
        cairo_rectangle(cr, x, y - size / 2, m.lengthMm, size);
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
}

// The path of a piece's outline, `left` millimetres right of the page margin's x.
void outlinePath(cairo_t *cr, const CutPiece &piece, double x, double top, double width) {
    const double bottom = top + width;
    cairo_move_to(cr, x + piece.left.at(0, width), bottom);
    cairo_line_to(cr, x + piece.right.at(0, width), bottom);
    cairo_line_to(cr, x + piece.right.at(width, width), top);
    cairo_line_to(cr, x + piece.left.at(width, width), top);
    cairo_close_path(cr);
}

void drawPiece(cairo_t *cr, unsigned page, const TapePlan &plan, const CutPlan &cut,
               const TapeGeometry &g, const ExportOptions &options, unsigned tracks) {
    const CutPiece &piece = cut.pieces[page];
    const double W = g.tapeWidthMm;
    const double top = plan.tapeTopMm, bottom = top + W;
    const double x0 = plan.tapeLeftMm - piece.minXMm; // the page's x of the strip's 0
    const auto X = [&](const PieceEdge &e, double y) { return x0 + e.at(y, W); };
    const auto Y = [&](double y) { return bottom - y; };
    const bool last = page + 1 == cut.pieces.size();

    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_source_rgb(cr, 0, 0, 0);
    const auto [fromS, toS] = pieceSeconds(cut, piece);
    text(cr, plan.tapeLeftMm, pageMarginMm + 4, 4,
         "Piece " + std::to_string(page + 1) + " of " + std::to_string(cut.pieces.size()) +
             "   seconds " + oneDecimal(fromS) + " to " + oneDecimal(toS));
    text(cr, plan.tapeLeftMm, pageMarginMm + 8.5, 3.2,
         options.sourceName + "   " + options.instrument.name +
             "   print at 100 %: the bar below measures 100 mm");

    // The join: the next piece's start goes onto it.
    const PieceEdge &joinEdge = g.startRight ? piece.left : piece.right;
    const double inward = g.startRight ? g.joinMm : -g.joinMm;
    if (!last && g.joinMm > 0) {
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        cairo_move_to(cr, X(joinEdge, 0), Y(0));
        cairo_line_to(cr, X(joinEdge, W), Y(W));
        cairo_line_to(cr, X(joinEdge, W) + inward, Y(W));
        cairo_line_to(cr, X(joinEdge, 0) + inward, Y(0));
        cairo_close_path(cr);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.4, 0.4, 0.4);
        text(cr, std::min(X(joinEdge, W), X(joinEdge, W) + inward) + 1, top - 1, 2.5, "glue");
    }
    // Track guides and the tape's edges.
    cairo_set_line_width(cr, 0.1);
    cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
    for (unsigned t = 0; t < tracks; ++t) {
        const double y = g.firstTrackMm + t * g.trackPitchMm;
        strokeLine(cr, X(piece.left, y), Y(y), X(piece.right, y), Y(y));
    }
    cairo_set_line_width(cr, 0.2);
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    strokeLine(cr, X(piece.left, 0), bottom, X(piece.right, 0), bottom);
    strokeLine(cr, X(piece.left, W), top, X(piece.right, W), top);
    // The ends to cut along, light so that they hide no hole, and crop marks outside the tape.
    cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
    strokeLine(cr, X(piece.left, 0), bottom, X(piece.left, W), top);
    strokeLine(cr, X(piece.right, 0), bottom, X(piece.right, W), top);
    cairo_set_source_rgb(cr, 0, 0, 0);
    strokeLine(cr, X(piece.left, W), top - 1, X(piece.left, W), top - cropMarkMm);
    strokeLine(cr, X(piece.left, 0), bottom + 1, X(piece.left, 0), bottom + cropMarkMm);
    strokeLine(cr, X(piece.right, W), top - 1, X(piece.right, W), top - cropMarkMm);
    strokeLine(cr, X(piece.right, 0), bottom + 1, X(piece.right, 0), bottom + cropMarkMm);
    // Alignment lines across the seams, the same on both pieces.
    cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
    const double reach = g.joinMm + 6;
    for (double part : {0.25, 0.75}) {
        const double y =
            g.firstTrackMm +
            (std::floor((part * W - g.firstTrackMm) / g.trackPitchMm) + 0.5) * g.trackPitchMm;
        if (y <= 0 || y >= W)
            continue;
        const PieceEdge &startEdge = g.startRight ? piece.right : piece.left;
        if (!last)
            strokeLine(cr, X(joinEdge, y), Y(y), X(joinEdge, y) + (g.startRight ? reach : -reach),
                       Y(y));
        if (page > 0)
            strokeLine(cr, X(startEdge, y), Y(y), X(startEdge, y) + (g.startRight ? -reach : reach),
                       Y(y));
    }
    // Seconds along the lower edge.
    cairo_set_source_rgb(cr, 0, 0, 0);
    const double step = g.mmPerSecond >= 8 ? 1 : g.mmPerSecond >= 2 ? 5 : 10;
    for (double s = std::ceil(fromS / step) * step; s <= toS + 1e-9; s += step) {
        const double along = g.startRight ? cut.lengthMm - g.leadInMm - s * g.mmPerSecond
                                          : g.leadInMm + s * g.mmPerSecond;
        if (along < piece.minXMm || along > piece.maxXMm)
            continue;
        strokeLine(cr, x0 + along, bottom, x0 + along, bottom + 2);
        text(cr, x0 + along + 0.5, bottom + 4.5, 2.5, std::to_string((long long)s));
    }
    // The holes of this piece, and rings around the ones still too close.
    cairo_save(cr);
    outlinePath(cr, piece, x0, top, W);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    // Filled and stroked in batches: a path of very many parts costs Cairo more than several.
    constexpr unsigned batch = 256;
    unsigned inPath = 0;
    forEachHole(cut, page, [&](const CutHole &h) {
        const TapeMark m{h.track, h.x0Mm - h.radiusMm, h.x1Mm - h.x0Mm + 2 * h.radiusMm};
        addMark(cr, m, x0 + m.startMm, Y(h.yMm), 2 * h.radiusMm, options.holes);
        if (++inPath == batch) {
            cairo_fill(cr);
            inPath = 0;
        }
        return true;
    });
    cairo_fill(cr);
    cairo_restore(cr);
    cairo_set_source_rgb(cr, 0.85, 0, 0);
    cairo_set_line_width(cr, 0.25);
    inPath = 0;
    forEachHole(cut, page, [&](const CutHole &h) {
        if (cut.ringed[h.note] && h.x0Mm <= piece.maxXMm) {
            cairo_new_sub_path(cr);
            cairo_arc(cr, x0 + (h.x0Mm + h.x1Mm) / 2, Y(h.yMm),
                      h.radiusMm + (h.x1Mm - h.x0Mm) / 2 + 1, 0, 2 * M_PI);
            if (++inPath == batch) {
                cairo_stroke(cr);
                inPath = 0;
            }
        }
        return true;
    });
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    // A 100 mm bar to check the printed scale.
    const double left = plan.tapeLeftMm;
    const double barY = plan.paper.height - pageMarginMm / 2;
    cairo_set_line_width(cr, 0.3);
    strokeLine(cr, left, barY, left + 100, barY);
    strokeLine(cr, left, barY - 1.5, left, barY + 1.5);
    strokeLine(cr, left + 100, barY - 1.5, left + 100, barY + 1.5);
    text(cr, left + 102, barY + 1, 2.5, "100 mm");
}

} // namespace

ExportResult writeTapePdf(const ScoreModel &model, const ExportOptions &options, ExportFile &file,
                          ProgressTicker ticker) {
    const TapeGeometry g = *options.instrument.geometry;
    const TapeContent content = tapeContent(model, options.instrument);
    TapePlan plan;
    if (ExportResult r = planTape(g, options.paper, content.lengthMm, plan); !r)
        return r;
    // The pieces as the cutter files cut them, no longer than the page (or the bed) allows.
    // Bars last as long as their notes; round holes are one a note unless the instrument cuts
    // slots, which the page shows as rows of holes.
    const double page = plan.paper.width - 2 * pageMarginMm;
    CutPlan cut;
    if (ExportResult r =
            planCut(model, options.instrument,
                    g.bedLengthMm > 0 ? std::min(g.bedLengthMm, page) : page, true, cut);
        !r)
        return r;
    plan.pages = unsigned(cut.pieces.size());
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
        drawPiece(cr, page, plan, cut, g, options, unsigned(options.instrument.notes.size()));
        if (page == 0) {
            const double x = plan.tapeLeftMm, width = plan.paper.width - 2 * pageMarginMm;
            const double bottom = plan.paper.height - pageMarginMm;
            double y = listNotes(cr, content.unplayable, model,
                                 std::to_string(content.unplayable.size()) + " note(s) that " +
                                     options.instrument.name + " cannot play, not on the tape:",
                                 x, plan.tapeTopMm + g.tapeWidthMm + 11, width, bottom);
            const std::vector<TapeNote> close = laterNotesTooClose(cut);
            listNotes(cr, close, model,
                      std::to_string(close.size()) +
                          " note(s) too close to repeat after the previous one of their key, "
                          "ringed in red:",
                      x, y, width, bottom);
        }
        cairo_show_page(cr);
    }
    ExportResult r = finishSurface(surface, cr);
    if (r)
        r.pages = plan.pages;
    return r;
}

} // namespace tw
