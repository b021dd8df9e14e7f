#include "render/CutPlan.h"

#include "render/ExportParts.h"
#include "scoremodel/TapeFixes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tw {

namespace {

// Bars and holes are this part of the track pitch across the tape unless the instrument says.
constexpr double defaultHoleAcross = 0.6;
// The shortest piece between two seams, in parts of the bed.
constexpr double shortestPiece = 0.25;

struct Span {
    double lo, hi;
};

// The seam centres that would bring a seam too near a hole, one span a hole.
std::vector<Span> holeSpans(const CutPlan &plan, double slant, double join, double safety) {
    std::vector<Span> spans;
    spans.reserve(plan.holes.size());
    // Distances across a diagonal seam are measured square to it: along the strip they are
    // longer by the seam's slope.
    const double slope = std::hypot(plan.widthMm, slant) / plan.widthMm;
    for (const CutHole &h : plan.holes) {
        const double offset = slant * (h.yMm / plan.widthMm - 0.5);
        const double reach = (h.radiusMm + safety) * slope + join / 2;
        spans.push_back({h.x0Mm - reach - offset, h.x1Mm + reach - offset});
    }
    return spans;
}

// The same spans merged where they meet, ascending.
std::vector<Span> merged(std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end(), [](const Span &a, const Span &b) { return a.lo < b.lo; });
    std::vector<Span> merged;
    for (const Span &s : spans) {
        if (!merged.empty() && s.lo <= merged.back().hi)
            merged.back().hi = std::max(merged.back().hi, s.hi);
        else
            merged.push_back(s);
    }
    return merged;
}

// The latest seam centre in [low, high] outside every span; false when there is none.
bool latestFree(const std::vector<Span> &spans, double low, double high, double &c) {
    // The last span that begins at or before `high`.
    auto it = std::upper_bound(spans.begin(), spans.end(), high,
                               [](double x, const Span &s) { return x < s.lo; });
    if (it == spans.begin() || std::prev(it)->hi < high) {
        c = high;
        return true;
    }
    // Just before the span is free unless the span before it ends within that hundredth.
    for (--it;; --it) {
        c = it->lo - 0.01;
        if (it == spans.begin() || std::prev(it)->hi < c)
            return c >= low;
    }
}

CutPiece piece(PieceEdge left, PieceEdge right, double width) {
    CutPiece p{left, right, 0, 0};
    p.minXMm = std::min(left.at(0, width), left.at(width, width));
    p.maxXMm = std::max(right.at(0, width), right.at(width, width));
    return p;
}

ExportResult cutPieces(CutPlan &plan, double bed) {
    const TapeGeometry &g = plan.geometry;
    const double width = plan.widthMm, length = plan.lengthMm;
    if (bed <= 0 || length <= bed) {
        plan.pieces.push_back(piece({0, 0}, {length, 0}, width));
        return {};
    }
    const double slant = seamSlantPerWidth * width;
    const double join = g.joinMm, safety = g.seamSafetyMm;
    // A middle piece holds its two overlaps and the slant of both ends.
    const double advance = bed - join - slant;
    if (advance < 2 * (join + 2 * safety) || advance < 10)
        return {errExportGeometry, "pieces of at most " + oneDecimal(bed) +
                                       " mm leave no room between " + "joins of " +
                                       oneDecimal(join) + " mm on a tape " + oneDecimal(width) +
                                       " mm wide"};
    if (length / advance > maxCutPieces)
        return {errExportTooLarge, "the strip of " + oneDecimal(length / 1000) +
                                       " m would need more than " + std::to_string(maxCutPieces) +
                                       " pieces"};
    const std::vector<Span> each = holeSpans(plan, slant, join, safety);
    const std::vector<Span> spans = merged(each);
    // For music too dense for a free seam: how many holes a seam at c comes near.
    std::vector<double> starts, ends;
    for (const Span &s : each) {
        starts.push_back(s.lo);
        ends.push_back(s.hi);
    }
    std::sort(starts.begin(), starts.end());
    std::sort(ends.begin(), ends.end());
    const auto near = [&](double c) {
        return unsigned((std::upper_bound(starts.begin(), starts.end(), c) - starts.begin()) -
                        (std::upper_bound(ends.begin(), ends.end(), c) - ends.begin()));
    };
    PieceEdge left{0, 0};
    double from = 0; // the current piece's first millimetre
    while (length > from + bed) {
        const double high = from + bed - join / 2 - slant / 2;
        const double low = std::max(from + shortestPiece * bed, high - advance);
        double c = high;
        if (!latestFree(spans, low, high, c)) {
            // Music too dense for a free seam anywhere: the place that comes near the fewest
            // holes, latest first; those holes go on the next piece and are counted.
            c = high;
            unsigned fewest = near(high);
            // At most a few thousand places a seam, a quarter millimetre apart or wider.
            const double step = std::max(0.25, (high - low) / 4000);
            for (double at = high; at >= low && fewest > 0; at -= step)
                if (const unsigned n = near(at); n < fewest) {
                    fewest = n;
                    c = at;
                }
            plan.holesAtSeams += fewest;
        }
        plan.pieces.push_back(piece(left, {c + join / 2, slant}, width));
        left = {c - join / 2, slant};
        from = c - join / 2 - slant / 2;
    }
    plan.pieces.push_back(piece(left, {length, 0}, width));
    return {};
}

} // namespace

std::pair<double, double> pieceSeconds(const CutPlan &plan, const CutPiece &piece) {
    const TapeGeometry &g = plan.geometry;
    // Along the melody: from the strip's starting end.
    double from = piece.minXMm, to = piece.maxXMm;
    if (g.startRight) {
        from = plan.lengthMm - piece.maxXMm;
        to = plan.lengthMm - piece.minXMm;
    }
    const double end = plan.lengthMm - g.leadOutMm - g.leadInMm;
    const double first = std::clamp(from - g.leadInMm, 0.0, std::max(end, 0.0));
    const double last = std::clamp(to - g.leadInMm, first, std::max(end, first));
    return {first / g.mmPerSecond, last / g.mmPerSecond};
}

double holeStartMm(const TapeGeometry &g, unsigned tick, unsigned ticksPerFrame) {
    return g.leadInMm + double(tick) * g.mmPerSecond / ticksPerFrame;
}

ExportResult planCut(const ScoreModel &model, const ExportInstrument &instrument, double bedMm,
                     bool slots, CutPlan &plan) {
    plan = CutPlan();
    if (!instrument.geometry)
        return {errExportGeometry,
                (instrument.name.empty() ? std::string("no instrument") : instrument.name) +
                    " gives no tape geometry"};
    const TapeGeometry &g = *instrument.geometry;
    if (!usableLength(g.tapeWidthMm, false) || !usableLength(g.trackPitchMm, false) ||
        !usableLength(g.firstTrackMm, true) || !usableLength(g.mmPerSecond, false) ||
        !usableLength(g.holeLengthMinMm, true) || !usableLength(g.holeDiameterMm, true) ||
        !usableLength(g.minHoleSpacingMm, true) || !usableLength(g.leadInMm, true) ||
        !usableLength(g.leadOutMm, true) || !usableLength(g.bedLengthMm, true) ||
        !usableLength(g.joinMm, true) || !usableLength(g.seamSafetyMm, true) ||
        !usableLength(bedMm, true))
        return {errExportGeometry, "the instrument's tape geometry is incomplete or not positive"};
    plan.geometry = g;
    plan.widthMm = g.tapeWidthMm;
    const double radius =
        (g.holeDiameterMm > 0 ? g.holeDiameterMm : defaultHoleAcross * g.trackPitchMm) / 2;
    int track[128];
    std::fill(std::begin(track), std::end(track), -1);
    for (std::size_t i = 0; i < instrument.notes.size(); ++i)
        if (instrument.notes[i] < 128)
            track[instrument.notes[i]] = int(i);
    const unsigned tpf = model.ticksPerFrame();
    const double mmPerTick = g.mmPerSecond / tpf;
    double end = g.leadInMm;
    for (const TapeNote &n : model.notes()) {
        if (!model.isChannelShown(n))
            continue;
        const double start = holeStartMm(g, n.start, tpf);
        const double length = std::max({n.length * mmPerTick, g.holeLengthMinMm, 2 * radius});
        end = std::max(end, start + length);
        if (n.note >= 128 || track[n.note] < 0) {
            plan.unplayable.push_back(n);
            continue;
        }
        CutHole h;
        h.track = unsigned(track[n.note]);
        h.radiusMm = radius;
        h.x0Mm = start + radius;
        h.x1Mm = slots || g.slots ? start + length - radius : h.x0Mm;
        h.yMm = g.firstTrackMm + h.track * g.trackPitchMm;
        h.note = plan.notes.size();
        if (h.yMm - radius < 0 || h.yMm + radius > g.tapeWidthMm)
            return {errExportGeometry, "the track of " + std::to_string(n.note) + " lies at " +
                                           oneDecimal(h.yMm) + " mm, outside the tape " +
                                           oneDecimal(g.tapeWidthMm) + " mm wide"};
        plan.holes.push_back(h);
        plan.notes.push_back(n);
    }
    plan.lengthMm = end + g.leadOutMm;
    if (ExportResult r = cutPieces(plan, bedMm); !r)
        return r;
    // Each hole on the last piece that it reaches: a hole in a join goes on the later piece
    // (and is punched through both once they are joined).
    unsigned first = 0; // pieces before the hole's; holes come in the order of their starts
    for (CutHole &h : plan.holes) {
        while (first > 0 && plan.pieces[first].left.at(h.yMm, plan.widthMm) >= h.x1Mm + h.radiusMm)
            --first;
        unsigned p = first;
        while (p + 1 < plan.pieces.size() &&
               plan.pieces[p + 1].left.at(h.yMm, plan.widthMm) < h.x1Mm + h.radiusMm)
            ++p;
        h.piece = p;
        first = p;
    }
    RepeatRule rule;
    rule.minGapMs = instrument.minGapMs;
    rule.ticksPerFrame = tpf;
    rule.minOnsetSeconds = std::min(200.0, g.minHoleSpacingMm / g.mmPerSecond);
    for (const ClosePair &p : pairsTooClose(plan.notes, rule))
        plan.tooClose.emplace_back(p.earlier, p.later); // holes are in the order of the notes
    if (g.startRight) {
        const double L = plan.lengthMm;
        for (CutHole &h : plan.holes) {
            const double x0 = L - h.x1Mm, x1 = L - h.x0Mm;
            h.x0Mm = x0;
            h.x1Mm = x1;
        }
        for (CutPiece &p : plan.pieces)
            p = piece({L - p.right.centreMm, -p.right.slantMm},
                      {L - p.left.centreMm, -p.left.slantMm}, plan.widthMm);
    }
    return {};
}

std::string stripSummary(const ScoreModel &model, const ExportOptions &options) {
    const bool cutter =
        options.format == ExportFormat::cutSvg || options.format == ExportFormat::dxf;
    if (!options.instrument.geometry || !(cutter || options.format == ExportFormat::pdf))
        return "";
    const TapeGeometry &g = *options.instrument.geometry;
    double bed = g.bedLengthMm;
    if (!cutter) { // a PDF piece is no longer than the page
        const double page = paperSize(options.paper).width - 2 * pageMarginMm;
        bed = bed > 0 ? std::min(bed, page) : page;
    }
    CutPlan plan;
    const ExportResult r =
        planCut(model, options.instrument, bed, !cutter && (!options.holes || g.slots), plan);
    if (!r)
        return r.reason;
    const auto count = [](std::size_t n, const char *one, const char *many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    char metres[32];
    std::snprintf(metres, sizeof metres, "%.2f", plan.lengthMm / 1000);
    std::string summary = std::string("Strip ") + metres +
                          " m: " + count(plan.pieces.size(), "piece", "pieces") + ", " +
                          count(plan.holes.size(), "hole", "holes") + ", " +
                          count(plan.tooClose.size(), "pair", "pairs") + " too close";
    if (plan.holesAtSeams > 0)
        summary += ", " + count(plan.holesAtSeams, "hole", "holes") +
                   " in joins (punch through once joined)";
    return summary;
}

std::vector<std::vector<std::size_t>> holesByPiece(const CutPlan &plan) {
    std::vector<std::vector<std::size_t>> out(plan.pieces.size());
    for (std::size_t i = 0; i < plan.holes.size(); ++i)
        out[plan.holes[i].piece].push_back(i);
    return out;
}

std::vector<std::size_t> cuttingOrder(const CutPlan &plan, const std::vector<std::size_t> &holes) {
    const double column = std::max(4 * plan.geometry.trackPitchMm, 1.0);
    struct Key {
        long long column;
        double y, x;
        std::size_t hole;
    };
    std::vector<Key> keys;
    for (std::size_t i : holes) {
        const CutHole &h = plan.holes[i];
        const long long c = (long long)std::floor(h.x0Mm / column);
        keys.push_back({c, c % 2 == 0 ? h.yMm : -h.yMm, h.x0Mm, i});
    }
    std::sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
        return a.column != b.column ? a.column < b.column : a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    std::vector<std::size_t> order;
    order.reserve(keys.size());
    for (const Key &k : keys)
        order.push_back(k.hole);
    return order;
}

} // namespace tw
