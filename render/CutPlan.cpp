#include "render/CutPlan.h"

#include "render/ExportParts.h"
#include "scoremodel/TapeFixes.h"

#include <algorithm>
#include <climits>
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

// Storage indexes [first, last) of the notes whose holes may start between fromMm and toMm
// along the strip (before any mirroring); a tick of slack either way, callers look closer.
std::pair<std::size_t, std::size_t> notesStarting(const CutPlan &plan, double fromMm, double toMm) {
    const std::vector<TapeNote> &notes = plan.model->notes();
    const TapeGeometry &g = plan.geometry;
    const double mmPerTick = g.mmPerSecond / plan.model->ticksPerFrame();
    // Within the ticks a note may start at (32 bits) and one beyond either end.
    const auto tickAt = [&](double mm) {
        return std::clamp((mm - g.leadInMm) / mmPerTick, -1.0, 4294967296.0 + 1);
    };
    const double lowTick = std::floor(tickAt(fromMm)) - 1, highTick = std::ceil(tickAt(toMm)) + 1;
    const auto first =
        std::lower_bound(notes.begin(), notes.end(), lowTick,
                         [](const TapeNote &n, double tick) { return double(n.start) < tick; });
    const auto last =
        std::upper_bound(first, notes.end(), highTick,
                         [](double tick, const TapeNote &n) { return tick < double(n.start); });
    return {std::size_t(first - notes.begin()), std::size_t(last - notes.begin())};
}

// The hole of note `i` before any mirroring, its piece not yet known; false when the note has
// none (not shown, or no track).
bool plainHole(const CutPlan &plan, std::size_t i, CutHole &h) {
    const TapeNote &n = plan.model->notes()[i];
    if (n.note >= 128 || plan.track[n.note] < 0 || !plan.model->isChannelShown(n))
        return false;
    const TapeGeometry &g = plan.geometry;
    const unsigned tpf = plan.model->ticksPerFrame();
    const double mmPerTick = g.mmPerSecond / tpf;
    const double radius = plan.radiusMm;
    const double start = holeStartMm(g, n.start, tpf);
    const double length = std::max({n.length * mmPerTick, g.holeLengthMinMm, 2 * radius});
    h.track = unsigned(plan.track[n.note]);
    h.radiusMm = radius;
    h.x0Mm = start + radius;
    h.x1Mm = plan.slots ? start + length - radius : h.x0Mm;
    h.yMm = g.firstTrackMm + h.track * g.trackPitchMm;
    h.note = i;
    h.piece = 0;
    return true;
}

// The seam centres that would bring a seam too near a hole, one span a hole, for the holes
// whose spans may reach [low, high]: only they can keep a seam from there.
std::vector<Span> holeSpans(const CutPlan &plan, double low, double high, double slant, double join,
                            double safety) {
    std::vector<Span> spans;
    // Distances across a diagonal seam are measured square to it: along the strip they are
    // longer by the seam's slope.
    const double slope = std::hypot(plan.widthMm, slant) / plan.widthMm;
    const double reach = (plan.radiusMm + safety) * slope + join / 2;
    const auto [first, last] = notesStarting(plan, low - reach - slant / 2 - plan.lookBackMm - 1,
                                             high + reach + slant / 2 + 1);
    CutHole h;
    for (std::size_t i = first; i < last; ++i) {
        if (!plainHole(plan, i, h))
            continue;
        const double offset = slant * (h.yMm / plan.widthMm - 0.5);
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
    PieceEdge left{0, 0};
    double from = 0; // the current piece's first millimetre
    while (length > from + bed) {
        const double high = from + bed - join / 2 - slant / 2;
        const double low = std::max(from + shortestPiece * bed, high - advance);
        // Only the holes near the seam's room matter: the spans of the others lie apart.
        const std::vector<Span> each = holeSpans(plan, low, high, slant, join, safety);
        const std::vector<Span> spans = merged(each);
        // For music too dense for a free seam: how many holes a seam at c comes near.
        std::vector<double> starts, ends;
        starts.reserve(each.size());
        ends.reserve(each.size());
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
                     bool slots, CutPlan &plan, const std::atomic<bool> *stop) {
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
    plan.model = &model;
    plan.radiusMm =
        (g.holeDiameterMm > 0 ? g.holeDiameterMm : defaultHoleAcross * g.trackPitchMm) / 2;
    plan.slots = slots || g.slots;
    plan.track.fill(-1);
    for (std::size_t i = 0; i < instrument.notes.size(); ++i)
        if (instrument.notes[i] < 128)
            plan.track[instrument.notes[i]] = int(i);
    const unsigned tpf = model.ticksPerFrame();
    const double mmPerTick = g.mmPerSecond / tpf;
    plan.rule.minGapMs = instrument.minGapMs;
    plan.rule.ticksPerFrame = tpf;
    plan.rule.minOnsetSeconds = std::min(200.0, g.minHoleSpacingMm / g.mmPerSecond);
    CloseScanner close(plan.rule);
    const std::vector<TapeNote> &notes = model.notes();
    plan.ringed.assign(notes.size(), false);
    // One pass over the melody: the strip's length, the holes and the pairs too close.
    double end = g.leadInMm;
    CutHole h;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (stop && i % 16384 == 0 && stop->load())
            return ProgressTicker::cancelledResult();
        const TapeNote &n = notes[i];
        if (!model.isChannelShown(n))
            continue;
        const double start = holeStartMm(g, n.start, tpf);
        const double length =
            std::max({n.length * mmPerTick, g.holeLengthMinMm, 2 * plan.radiusMm});
        end = std::max(end, start + length);
        if (!plainHole(plan, i, h))
            continue; // no track for it
        if (h.yMm - plan.radiusMm < 0 || h.yMm + plan.radiusMm > g.tapeWidthMm)
            return {errExportGeometry, "the track of " + std::to_string(n.note) + " lies at " +
                                           oneDecimal(h.yMm) + " mm, outside the tape " +
                                           oneDecimal(g.tapeWidthMm) + " mm wide"};
        ++plan.holes;
        plan.lookBackMm = std::max(plan.lookBackMm, length);
        if (const std::optional<std::size_t> earlier = close.add(i, n)) {
            plan.ringed[*earlier] = plan.ringed[i] = true;
            ++plan.pairsTooClose;
        }
    }
    plan.lengthMm = end + g.leadOutMm;
    if (ExportResult r = cutPieces(plan, bedMm); !r)
        return r;
    for (const CutPiece &p : plan.pieces)
        plan.startEdges.push_back(p.left);
    if (g.startRight) {
        const double L = plan.lengthMm;
        for (CutPiece &p : plan.pieces)
            p = piece({L - p.right.centreMm, -p.right.slantMm},
                      {L - p.left.centreMm, -p.left.slantMm}, plan.widthMm);
    }
    return {};
}

bool makesStrip(const ExportOptions &options) {
    return options.instrument.geometry &&
           (options.format == ExportFormat::cutSvg || options.format == ExportFormat::dxf ||
            options.format == ExportFormat::pdf);
}

std::string stripSummary(const ScoreModel &model, const ExportOptions &options,
                         const std::atomic<bool> *stop) {
    if (!makesStrip(options))
        return "";
    const bool cutter =
        options.format == ExportFormat::cutSvg || options.format == ExportFormat::dxf;
    const TapeGeometry &g = *options.instrument.geometry;
    double bed = g.bedLengthMm;
    if (!cutter) { // a PDF piece is no longer than the page
        const double page = paperSize(options.paper).width - 2 * pageMarginMm;
        bed = bed > 0 ? std::min(bed, page) : page;
    }
    CutPlan plan;
    const ExportResult r =
        planCut(model, options.instrument, bed, !cutter && (!options.holes || g.slots), plan, stop);
    if (r.code == errExportCancelled)
        return "";
    if (!r)
        return r.reason;
    const auto count = [](std::size_t n, const char *one, const char *many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    char metres[32];
    std::snprintf(metres, sizeof metres, "%.2f", plan.lengthMm / 1000);
    std::string summary = std::string("Strip ") + metres +
                          " m: " + count(plan.pieces.size(), "piece", "pieces") + ", " +
                          count(plan.holes, "hole", "holes") + ", " +
                          count(plan.pairsTooClose, "pair", "pairs") + " too close";
    if (plan.holesAtSeams > 0)
        summary += ", " + count(plan.holesAtSeams, "hole", "holes") +
                   " in joins (punch through once joined)";
    return summary;
}

namespace {

// The hole of note `i` as the strip has it: on the last piece whose start it reaches (a hole in
// a join goes on the later piece and is punched through both once they are joined), mirrored
// when the melody starts at the right. False when the note has no hole.
bool hole(const CutPlan &plan, std::size_t i, CutHole &h) {
    if (!plainHole(plan, i, h))
        return false;
    // The pieces' starts lie in the order of the pieces at every height.
    const double reach = h.x1Mm + h.radiusMm;
    std::size_t lo = 1, hi = plan.startEdges.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (plan.startEdges[mid].at(h.yMm, plan.widthMm) < reach)
            lo = mid + 1;
        else
            hi = mid;
    }
    h.piece = unsigned(lo - 1);
    if (plan.geometry.startRight) {
        const double L = plan.lengthMm;
        const double x0 = L - h.x1Mm, x1 = L - h.x0Mm;
        h.x0Mm = x0;
        h.x1Mm = x1;
    }
    return true;
}

// Storage indexes [first, last) of the notes whose holes may lie on piece p: a hole lies on
// the piece where its far end (before mirroring) passes the piece's start.
std::pair<std::size_t, std::size_t> notesOfPiece(const CutPlan &plan, unsigned p) {
    const auto lowest = [&](const PieceEdge &e) {
        return std::min(e.at(0, plan.widthMm), e.at(plan.widthMm, plan.widthMm));
    };
    const auto highest = [&](const PieceEdge &e) {
        return std::max(e.at(0, plan.widthMm), e.at(plan.widthMm, plan.widthMm));
    };
    const double from = lowest(plan.startEdges[p]) - plan.lookBackMm - 1;
    const double to =
        p + 1 < plan.startEdges.size() ? highest(plan.startEdges[p + 1]) + 1 : plan.lengthMm + 1;
    return notesStarting(plan, from, to);
}

} // namespace

void forEachHole(const CutPlan &plan, unsigned piece,
                 const std::function<bool(const CutHole &)> &each) {
    const auto [first, last] = notesOfPiece(plan, piece);
    CutHole h;
    for (std::size_t i = first; i < last; ++i)
        if (hole(plan, i, h) && h.piece == piece && !each(h))
            return;
}

void forEachHoleInCuttingOrder(const CutPlan &plan, unsigned piece,
                               const std::function<bool(const CutHole &)> &each) {
    const double column = std::max(4 * plan.geometry.trackPitchMm, 1.0);
    struct Key {
        long long column;
        double y, x;
        CutHole hole;
    };
    // Holes that start at one place: the shorter first, then in the melody's order.
    const auto before = [](const Key &a, const Key &b) {
        return a.column != b.column         ? a.column < b.column
               : a.y != b.y                 ? a.y < b.y
               : a.x != b.x                 ? a.x < b.x
               : a.hole.x1Mm != b.hole.x1Mm ? a.hole.x1Mm < b.hole.x1Mm
                                            : a.hole.note < b.hole.note;
    };
    std::vector<Key> pending;
    // Cuts the pending holes of the columns before `limit`, which no later note reaches.
    const auto cutBefore = [&](long long limit) {
        std::sort(pending.begin(), pending.end(), before);
        std::size_t n = 0;
        for (; n < pending.size() && pending[n].column < limit; ++n)
            if (!each(pending[n].hole))
                return false;
        pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(n));
        return true;
    };
    const auto add = [&](std::size_t i) {
        CutHole h;
        if (!hole(plan, i, h) || h.piece != piece)
            return;
        const long long c = (long long)std::floor(h.x0Mm / column);
        pending.push_back({c, c % 2 == 0 ? h.yMm : -h.yMm, h.x0Mm, h});
    };
    // Columns run along the strip: with the melody's order, or against it when the strip
    // starts at the right. A few thousand notes at a time.
    constexpr std::size_t batch = 4096;
    const std::vector<TapeNote> &notes = plan.model->notes();
    const TapeGeometry &g = plan.geometry;
    const unsigned tpf = plan.model->ticksPerFrame();
    const auto [first, last] = notesOfPiece(plan, piece);
    if (!g.startRight) {
        for (std::size_t i = first; i < last;) {
            const std::size_t end = std::min(last, i + batch);
            for (; i < end; ++i)
                add(i);
            // Later notes start no earlier than the next one.
            const long long limit =
                end < last ? (long long)std::floor(
                                 (holeStartMm(g, notes[end].start, tpf) + plan.radiusMm) / column)
                           : LLONG_MAX;
            if (!cutBefore(limit))
                return;
        }
    } else {
        for (std::size_t i = last; i > first;) {
            const std::size_t begin = i - std::min(i - first, batch);
            for (std::size_t k = i; k > begin;)
                add(--k);
            i = begin;
            // Earlier notes end no later than the previous one's start plus the longest hole.
            const long long limit =
                i > first ? (long long)std::floor((plan.lengthMm -
                                                   holeStartMm(g, notes[i - 1].start, tpf) -
                                                   plan.lookBackMm + plan.radiusMm - 1e-6) /
                                                  column)
                          : LLONG_MAX;
            if (!cutBefore(limit))
                return;
        }
    }
}

std::vector<TapeNote> laterNotesTooClose(const CutPlan &plan) {
    std::vector<TapeNote> later;
    if (!plan.model)
        return later;
    CloseScanner close(plan.rule);
    CutHole h;
    for (std::size_t i = 0; i < plan.model->notes().size(); ++i)
        if (plainHole(plan, i, h) && close.add(i, plan.model->notes()[i]))
            later.push_back(plan.model->notes()[i]);
    return later;
}

} // namespace tw
