// Helpers shared by the score model tests.
#pragma once

#include "scoremodel/ScoreModel.h"
#include "testsupport/NoteMakers.h"
#include "testsupport/TempPath.h"

#include <vector>

namespace tw {

// The board the model's and the widget's tests share: 100 tick columns and 30 rows from note
// 50, 801 x 345 pixels.
constexpr unsigned testColumns = 100, testRows = 30, testBottomNote = 50;

// A model with a view of that board; no widget (scoretape's tests have TestWidget for that).
struct TestModel : ScoreModel {
    BoardView view;
    TestModel() {
        view.setArea(testColumns, testRows);
        view.bottomNote = testBottomNote;
    }
    // Adds notes without recording them and clears dataChanged, as after a file read.
    void load(const std::vector<TapeNote> &list) { setNotes(list); }
};

} // namespace tw
