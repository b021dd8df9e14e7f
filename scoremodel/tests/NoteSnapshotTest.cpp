// Snapshots of the undo history: logically full copies, in storage shared with the one before.
#include "scoremodel/NoteSnapshot.h"

#include "ModelTestSupport.h"
#include "scoremodel/tests/SameWithFlags.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace tw;

namespace {

using tw::sameWithFlags;

// The number of notes `snapshot` stores in blocks that `previous` does not use.
std::size_t notesCopied(const NoteSnapshot &snapshot, const NoteSnapshot &previous) {
    std::set<const void *> shared;
    for (const auto &run : previous.runs())
        shared.insert(run.block.get());
    std::size_t copied = 0;
    for (const auto &run : snapshot.runs())
        copied += shared.count(run.block.get()) ? 0 : run.count;
    return copied;
}

TapeNote sel(TapeNote n) {
    n.selected = true;
    return n;
}

std::vector<TapeNote> melody(unsigned count) {
    std::vector<TapeNote> notes;
    for (unsigned i = 0; i < count; ++i)
        notes.push_back(tn(40 + i % 50, i, 2, i % 16, 1 + i % 127));
    return notes;
}

} // namespace

TEST(NoteSnapshot, SharesWhatAnEditLeftAlone) {
    const TapeNote a = tn(60, 0), b = tn(61, 1), c = tn(62, 2), d = tn(63, 3), x = tn(70, 1);
    const struct {
        const char *what;
        std::vector<TapeNote> before, after;
        std::size_t copied; // notes stored anew
    } cases[] = {
        {"change at the front", {a, b, c, d}, {x, b, c, d}, 1},
        {"change in the middle", {a, b, c, d}, {a, x, c, d}, 1},
        {"change at the end", {a, b, c, d}, {a, b, c, x}, 1},
        {"insert", {a, b, c, d}, {a, b, x, c, d}, 1},
        {"insert at the front", {a, b, c}, {x, a, b, c}, 1},
        {"append", {a, b, c}, {a, b, c, x}, 1},
        {"remove", {a, b, c, d}, {a, c, d}, 0},
        {"remove the last", {a, b, c, d}, {a, b, c}, 0},
        {"selection flag only", {a, b, c, d}, {a, sel(b), c, d}, 1},
        {"selection flag cleared", {sel(a), b, sel(c), d}, {sel(a), b, c, d}, 1},
        {"whole melody changes", {a, b, c}, {x, x, x}, 3},
        {"nothing changes", {a, b, c}, {a, b, c}, 0},
        {"duplicate of a neighbour inserted", {a, b, c}, {a, b, b, c}, 1},
        {"one more of all equal", {a, a}, {a, a, a}, 1},
        {"one fewer of all equal", {a, a, a}, {a, a}, 0},
        {"to empty", {a, b}, {}, 0},
        {"from empty", {}, {a, b}, 2},
        {"both empty", {}, {}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const NoteSnapshot before = NoteSnapshot::take(c.before, nullptr);
        const NoteSnapshot after = NoteSnapshot::take(c.after, &before);
        EXPECT_TRUE(sameWithFlags(after.notes(), c.after));
        EXPECT_EQ(after.size(), c.after.size());
        EXPECT_EQ(after.empty(), c.after.empty());
        EXPECT_EQ(notesCopied(after, before), c.copied);
        // The snapshot it shares with stays as it was.
        EXPECT_TRUE(sameWithFlags(before.notes(), c.before));
    }
}

TEST(NoteSnapshot, ComparesNotesWithoutSelectionFlags) {
    const std::vector<TapeNote> plain = {tn(60, 0), tn(61, 4)};
    const std::vector<TapeNote> selected = {sel(tn(60, 0)), tn(61, 4)};
    const NoteSnapshot snapshot = NoteSnapshot::take(plain, nullptr);
    const NoteSnapshot shared = NoteSnapshot::take(selected, &snapshot);
    const struct {
        const char *what;
        std::vector<TapeNote> notes;
        bool same;
    } cases[] = {
        {"equal", plain, true},
        {"only flags differ", selected, true},
        {"one note fewer", {tn(60, 0)}, false},
        {"one note more", {tn(60, 0), tn(61, 4), tn(62, 8)}, false},
        {"velocity differs", {tn(60, 0), tn(61, 4, 4, 0, 99)}, false},
        {"empty", {}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(snapshot.sameNotes(c.notes), c.same);
        EXPECT_EQ(shared.sameNotes(c.notes), c.same);
        const NoteSnapshot other = NoteSnapshot::take(c.notes, &shared);
        EXPECT_EQ(other == snapshot, c.same);
        EXPECT_EQ(snapshot == NoteSnapshot::take(c.notes, nullptr), c.same);
    }
}

TEST(NoteSnapshot, CopyToReusesTheTargetsMemory) {
    const std::vector<TapeNote> notes = melody(100);
    const NoteSnapshot first = NoteSnapshot::take(notes, nullptr);
    std::vector<TapeNote> changed = notes;
    changed.erase(changed.begin() + 50);
    const NoteSnapshot second = NoteSnapshot::take(changed, &first);
    ASSERT_EQ(second.runs().size(), 2u);

    std::vector<TapeNote> out;
    out.reserve(200);
    out.push_back(tn(1, 1));
    const TapeNote *memory = out.data();
    second.copyTo(out);
    EXPECT_EQ(out.data(), memory);
    EXPECT_TRUE(sameWithFlags(out, changed));
    std::vector<TapeNote> small(3);
    first.copyTo(small);
    EXPECT_TRUE(sameWithFlags(small, notes));
}

// Every snapshot of a long run of random edits, each taken with the one before it (or now and
// then an older one) as its previous, still holds the melody of its time.
TEST(NoteSnapshot, RandomEditsKeepEverySnapshot) {
    std::mt19937 random(20261209);
    auto below = [&](std::size_t n) { return n == 0 ? 0 : std::size_t(random() % n); };
    std::vector<TapeNote> notes = melody(40);
    std::vector<std::vector<TapeNote>> melodies;
    std::vector<NoteSnapshot> snapshots;
    for (int edit = 0; edit < 300; ++edit) {
        const TapeNote fresh =
            tn(unsigned(below(128)), unsigned(below(50)), 1 + unsigned(below(3)));
        switch (below(6)) {
        case 0:
            notes.insert(notes.begin() + std::ptrdiff_t(below(notes.size() + 1)), fresh);
            break;
        case 1:
            if (!notes.empty())
                notes.erase(notes.begin() + std::ptrdiff_t(below(notes.size())));
            break;
        case 2:
            if (!notes.empty()) {
                TapeNote &n = notes[below(notes.size())];
                n.selected = !n.selected;
            }
            break;
        case 3:
            if (!notes.empty())
                notes[below(notes.size())].velocity = unsigned(below(128));
            break;
        case 4: { // a duplicate of a neighbour
            if (!notes.empty()) {
                const std::size_t at = below(notes.size());
                notes.insert(notes.begin() + std::ptrdiff_t(at), notes[at]);
            }
            break;
        }
        default: { // a range goes
            const std::size_t from = below(notes.size() + 1);
            const std::size_t to = std::min(notes.size(), from + below(6));
            notes.erase(notes.begin() + std::ptrdiff_t(from), notes.begin() + std::ptrdiff_t(to));
            break;
        }
        }
        const NoteSnapshot *previous = nullptr;
        if (!snapshots.empty())
            previous = below(10) == 0 ? &snapshots[below(snapshots.size())] : &snapshots.back();
        NoteSnapshot snapshot = NoteSnapshot::take(notes, previous);
        ASSERT_LE(snapshot.runs().size(), NoteSnapshot::maxRuns);
        snapshots.push_back(std::move(snapshot));
        melodies.push_back(notes);
    }
    for (std::size_t i = 0; i < snapshots.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(sameWithFlags(snapshots[i].notes(), melodies[i]));
        EXPECT_TRUE(snapshots[i].sameNotes(melodies[i]));
    }
}

// Scattered edits split the runs; past the limit a snapshot holds the melody in one block.
TEST(NoteSnapshot, TooManyRunsStoreTheWholeMelody) {
    std::vector<TapeNote> notes = melody(1000);
    NoteSnapshot last = NoteSnapshot::take(notes, nullptr);
    std::size_t mostRuns = 0;
    bool fellBack = false;
    for (unsigned edit = 0; edit < 200; ++edit) {
        notes[edit * 5].velocity ^= 1;
        NoteSnapshot next = NoteSnapshot::take(notes, &last);
        ASSERT_LE(next.runs().size(), NoteSnapshot::maxRuns);
        mostRuns = std::max(mostRuns, next.runs().size());
        if (next.runs().size() < last.runs().size()) {
            fellBack = true;
            EXPECT_EQ(next.runs().size(), 1u);
            EXPECT_EQ(notesCopied(next, last), notes.size());
        }
        ASSERT_TRUE(sameWithFlags(next.notes(), notes));
        last = std::move(next);
    }
    // Each edit adds two runs: up to one below the limit.
    EXPECT_GE(mostRuns, NoteSnapshot::maxRuns - 1);
    EXPECT_TRUE(fellBack);
}

// The history of single-note edits holds the melody about once, not once per edit.
TEST(NoteSnapshot, TapeHistorySharesTheMelody) {
    TestModel tape;
    tape.load(melody(10000));
    for (unsigned i = 0; i < 20; ++i)
        ASSERT_TRUE(tape.insertNote(tn(120, 50 * i)));
    ASSERT_EQ(tape.undoSnapshots().size(), 20u);
    const std::size_t melodyBytes = 10000 * sizeof(TapeNote);
    EXPECT_GE(tape.undoHistory().heldBytes(), melodyBytes);
    EXPECT_LT(tape.undoHistory().heldBytes(), 2 * melodyBytes);
    for (unsigned i = 0; i < 20; ++i)
        ASSERT_TRUE(tape.undo());
    EXPECT_EQ(tape.notes(), melody(10000));
    for (unsigned i = 0; i < 20; ++i)
        ASSERT_TRUE(tape.redo());
    EXPECT_EQ(tape.notes().size(), 10020u);
}
