// Helpers shared by the score tape tests.
#pragma once

#include "scoretape/ScoreTape.h"
#include "testsupport/NoteMakers.h"
#include "testsupport/TempPath.h"

#include <string>
#include <vector>

namespace tw {

// A tape of 100 tick columns and 30 rows from note 50 (801 x 345 pixels), no display needed.
struct TestTape : Flt_ScoreTape {
    TestTape() : Flt_ScoreTape(0, 0, 0, 0) {
        resize(0, 0, 801, 15 + 30 * 11);
        setBottomNote(50);
    }
    // Adds notes without recording them and clears dataChanged, as after a file read.
    void load(const std::vector<TapeNote> &list) { model().setNotes(list); }
};

} // namespace tw
