// Melodies built in one line for the export tests.
#pragma once

#include "render/TapeExport.h"
#include "testsupport/NoteMakers.h"
#include "testsupport/TempFiles.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace tw {

struct Melody : tw::ScoreModel {
    explicit Melody(const std::vector<TapeNote> &notes, unsigned ticksPerFrame = 8) {
        setTicksPerFrame(ticksPerFrame);
        setNotes(notes);
    }
};

} // namespace tw
