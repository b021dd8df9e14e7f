// What the clipboard tests share: temporary files, xclip as an owner or reader, our peer program.
#pragma once

#include "ChildProcess.h"
#include "notes/TapeNote.h"
#include "testsupport/NoteMakers.h"
#include "testsupport/TempFiles.h"

#include <memory>
#include <string>

namespace tw {

// The window that owns CLIPBOARD now (0 for none), seen through a connection of the tests' own.
// Xlib's header stays out of the tests: its macros clash with GoogleTest's.
unsigned long clipboardOwner();

// xclip owning the clipboard with the contents of a file under a target (text when empty).
// Ready once xclip has taken the clipboard; killed at the end of the scope.
class XclipOwner {
public:
    XclipOwner(const std::string &file, const std::string &target = "");
    bool ready() const { return ready_; }
    ChildProcess &process() { return *process_; }

private:
    std::unique_ptr<ChildProcess> process_;
    bool ready_ = false;
};

// What `xclip -o` prints for the target (text when empty); status -1 when it had to be killed.
std::string xclipOut(const std::string &target, int &status);

// Our own second program (clipboard_peer), spoken to one line at a time.
class Peer {
public:
    explicit Peer(const std::vector<std::string> &unsetEnv = {},
                  const std::vector<std::string> &setEnv = {});
    ~Peer();
    // Sends one command and returns the first line of the answer ("" when none came).
    std::string ask(const std::string &command);
    // Further lines of the last answer.
    std::string nextLine();
    // Tells it to quit without waiting for its end.
    void quit();

private:
    ChildProcess process_;
};

std::string randomBytes(size_t size, unsigned seed);

// Three different notes, the middle one unselected, two with the same start.
std::vector<TapeNote> sampleNotes();

} // namespace tw
