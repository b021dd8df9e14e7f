// The editor's side of recovery: its slot, work left by editors that ended without saving it,
// and the old content of files whose in-place write was stopped.
#include "app/App.h"

#include "app/CommandIds.h"
#include "app/RecoveryKeeper.h"
#include "commandline/FileNames.h"
#include "framework/Dialogs.h"
#include "framework/Flt_Menubar.h"
#include "safefile/SafeFile.h"
#include "scoretape/PlaybackController.h"
#include "scoretape/ScoreTape.h"

#include <unistd.h>

namespace tw {

bool App::startRecovery(const std::string &startFile) {
    offerKeptCopies();
    if (!recoveryKeeper->open(tw::recoveryFolder(), long(::getpid())))
        return false;
    return recoveryKeeper->offerOrphans(
        [this](const tw::RecoveryData &data) {
            tape->model().setNotes(data.notes);
            tape->model().setDataChanged(true); // unsaved work, as it was
            for (unsigned c = 0; c < 16; ++c)
                playback->setProgram(c, data.programs[c]);
            menubar->setValue(cmdProgram + int(tape->model().program(currentChannel)), true);
            markShownChannels();
            setFileName(data.fileName.c_str());
        },
        startFile);
}

void App::offerKeptCopies() {
    std::vector<KeptCopy> copies = claimKeptCopies(tw::recoveryFolder());
    for (KeptCopy &copy : copies) {
        const std::string question =
            "The file " + copy.target() + " was being written in place when its writer ended, " +
            tw::recoveryTimeText(copy.keptAt()) + ".\nIts content from before (" +
            std::to_string(copy.size()) + " bytes) was kept.\nPut it back?";
        const int answer =
            askChoice(question.c_str(), "Later", "Restore", "Discard", "Restore unsaved work");
        if (answer == 2) {
            copy.discard();
        } else if (answer == 1) {
            SafeFileOptions options;
            options.ownInput =
                melodyInputRole; // a melody read from the broken file may be replaced
            if (const SafeFileStatus s = copy.putBack(options); !s)
                showAlertf("Cannot put back the old content of %s\n%s", copy.target().c_str(),
                           s.message.c_str());
        }
    }
}

} // namespace tw
