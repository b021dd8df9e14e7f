// Melodies from MIDI files that are read already.
#include "scoretape/ScoreTape.h"

#include "scoremodel/MidiImport.h"

void Flt_ScoreTape::loadMidiFile(const MidiFile &file) {
    clear();
    if (!file.tracks.empty())
        fromTrack(file.tracks.front(), tw::fixedSecondsPerTick(file));
    dataChanged_ = false;
}
