// File commands: open, import, save, the window title, and the unsaved-changes question.
#include "app/App.h"

#include "app/AppDialogs.h"
#include "app/RecoveryKeeper.h"
#include "commandline/FileNames.h"
#include "framework/Flt_Infowin.h"
#include "midifile/CheckedMidiFile.h"
#include "safefile/SafeFile.h"
#include "scoremodel/MidiImport.h"
#include "scoretape/ScoreTape.h"

#include <cerrno>
#include <filesystem>
#include <unistd.h>

namespace tw {

void App::openFile() {
    if (tape->model().dataChanged() && !queryClose())
        return;
    const FileChoice choice = chooseFile("Open MIDI file", midiFilePattern, fileName.c_str());
    if (choice.chosen)
        loadFile(choice.path.c_str());
}

void App::importFile() {
    if (tape->model().dataChanged() && !queryClose())
        return;
    const FileChoice choice = chooseFile("Import MIDI file", midiFilePattern, fileName.c_str());
    CheckedMidiFile file;
    if (choice.chosen && readFile(choice.path, file))
        importTracks(file, choice.path);
}

bool App::readFile(const std::string &path, CheckedMidiFile &file) {
    std::optional<uint64_t> failedAt;
    const int err = file.read(path.c_str(), &failedAt);
    if (err != 0) {
        const std::string why = tw::readErrorWords(err, path, failedAt);
        showAlertf("Cannot read MIDI file %s, error %d\n%s", path.c_str(), err, why.c_str());
        return false;
    }
    return true;
}

void App::loadFile(const char *path) {
    // A failed read changes nothing: the tape keeps its melody, and the file name and title
    // stay with it.
    if (!path || !*path)
        return;
    CheckedMidiFile file;
    if (!readFile(path, file))
        return;
    // What the tape would not show is offered track by track; Cancel reads the first track.
    if (tw::fullyHeldByTape(file) || !importTracks(file, path))
        openFirstTrack(file, path);
    rememberRecentFile(path);
}

void App::openFirstTrack(CheckedMidiFile &file, const std::string &path) {
    setInputFile(melodyInputRole, path);
    tape->model().loadMidiFile(std::move(file));
    markShownChannels(); // a read shows every channel again
    setFileName(path.c_str());
}

bool App::importTracks(CheckedMidiFile &file, const std::string &path) {
    const ImportChoice choice = chooseImport(path, tw::summarizeTracks(file));
    if (!choice.accepted)
        return false;
    // Following the tempo, the beat grid takes the file's first tempo and time signature.
    const BeatGrid grid = choice.followTempo ? tw::fileBeatGrid(file, tape->model().ticksPerFrame(),
                                                                tape->model().beatGrid())
                                             : tape->model().beatGrid();
    // One undoable edit; the melody has no file of its own until it is saved. The file's
    // bytes go as their notes are made.
    setInputFile(melodyInputRole, path);
    tape->model().setNotes(tw::importNotes(std::move(file), choice.tracks, choice.followTempo,
                                           tape->model().ticksPerFrame()));
    if (choice.followTempo)
        tape->model().setBeatGrid(grid);
    tape->model().setDataChanged(true);
    markShownChannels();
    setFileName("");
    std::error_code failed;
    const std::filesystem::path absolute = std::filesystem::absolute(path, failed);
    importedFrom = failed ? path : absolute.lexically_normal().string();
    setTitleSuffix((" - " + baseName(path) + " (imported)").c_str());
    return true;
}

bool App::saveFile(const char *path) {
    std::string name = path ? path : "";
    const bool saveAs = name.empty();
    bool replaceAgreed = false;
    if (saveAs) {
        const FileChoice choice =
            chooseSaveFile("Save MIDI file", midiFilePattern, fileName.c_str());
        if (!choice.chosen)
            return false;
        name = withMidExtension(choice.path);
        replaceAgreed = choice.replaceConfirmed && name == choice.path;
    }
    // A file holding more than the tape keeps is not replaced without a word.
    CheckedMidiFile target;
    const bool exists = ::access(name.c_str(), F_OK) == 0;
    const std::string lost =
        exists && target.read(name.c_str()) == 0 ? tw::whatSaveLoses(target) : std::string();
    if (!lost.empty()) {
        const std::string question = "The file " + baseName(name) + " holds " + lost +
                                     ".\nSaving replaces it with the melody alone, and that "
                                     "would be lost.";
        switch (askSafeChoice(question.c_str(), "Save As...", "Replace", "Cancel", 2)) {
        case 0:
            return saveFile(nullptr);
        case 1:
            break;
        default:
            return false;
        }
    } else if (saveAs && exists && !replaceAgreed) {
        const std::string question = "The file " + name + " exists already. Replace it?";
        if (askSafeChoice(question.c_str(), "Replace", "Cancel", nullptr, 1) != 0)
            return false;
    }
    // The melody may replace the file it was read from, never another input.
    SafeFileStatus status;
    SafeFileOptions options;
    options.ownInput = melodyInputRole;
    const int err = tape->model().writeMidiFile(name.c_str(), &status, options);
    if (err != 0) {
        showAlertf("Cannot write MIDI file %s, error %d\n%s", name.c_str(), err,
                   status.message.c_str());
        return false;
    }
    setInputFile(melodyInputRole, name);
    tape->model().setDataChanged(false);
    recoveryKeeper->saved();
    if (name != fileName)
        setFileName(name.c_str());
    rememberRecentFile(name);
    return true;
}

void App::setFileName(const char *path) {
    // Remembered absolute, so that the file opens again from any working folder.
    fileName = path ? path : "";
    importedFrom.clear();
    std::error_code failed;
    if (!fileName.empty()) {
        const std::filesystem::path absolute = std::filesystem::absolute(fileName, failed);
        if (!failed)
            fileName = absolute.lexically_normal().string();
    }
    setTitleSuffix(titleSuffixFor(fileName).c_str());
}

bool App::queryClose() {
    stopRecording(); // a take in progress belongs to the melody that the question is about
    if (tape->model().dataChanged()) {
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

} // namespace tw
