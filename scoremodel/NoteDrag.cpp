#include "scoremodel/NoteDrag.h"

#include "scoremodel/ScoreModel.h"

#include <algorithm>
#include <cstdlib>

namespace tw {

namespace {

// True when two notes of one start, row and channel lie in the list (ordered by start).
bool hasDuplicates(const std::vector<TapeNote> &notes) {
    for (std::size_t i = 0; i < notes.size();) {
        std::size_t end = i + 1;
        while (end < notes.size() && notes[end].start == notes[i].start)
            ++end;
        for (std::size_t a = i; a < end; ++a)
            for (std::size_t b = a + 1; b < end; ++b)
                if (notes[a].note == notes[b].note && notes[a].channel == notes[b].channel)
                    return true;
        i = end;
    }
    return false;
}

long long clampLL(long long v, long long low, long long high) {
    return std::max(low, std::min(v, high));
}

} // namespace

NoteDrag::Kind NoteDrag::kindAt(const ScoreModel &model, Mode mode, long long tick, int note,
                                bool rightHalf, std::size_t *index) {
    if (mode == Mode::shift)
        return Kind::rectangle;
    const auto &notes = model.notes();
    if (tick >= 0 && note >= 0 && note <= 127) {
        // The last note in storage order is drawn on top: it is the one under the pointer.
        // Notes before the candidates of the pointer's tick end before it.
        const auto end = std::upper_bound(notes.begin(), notes.end(), uint64_t(tick), ByStart());
        const std::size_t first = model.candidateNotes(uint64_t(tick), uint64_t(tick) + 1).first;
        const auto begin =
            notes.begin() + std::ptrdiff_t(std::min(first, std::size_t(end - notes.begin())));
        for (auto it = end; it != begin;) {
            --it;
            const TapeNote &n = *it;
            if (n.note != unsigned(note) || uint64_t(n.start) + n.length <= uint64_t(tick) ||
                !model.isChannelShown(n))
                continue;
            if (index)
                *index = std::size_t(it - notes.begin());
            const bool lastTick = uint64_t(n.start) + n.length - 1 == uint64_t(tick);
            return lastTick && (n.length > 1 || rightHalf) ? Kind::resize : Kind::move;
        }
    }
    return mode == Mode::plain ? Kind::draw : Kind::none;
}

void NoteDrag::press(const ScoreModel &model, Mode mode, const Point &at, bool rightHalf,
                     int threshold, const TapeNote &newNote) {
    held_ = true;
    started_ = cancelled_ = false;
    pressed_ = last_ = at;
    threshold_ = std::max(threshold, 0);
    anchor_ = 0;
    kind_ = kindAt(model, mode, at.tick, at.note, rightHalf, &anchor_);
    newNote_ = newNote;
    original_.clear();
    chosen_.clear();
    lastValid_.clear();
}

void NoteDrag::motion(ScoreModel &model, const Point &at) {
    if (!held_ || cancelled_)
        return;
    last_ = at;
    if (!started_) {
        if (std::abs(at.x - pressed_.x) <= threshold_ && std::abs(at.y - pressed_.y) <= threshold_)
            return;
        started_ = true;
        if (kind_ == Kind::none || kind_ == Kind::rectangle) {
            model.viewChanged();
            return;
        }
        original_ = model.notes();
        lastValid_ = original_;
        if (kind_ == Kind::move || kind_ == Kind::resize) {
            if (model.isSelectedAndShown(original_[anchor_])) {
                for (std::size_t i = 0; i < original_.size(); ++i)
                    if (model.isSelectedAndShown(original_[i]))
                        chosen_.push_back(i);
            } else {
                chosen_.push_back(anchor_);
            }
        }
    }
    if (kind_ == Kind::rectangle) {
        model.viewChanged();
        return;
    }
    if (kind_ == Kind::none)
        return;
    std::vector<TapeNote> list = result(model, at);
    if (list.empty() && !original_.empty())
        return; // a place the notes cannot take: they stay at the last one
    lastValid_ = list;
    model.previewNotes(std::move(list));
}

bool NoteDrag::release(ScoreModel &model, const Point &at) {
    if (!held_)
        return false;
    motion(model, at);
    const bool click = !started_ && !cancelled_;
    const bool recorded = started_ && !cancelled_ &&
                          (kind_ == Kind::move || kind_ == Kind::resize || kind_ == Kind::draw);
    if (recorded)
        model.endPreview(std::move(original_), std::move(lastValid_));
    else if (started_ && !cancelled_ && kind_ == Kind::rectangle)
        selectRectangle(model);
    held_ = started_ = cancelled_ = false;
    kind_ = Kind::none;
    original_.clear();
    chosen_.clear();
    lastValid_.clear();
    if (!recorded)
        model.viewChanged(); // the rectangle goes
    return click;
}

void NoteDrag::cancel(ScoreModel &model) {
    if (!held_ || cancelled_)
        return;
    if (started_ && (kind_ == Kind::move || kind_ == Kind::resize || kind_ == Kind::draw))
        model.previewNotes(original_);
    cancelled_ = true;
    model.viewChanged();
}

bool NoteDrag::rectangle(long long &tick0, long long &tick1, int &note0, int &note1) const {
    if (!held_ || !started_ || cancelled_ || kind_ != Kind::rectangle)
        return false;
    tick0 = std::max(std::min(pressed_.tick, last_.tick), 0LL);
    tick1 = std::max(std::max(pressed_.tick, last_.tick), 0LL);
    note0 = std::max(std::min(pressed_.note, last_.note), 0);
    note1 = std::min(std::max(pressed_.note, last_.note), 127);
    return true;
}

void NoteDrag::selectRectangle(ScoreModel &model) const {
    long long t0 = 0, t1 = 0;
    int n0 = 0, n1 = 0;
    if (!rectangle(t0, t1, n0, n1))
        return;
    const auto &notes = model.notes();
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const TapeNote &n = notes[i];
        if (n.start >= t0 && n.start <= t1 && int(n.note) >= n0 && int(n.note) <= n1 &&
            model.isChannelShown(n))
            model.setSelected(unsigned(i), true);
    }
}

std::vector<TapeNote> NoteDrag::result(const ScoreModel &model, const Point &at) const {
    std::vector<TapeNote> list = original_;
    const long long last = lastTick;
    if (kind_ == Kind::move) {
        long long minStart = last, maxEnd = 0;
        int minNote = 127, maxNote = 0;
        for (std::size_t i : chosen_) {
            const TapeNote &n = list[i];
            minStart = std::min<long long>(minStart, n.start);
            maxEnd = std::max<long long>(maxEnd, (long long)n.start + n.length);
            minNote = std::min<int>(minNote, int(n.note));
            maxNote = std::max<int>(maxNote, int(n.note));
        }
        const TapeNote &a = list[anchor_];
        // The anchor's new start, on the grid when snapping; every note stops at the edges.
        const long long wanted = clampLL((long long)a.start + at.tick - pressed_.tick, 0, last);
        long long dt = (long long)model.snapNearest(uint32_t(wanted)) - a.start;
        dt = clampLL(dt, -minStart, last - maxEnd);
        const int dn = int(clampLL(at.note - pressed_.note, -minNote, 127 - maxNote));
        for (std::size_t i : chosen_) {
            list[i].start = uint32_t(list[i].start + dt);
            list[i].note = uint8_t(int(list[i].note) + dn); // dn keeps every note in 0..127
        }
    } else if (kind_ == Kind::resize) {
        const TapeNote &a = list[anchor_];
        // The end follows the pointer's tick (it ends after it), on the grid when snapping.
        const long long wantedEnd = clampLL(at.tick + 1, (long long)a.start + 1, last);
        const long long end =
            std::max<long long>(model.snapNearest(uint32_t(wantedEnd)), (long long)a.start + 1);
        const long long dl = end - a.start - a.length;
        for (std::size_t i : chosen_) {
            TapeNote &n = list[i];
            n.length = uint32_t(clampLL((long long)n.length + dl, 1, last - n.start));
        }
        return list;
    } else if (kind_ == Kind::draw) {
        if (pressed_.tick < 0 || pressed_.note < 0 || pressed_.note > 127 ||
            at.tick < pressed_.tick)
            return list; // drawn to the left: no note
        TapeNote n = newNote_;
        n.note = uint8_t(pressed_.note); // 0..127, checked above
        n.start = model.snapDown(uint32_t(clampLL(pressed_.tick, 0, last - 1)));
        const long long end = model.snapNearest(uint32_t(clampLL(at.tick + 1, 0, last)));
        n.length = uint32_t(std::max<long long>(end - n.start, 1));
        if ((long long)n.start + n.length > last)
            return {};
        n.selected = false;
        list.insert(std::upper_bound(list.begin(), list.end(), n, ByStart()), n);
        if (hasDuplicates(list))
            return {};
        return list;
    }
    std::stable_sort(list.begin(), list.end(), ByStart());
    if (hasDuplicates(list))
        return {};
    return list;
}

} // namespace tw
