// Helpers shared by the score tape tests.
#pragma once

#include "scoremodel/tests/ModelTestSupport.h"
#include "scoretape/ScoreTape.h"

#include <string>
#include <vector>

namespace tw {

// The score tape widget over the board of TestModel (not shown, so no display is needed).
struct TestWidget : Flt_ScoreTape {
    TestWidget() : Flt_ScoreTape(0, 0, 0, 0) {
        resize(0, 0, int(testColumns) * 8 + 1, 15 + int(testRows) * 11);
        setBottomNote(testBottomNote);
    }
    // Adds notes without recording them and clears dataChanged, as after a file read.
    void load(const std::vector<TapeNote> &list) { model().setNotes(list); }
};

} // namespace tw
