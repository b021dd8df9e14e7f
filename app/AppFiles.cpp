// File commands: open, save, the window title, and the unsaved-changes question.
#include "app/App.h"

#include "app/AppDialogs.h"
#include "app/FileNames.h"
#include "app/RecoveryKeeper.h"
#include "framework/Flt_Infowin.h"
#include "scoretape/ScoreTape.h"

void App::openFile() {
    if (tape->dataChanged() && !queryClose())
        return;
    const FileChoice choice = chooseFile("Open MIDI file", "*.mid", fileName.c_str());
    if (choice.chosen)
        loadFile(choice.path.c_str());
}

void App::loadFile(const char *path) {
    // A failed read changes nothing: the tape keeps its melody, and the file name and title
    // stay with it.
    if (!path || !*path)
        return;
    const int err = tape->readMidiFile(path);
    if (err != 0) {
        showMessagef("Cannot read MIDI file %s, error %d", path, err);
        return;
    }
    markShownChannels(); // a read shows every channel again
    setFileName(path);
}

bool App::saveFile(const char *path) {
    std::string name = path ? path : "";
    if (name.empty()) {
        const FileChoice choice = chooseFile("Save MIDI file", "*.mid", fileName.c_str());
        if (!choice.chosen)
            return false;
        name = withMidExtension(choice.path);
    }
    const int err = tape->writeMidiFile(name.c_str());
    if (err != 0) {
        showMessagef("Cannot write MIDI file %s, error %d", name.c_str(), err);
        return false;
    }
    tape->setDataChanged(false);
    recoveryKeeper->saved();
    if (name != fileName)
        setFileName(name.c_str());
    return true;
}

void App::setFileName(const char *path) {
    fileName = path ? path : "";
    setTitleSuffix(titleSuffixFor(fileName).c_str());
}

bool App::queryClose() {
    if (tape->dataChanged()) {
        switch (askChoice("Data changed - save?", "Cancel", "Yes", "No")) {
        case 0:
            return false;
        case 1:
            if (!saveFile(fileName.c_str()))
                return false;
            break;
        default:
            recoveryKeeper->dropped(); // "No": the user lets the changes go
            break;
        }
    }
    if (infoWindow)
        infoWindow->hide();
    return true;
}
