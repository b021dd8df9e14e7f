// The editor's side of recovery: its slot, and work left by editors that ended without saving it.
#include "app/App.h"

#include "app/CommandIds.h"
#include "app/RecoveryKeeper.h"
#include "framework/Flt_Menubar.h"
#include "scoretape/ScoreTape.h"

#include <unistd.h>

namespace tw {

bool App::startRecovery(const std::string &startFile) {
    if (!recoveryKeeper->open(tw::recoveryFolder(), long(::getpid())))
        return false;
    return recoveryKeeper->offerOrphans(
        [this](const tw::RecoveryData &data) {
            tape->setNotes(data.notes);
            tape->setDataChanged(true); // unsaved work, as it was
            for (unsigned c = 0; c < 16; ++c)
                tape->setProgram(c, data.programs[c]);
            menubar->setValue(cmdProgram + int(tape->program(currentChannel)), true);
            markShownChannels();
            setFileName(data.fileName.c_str());
        },
        startFile);
}

} // namespace tw
