// The rope of notes against a plain vector: same notes after every replacement.
#include "scoremodel/NoteRope.h"
#include "scoremodel/tests/SameWithFlags.h"
#include "testsupport/NoteMakers.h"

#include <gtest/gtest.h>

#include <random>

using namespace tw;

namespace {

TapeNote numbered(unsigned i) {
    return tn(i % 128, i, 1 + i % 7, i % 16, i % 128, i % 3 == 0);
}

std::vector<TapeNote> numberedNotes(unsigned first, std::size_t count) {
    std::vector<TapeNote> notes(count);
    for (std::size_t i = 0; i < count; ++i)
        notes[i] = numbered(first + unsigned(i));
    return notes;
}

std::vector<TapeNote> contents(const NoteRope &rope) {
    std::vector<TapeNote> out{numbered(1)}; // copyTo replaces what was there
    rope.copyTo(out);
    return out;
}

} // namespace

TEST(NoteRope, ReplacesLikeAVector) {
    constexpr std::size_t block = NoteRope::blockNotes;
    // Replacements of these sizes, old and new, at random places: within a block, across
    // blocks, growing a block past its limit, emptying blocks, everything.
    const struct {
        const char *what;
        std::size_t maxOld, maxNew;
    } shapes[] = {
        {"single notes", 1, 1},
        {"insertions", 0, 3},
        {"removals", 3, 0},
        {"a block's worth", block + 10, block + 10},
        {"many blocks", 5 * block, 5 * block},
        {"large removals", 4 * block, 0},
    };
    unsigned label = 1000000;
    for (const auto &shape : shapes) {
        SCOPED_TRACE(shape.what);
        for (unsigned seed = 1; seed <= 4; ++seed) {
            std::mt19937 engine(seed);
            std::vector<TapeNote> plain = numberedNotes(0, seed == 1 ? 0 : 3 * block + seed);
            NoteRope rope;
            rope.assign(plain.data(), plain.size());
            std::size_t most = plain.size(); // memory is kept for the largest melody held
            for (int step = 0; step < 60; ++step) {
                const std::size_t at = engine() % (plain.size() + 1);
                const std::size_t oldCount =
                    std::min(plain.size() - at, std::size_t(engine() % (shape.maxOld + 1)));
                const std::vector<TapeNote> src =
                    numberedNotes(label, engine() % (shape.maxNew + 1));
                label += unsigned(src.size());
                rope.replace(at, oldCount, src.data(), src.size());
                plain.erase(plain.begin() + std::ptrdiff_t(at),
                            plain.begin() + std::ptrdiff_t(at + oldCount));
                plain.insert(plain.begin() + std::ptrdiff_t(at), src.begin(), src.end());
                ASSERT_EQ(rope.size(), plain.size());
                most = std::max(most, plain.size());
                if (!plain.empty()) {
                    // Every block's span holds what the vector holds there.
                    const std::size_t probe = engine() % plain.size();
                    const auto span = rope.span(probe);
                    ASSERT_LE(span.first, probe);
                    ASSERT_LT(probe, span.end);
                    ASSERT_TRUE(span.notes[probe - span.first] == plain[probe]);
                }
            }
            ASSERT_TRUE(sameWithFlags(contents(rope), plain));
            EXPECT_LE(rope.heldBytes(), 2 * most * sizeof(TapeNote) + 64 * 1024);
        }
    }
}

// What moving and copying leave behind: a rope that is empty or equal, never half of one.
TEST(NoteRope, MovedFromIsEmptyAndCopiesAreEqual) {
    const std::vector<TapeNote> notes = numberedNotes(0, 3 * NoteRope::blockNotes + 5);
    NoteRope rope;
    rope.assign(notes.data(), notes.size());
    const NoteRope copy = rope;
    NoteRope moved = std::move(rope);
    EXPECT_EQ(rope.size(), 0u);
    EXPECT_TRUE(contents(rope).empty());
    EXPECT_TRUE(sameWithFlags(contents(moved), notes));
    EXPECT_TRUE(sameWithFlags(contents(copy), notes));
    rope.assign(notes.data(), 10);
    EXPECT_TRUE(sameWithFlags(contents(rope), numberedNotes(0, 10)));
}
