// The undo history against a plain history of full copies: same steps, same results.
#include "scoremodel/UndoHistory.h"
#include "scoremodel/DeltaPacking.h"
#include "scoremodel/ScoreModel.h"
#include "scoremodel/tests/SameWithFlags.h"
#include "testsupport/NoteMakers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace tw;

namespace {

using Notes = std::vector<TapeNote>;

bool sameNotes(const Notes &a, const Notes &b) {
    return a == b; // TapeNote equality: selection flags aside
}

// The history as complete copies, written down as plainly as possible.
struct FullCopyHistory {
    std::vector<Notes> snapshots;
    std::size_t position = 0;
    std::vector<Notes> dropped;

    bool sameAsLast(const Notes &notes) const {
        return !snapshots.empty() && sameNotes(snapshots.back(), notes);
    }
    bool push(const Notes &notes) {
        if (position > 0 && sameNotes(snapshots[position - 1], notes))
            return false;
        dropped.assign(snapshots.begin() + std::ptrdiff_t(position), snapshots.end());
        snapshots.resize(position);
        snapshots.push_back(notes);
        position = snapshots.size();
        return true;
    }
    void pop() {
        if (snapshots.empty())
            return;
        snapshots.pop_back();
        --position;
        snapshots.insert(snapshots.end(), dropped.begin(), dropped.end());
        dropped.clear();
    }
    bool undo(const Notes &current, Notes &out, bool storeCurrent) {
        if (position == 0)
            return false;
        if (position == snapshots.size() && storeCurrent && !sameAsLast(current))
            snapshots.push_back(current);
        out = snapshots[--position];
        return true;
    }
    bool redo(Notes &out) {
        if (position + 1 >= snapshots.size())
            return false;
        out = snapshots[++position];
        return true;
    }
    void truncateRedo() { snapshots.resize(std::min(position, snapshots.size())); }
    // The new history dropped its oldest snapshots to keep its budget.
    void dropOldest(std::size_t count) {
        snapshots.erase(snapshots.begin(), snapshots.begin() + std::ptrdiff_t(count));
        position -= count;
    }
};

struct Random {
    std::mt19937 engine;
    explicit Random(unsigned seed) : engine(seed) {}
    unsigned below(unsigned n) { return unsigned(engine() % n); }
    bool chance(unsigned percent) { return below(100) < percent; }
};

TapeNote randomNote(Random &r) {
    TapeNote n;
    n.note = r.below(128);
    n.start = r.below(200);
    n.length = 1 + r.below(8);
    n.channel = r.below(16);
    n.velocity = r.below(128);
    n.selected = r.chance(20);
    return n;
}

void sortByStart(Notes &notes) {
    std::stable_sort(notes.begin(), notes.end(), ByStart());
}

// One edit of the kinds the editor makes; may change nothing at all.
void randomEdit(Random &r, Notes &notes) {
    switch (r.below(9)) {
    case 0: // insert notes
        for (unsigned k = 1 + r.below(r.chance(20) ? 30 : 2); k > 0; --k)
            notes.push_back(randomNote(r));
        sortByStart(notes);
        break;
    case 1: { // remove some notes, or every other one
        const unsigned step = 1 + r.below(3);
        Notes kept;
        for (std::size_t i = 0; i < notes.size(); ++i) {
            if (i % step != 0 || r.chance(30))
                kept.push_back(notes[i]);
        }
        notes.swap(kept);
        break;
    }
    case 2: // transpose all
        for (TapeNote &n : notes)
            n.note = (n.note + 1) % 128;
        break;
    case 3: // move all one tick
        for (TapeNote &n : notes)
            ++n.start;
        break;
    case 4: // change one field of one note
        if (!notes.empty()) {
            TapeNote &n = notes[r.below(unsigned(notes.size()))];
            const unsigned value = 1 + r.below(100);
            if (r.chance(50))
                n.velocity = uint8_t(value);
            else
                n.length = value;
        }
        break;
    case 5: // move the selected notes, which may reorder them
        for (TapeNote &n : notes) {
            if (n.selected)
                n.start += r.below(20);
        }
        sortByStart(notes);
        break;
    case 6:
        notes.clear();
        break;
    case 7: // a melody of its own (a file read)
        notes.clear();
        for (unsigned k = r.below(40); k > 0; --k)
            notes.push_back(randomNote(r));
        sortByStart(notes);
        break;
    default: // nothing changes
        break;
    }
}

void randomSelection(Random &r, Notes &notes) {
    for (TapeNote &n : notes) {
        if (r.chance(30))
            n.selected = !n.selected;
    }
}

bool identical(const TapeNote &a, const TapeNote &b) {
    return a == b && a.selected == b.selected;
}

// What a caller may tell the history: how many notes at the front and the back are those it
// last exchanged with it, sometimes fewer than there are.
UndoHistory::Unchanged untouched(Random &r, const Notes &exchanged, const Notes &now) {
    const std::size_t limit = std::min(exchanged.size(), now.size());
    std::size_t front = 0, back = 0;
    while (front < limit && identical(exchanged[front], now[front]))
        ++front;
    while (back < limit - front &&
           identical(exchanged[exchanged.size() - 1 - back], now[now.size() - 1 - back]))
        ++back;
    if (r.chance(20))
        return {};
    return {front - std::min<std::size_t>(front, r.below(2)),
            back - std::min<std::size_t>(back, r.below(2))};
}

void runSeed(unsigned seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Random r(seed);
    UndoHistory history;
    // Some runs keep a small budget, so that old snapshots are dropped on the way.
    const bool tight = seed % 4 == 0;
    if (tight)
        history.setByteBudget(history.heldBytes() + 2000);
    FullCopyHistory reference;
    Notes current, expected, exchanged;
    for (unsigned k = r.below(30); k > 0; --k)
        current.push_back(randomNote(r));
    sortByStart(current);
    expected = current;

    for (int step = 0; step < 150; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        const unsigned what = r.below(100);
        if (what < 45) {
            // An edit as the editor records it: a snapshot first, withdrawn when nothing
            // changed; the redo states go only when something did.
            const bool pushed = history.push(current, untouched(r, exchanged, current));
            ASSERT_EQ(pushed, reference.push(expected));
            exchanged = current;
            const Notes before = current;
            randomEdit(r, current);
            if (current == before && std::equal(current.begin(), current.end(), before.begin(),
                                                [](const TapeNote &a, const TapeNote &b) {
                                                    return a.selected == b.selected;
                                                })) {
                if (pushed) {
                    history.pop();
                    reference.pop();
                }
            } else {
                history.forgetDroppedRedo();
                reference.dropped.clear();
                if (r.chance(5)) {
                    history.truncateRedo();
                    reference.truncateRedo();
                }
            }
            expected = current;
        } else if (what < 55) {
            randomSelection(r, current);
            expected = current;
        } else if (what < 80) {
            const bool store = r.chance(80);
            Notes refOut;
            const bool undone =
                history.undo(current, current, store, untouched(r, exchanged, current));
            ASSERT_EQ(undone, reference.undo(expected, refOut, store));
            if (undone) {
                expected = refOut;
                exchanged = current;
            }
        } else {
            Notes refOut;
            const bool redone = history.redo(current);
            ASSERT_EQ(redone, reference.redo(refOut));
            if (redone) {
                expected = refOut;
                exchanged = current;
            }
        }
        if (history.size() < reference.snapshots.size()) {
            ASSERT_TRUE(tight) << "snapshots dropped within the budget";
            reference.dropOldest(reference.snapshots.size() - history.size());
        }
        ASSERT_TRUE(sameWithFlags(current, expected));
        ASSERT_EQ(history.size(), reference.snapshots.size());
        ASSERT_EQ(history.position(), reference.position);
        ASSERT_EQ(history.sameAsLast(current), reference.sameAsLast(current));
        if (step % 10 == 0) {
            const auto all = history.snapshots();
            ASSERT_EQ(all.size(), reference.snapshots.size());
            for (std::size_t i = 0; i < all.size(); ++i)
                ASSERT_TRUE(sameWithFlags(all[i], reference.snapshots[i])) << "snapshot " << i;
        }
    }
}

// One edit or undo step through the model, mostly of single notes, which the model reports
// to its history as the range it touched.
void randomModelStep(Random &r, ScoreModel &model) {
    const Notes &notes = model.notes();
    const TapeNote some = notes.empty() ? randomNote(r) : notes[r.below(unsigned(notes.size()))];
    switch (r.below(14)) {
    case 0:
    case 1:
    case 2:
        model.insertNote(randomNote(r));
        break;
    case 3: // a note that is there already: nothing changes
        model.insertNote(some);
        break;
    case 4:
        if (!notes.empty())
            model.setSelected(r.below(unsigned(notes.size())), r.chance(50));
        break;
    case 5:
        model.changeNoteLength(some.start + 1 + r.below(6), some.note, some.channel, nullptr);
        break;
    case 6: {
        Notes list{randomNote(r), randomNote(r)};
        sortByStart(list);
        model.pasteNotes(r.below(200), list);
        break;
    }
    case 7:
        model.removeNotesAt(some.start, some.note);
        break;
    case 8:
        if (r.chance(50))
            model.selectAll();
        model.selectedNotesHigher();
        break;
    case 9:
        model.moveSelected(int(r.below(5)) - 2);
        break;
    case 10:
        model.removeSelected();
        break;
    case 11:
    case 12:
        model.undo();
        break;
    default:
        model.redo();
        break;
    }
}

void runModelSeed(unsigned seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Random r(seed), same(seed);
    // `tracked` tells its history which notes it touched; `plain` is made to compare the whole
    // melody on every snapshot, as a history told nothing does.
    ScoreModel tracked, plain;
    Notes start;
    for (unsigned k = r.below(30); k > 0; --k)
        start.push_back(randomNote(r));
    same = r;
    tracked.setNotes(start);
    plain.setNotes(start);
    for (int step = 0; step < 120; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        randomModelStep(r, tracked);
        plain.notesAt(0, 0); // the caller may change any note through it
        randomModelStep(same, plain);
        ASSERT_TRUE(sameWithFlags(tracked.notes(), plain.notes()));
        ASSERT_EQ(tracked.undoPosition(), plain.undoPosition());
        ASSERT_EQ(tracked.undoHistory().size(), plain.undoHistory().size());
        if (step % 10 == 0) {
            const auto a = tracked.undoSnapshots(), b = plain.undoSnapshots();
            ASSERT_EQ(a.size(), b.size());
            for (std::size_t i = 0; i < a.size(); ++i)
                ASSERT_TRUE(sameWithFlags(a[i], b[i])) << "snapshot " << i;
        }
    }
}

Notes melody(unsigned count) {
    Notes notes(count);
    for (unsigned i = 0; i < count; ++i)
        notes[i] = tn(40 + (i * 7) % 50, i / 2, 2, i % 16, 1 + i % 127, false);
    return notes;
}

} // namespace

TEST(UndoHistory, BehavesAsAHistoryOfFullCopies) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        runSeed(seed);
        if (HasFatalFailure())
            return;
    }
}

TEST(UndoHistory, NotesTheModelReportsTouchedGiveTheSameHistory) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        runModelSeed(seed);
        if (HasFatalFailure())
            return;
    }
}

// The empty melody is a state like any other.
TEST(UndoHistory, KeepsTheEmptyMelody) {
    UndoHistory history;
    Notes notes;
    ASSERT_TRUE(history.push(notes));
    notes.push_back(tn(60, 0, 4, 0, 100, false));
    Notes shown = notes;
    ASSERT_TRUE(history.undo(shown, shown));
    EXPECT_TRUE(shown.empty());
    ASSERT_TRUE(history.redo(shown));
    EXPECT_EQ(shown, notes);
}

// What an edit stores is the difference it made, small whatever the size of the melody.
TEST(UndoHistory, StoresOnlyWhatAnEditChanged) {
    const Notes base = melody(200000);
    const std::size_t melodyBytes = base.size() * sizeof(TapeNote);
    const struct {
        const char *what;
        void (*edit)(Notes &);
        std::size_t maxBytes; // per edit
    } cases[] = {
        {"transpose all",
         [](Notes &n) {
             for (auto &x : n)
                 ++x.note;
         },
         8000},
        {"move all one tick",
         [](Notes &n) {
             for (auto &x : n)
                 ++x.start;
         },
         8000},
        {"every other velocity",
         [](Notes &n) {
             for (std::size_t i = 0; i < n.size(); i += 2)
                 n[i].velocity ^= 1;
         },
         20000},
        {"insert one note",
         [](Notes &n) { n.insert(n.begin() + 1000, tn(1, 500, 4, 0, 1, false)); }, 1000},
        {"change one note", [](Notes &n) { n[77777].velocity ^= 3; }, 1000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        UndoHistory history;
        Notes notes = base;
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(history.push(notes));
            c.edit(notes);
        }
        EXPECT_LT(history.heldBytes(), 2 * melodyBytes + 20 * c.maxBytes);
        Notes shown = notes;
        for (int i = 0; i < 20; ++i)
            ASSERT_TRUE(history.undo(shown, shown));
        EXPECT_TRUE(sameWithFlags(shown, base));
    }
}

TEST(UndoHistory, DropsTheOldestSnapshotsBeyondItsBudget) {
    constexpr std::size_t budget = 3u << 20;
    UndoHistory history;
    history.setByteBudget(budget);
    Notes notes = melody(50000);
    std::mt19937 engine(7);
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(history.push(notes));
        EXPECT_LE(history.heldBytes(), budget);
        // Random velocities do not compress: each snapshot costs a few ten KB.
        for (TapeNote &n : notes)
            n.velocity = engine() % 128;
    }
    EXPECT_LT(history.size(), 40u);
    EXPECT_GE(history.size(), 3u);
    const Notes last = notes;
    Notes shown = notes;
    ASSERT_TRUE(history.undo(shown, shown));
    ASSERT_TRUE(history.redo(shown));
    EXPECT_TRUE(sameWithFlags(shown, last));
}

// A chunk keeps every value, whatever the range of its values needs: one value, one bit,
// bytes, wider values, small negative differences, the whole 32-bit range.
TEST(UndoHistory, PacksEveryRangeOfValuesExactly) {
    std::mt19937 engine(11);
    const struct {
        const char *what;
        uint32_t (*value)(std::mt19937 &, std::size_t);
    } cases[] = {
        {"one value", [](std::mt19937 &, std::size_t) { return 0xFFFFFFFEu; }},
        {"flags", [](std::mt19937 &e, std::size_t) { return uint32_t(e() % 2); }},
        {"flags above a base",
         [](std::mt19937 &e, std::size_t) { return 1000 + uint32_t(e() % 2); }},
        {"notes", [](std::mt19937 &e, std::size_t) { return uint32_t(e() % 128); }},
        {"small differences",
         [](std::mt19937 &e, std::size_t) { return uint32_t(int(e() % 255) - 127); }},
        {"ticks", [](std::mt19937 &e, std::size_t) { return 70000 + uint32_t(e() % 60000); }},
        {"wide differences",
         [](std::mt19937 &e, std::size_t) { return uint32_t(int(e() % 200000) - 100000); }},
        {"any value", [](std::mt19937 &e, std::size_t) { return uint32_t(e()); }},
        {"both ends", [](std::mt19937 &, std::size_t i) { return i % 3 ? 0u : 0xFFFFFFFFu; }},
        {"counting", [](std::mt19937 &, std::size_t i) { return uint32_t(i * 4); }},
    };
    DeltaWork work;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::size_t count : {std::size_t(1), std::size_t(9), chunkValues + 5}) {
            std::vector<uint32_t> values(count);
            for (std::size_t i = 0; i < count; ++i)
                values[i] = c.value(engine, i);
            PackedColumn column;
            work.packAll(values, column);
            std::vector<uint32_t> back;
            work.unpackAll(column, back);
            EXPECT_EQ(back, values) << count << " values";
        }
    }
}

// The whole-melody edits over a melody of many blocks and chunks, through the model: undo
// walks back through every state (each as it was when its edit began, selection included)
// and redo forward again, notes and flags exact.
TEST(UndoHistory, WholeMelodyEditsComeBackExactly) {
    ScoreModel model;
    model.setNotes(melody(40000));
    const auto none = [](ScoreModel &) {};
    const auto all = [](ScoreModel &m) { m.selectAll(); };
    const struct {
        const char *what;
        void (*select)(ScoreModel &);
        void (*edit)(ScoreModel &);
    } edits[] = {
        {"transpose all", all, [](ScoreModel &m) { m.selectedNotesHigher(); }},
        {"move all", none, [](ScoreModel &m) { m.moveSelected(1); }},
        {"insert one", none, [](ScoreModel &m) { m.insertNote(tn(100, 7000, 4, 0, 100, false)); }},
        {"delete every other",
         [](ScoreModel &m) {
             m.unselectAll();
             for (unsigned i = 1; i < m.notes().size(); i += 2)
                 m.setSelected(i, true);
         },
         [](ScoreModel &m) { m.removeSelected(); }},
        {"move every third back",
         [](ScoreModel &m) {
             for (unsigned i = 0; i < m.notes().size(); i += 3)
                 m.setSelected(i, true);
         },
         [](ScoreModel &m) { m.moveSelected(-1); }},
        {"load the melody again", none, [](ScoreModel &m) { m.setNotes(melody(40000)); }},
        {"transpose all down", all, [](ScoreModel &m) { m.selectedNotesLower(); }},
    };
    std::vector<Notes> states; // as each edit began, then the last melody
    for (const auto &e : edits) {
        e.select(model);
        states.push_back(model.notes());
        e.edit(model);
    }
    states.push_back(model.notes());
    for (std::size_t k = states.size() - 1; k-- > 0;) {
        SCOPED_TRACE(std::string("undo ") + edits[k].what);
        ASSERT_TRUE(model.undo());
        ASSERT_TRUE(sameWithFlags(model.notes(), states[k]));
    }
    EXPECT_FALSE(model.undo());
    for (std::size_t k = 1; k < states.size(); ++k) {
        SCOPED_TRACE(std::string("redo ") + edits[k - 1].what);
        ASSERT_TRUE(model.redo());
        ASSERT_TRUE(sameWithFlags(model.notes(), states[k]));
    }
    EXPECT_FALSE(model.redo());
}

namespace {

// A melody of `count` notes unlike melody(): random fields, so that its difference from any
// other melody packs into many bytes.
Notes randomMelody(unsigned count, unsigned seed) {
    Random r(seed);
    Notes notes(count);
    uint32_t start = 0;
    for (TapeNote &n : notes) {
        start += r.below(3);
        n.start = start;
        n.length = 1 + r.below(50);
        n.note = uint8_t(r.below(128));
        n.channel = uint8_t(r.below(16));
        n.velocity = uint8_t(r.below(128));
    }
    return notes;
}

} // namespace

// A difference too large to compress within one step is held raw in part and compressed by
// later steps or on request; whatever happens to it meanwhile (undo and redo, a drop beyond
// the budget, redo states dropped, a withdrawn edit, clearing), every snapshot comes back
// exactly, the budget holds and nothing raw is left behind by differences that are gone.
TEST(UndoHistory, DifferencesHeldRawComeBackExactly) {
    constexpr unsigned count = 400000; // more packed bytes than two steps compress
    const Notes a = randomMelody(count, 1), b = randomMelody(count, 2), c = randomMelody(count, 3);
    const struct {
        const char *what;
        void (*after)(UndoHistory &, Notes &shown);
        std::size_t pendingAfter; // ~0: not checked
        std::vector<const Notes *> snapshots;
    } cases[] = {
        {"compressed on request",
         [](UndoHistory &h, Notes &) {
             h.compressPending(~std::size_t(0));
             EXPECT_FALSE(h.mayHoldRaw());
         },
         0,
         {&a, &b}},
        {"undo and redo step through raw chunks",
         [](UndoHistory &h, Notes &shown) {
             ASSERT_TRUE(h.undo(shown, shown));
             ASSERT_TRUE(h.undo(shown, shown));
             ASSERT_TRUE(h.redo(shown));
         },
         ~std::size_t(0),
         {&a, &b, &c}},
        {"redo states dropped",
         [](UndoHistory &h, Notes &shown) {
             ASSERT_TRUE(h.undo(shown, shown));
             ASSERT_TRUE(h.undo(shown, shown));
             h.truncateRedo(); // at the start of the history: every snapshot goes
         },
         0,
         {}},
        {"withdrawn edit",
         [](UndoHistory &h, Notes &shown) {
             ASSERT_TRUE(h.push(shown));
             h.pop();
         },
         ~std::size_t(0),
         {&a, &b}},
        {"withdrawn edit at the start of the history",
         [](UndoHistory &h, Notes &shown) {
             ASSERT_TRUE(h.undo(shown, shown, false));
             ASSERT_TRUE(h.undo(shown, shown, false));
             ASSERT_GT(h.pendingBytes(), 0u);
             ASSERT_TRUE(h.push(shown)); // the whole history goes aside
             h.pop();                    // and comes back
             EXPECT_GT(h.pendingBytes(), 0u);
         },
         ~std::size_t(0),
         {&a, &b}},
        {"cleared", [](UndoHistory &h, Notes &) { h.clear(); }, 0, {}},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.what);
        UndoHistory history;
        ASSERT_TRUE(history.push(a));
        ASSERT_TRUE(history.push(b));
        const std::size_t pending = history.pendingBytes();
        EXPECT_GT(pending, 0u) << "the whole difference was compressed in one step";
        Notes shown = c;
        k.after(history, shown);
        if (k.pendingAfter != ~std::size_t(0)) {
            EXPECT_EQ(history.pendingBytes(), k.pendingAfter);
        }
        const std::size_t held = history.heldBytes(), left = history.pendingBytes();
        const auto all = history.snapshots();
        ASSERT_EQ(all.size(), k.snapshots.size());
        for (std::size_t i = 0; i < all.size(); ++i)
            EXPECT_TRUE(sameWithFlags(all[i], *k.snapshots[i])) << "snapshot " << i;
        // Whatever is left compresses, and the memory held goes down with it.
        history.compressPending(~std::size_t(0));
        EXPECT_EQ(history.pendingBytes(), 0u);
        EXPECT_FALSE(history.mayHoldRaw());
        if (left > 0) {
            EXPECT_LT(history.heldBytes(), held);
        }
    }
}

// Steps after a large difference compress its raw chunks bit by bit: a step that handled a
// few notes takes on little, a step over the whole melody more; an old difference dropped
// beyond the budget leaves nothing raw behind.
TEST(UndoHistory, LaterStepsCompressWhatWasHeldRaw) {
    constexpr unsigned count = 200000;
    const Notes a = randomMelody(count, 4), b = randomMelody(count, 5);
    UndoHistory history;
    ASSERT_TRUE(history.push(a));
    ASSERT_TRUE(history.push(b));
    const std::size_t pending = history.pendingBytes();
    ASSERT_GT(pending, 0u);

    Notes notes = b;
    notes.push_back(tn(100, 900000, 4, 0, 100, false));
    ASSERT_TRUE(history.push(notes, {count, 0}));
    const std::size_t afterSmall = history.pendingBytes();
    EXPECT_LE(pending - afterSmall, UndoHistory::smallCompressStep);

    std::vector<Notes> states = {a, b, notes};
    while (history.pendingBytes() > 0) {
        const std::size_t before = history.pendingBytes();
        for (TapeNote &n : notes)
            n.velocity = uint8_t((n.velocity + 1) % 128);
        ASSERT_TRUE(history.push(notes));
        states.push_back(notes);
        ASSERT_LT(history.pendingBytes(), before) << "a whole-melody step compressed nothing";
        EXPECT_LE(before - history.pendingBytes(), UndoHistory::compressStep);
    }
    const auto all = history.snapshots();
    ASSERT_EQ(all.size(), states.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        EXPECT_TRUE(sameWithFlags(all[i], states[i])) << "snapshot " << i;

    // The budget drops the raw difference before it is compressed.
    UndoHistory tight;
    ASSERT_TRUE(tight.push(a));
    ASSERT_TRUE(tight.push(b));
    ASSERT_GT(tight.pendingBytes(), 0u);
    tight.setByteBudget(tight.heldBytes() / 4);
    for (int i = 0; i < 3; ++i) {
        notes = b;
        notes[std::size_t(i)].note = uint8_t(1 + i);
        ASSERT_TRUE(tight.push(notes));
    }
    ASSERT_LT(tight.size(), 4u) << "nothing dropped";
    EXPECT_EQ(tight.pendingBytes(), 0u);
    tight.compressPending(~std::size_t(0));
    EXPECT_FALSE(tight.mayHoldRaw());
    Notes shown = notes;
    ASSERT_TRUE(tight.undo(shown, shown));
    EXPECT_TRUE(sameWithFlags(shown, tight.snapshots()[tight.position()]));
}
