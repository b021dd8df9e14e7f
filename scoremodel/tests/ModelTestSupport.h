// Helpers shared by the score model tests.
#pragma once

#include "scoremodel/ScoreModel.h"
#include "testsupport/NoteMakers.h"
#include "testsupport/TempPath.h"

#include <vector>

namespace tw {

// A model with a view of 100 tick columns and 30 rows from note 50, as a board of 801 x 345
// pixels.
struct TestTape : ScoreModel {
    BoardView view;
    TestTape() {
        view.setArea(100, 30);
        view.bottomNote = 50;
    }
    // Adds notes without recording them and clears dataChanged, as after a file read.
    void load(const std::vector<TapeNote> &list) { setNotes(list); }
};

} // namespace tw
