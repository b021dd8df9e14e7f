// Minimal X clients written with Xlib for the tests: a second display connection of this process
// that owns the clipboard with text (as the editor's FLTK display does after copying text from a
// widget), and a clipboard manager that takes the data over when a program exits.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tw {

class TextOwnerDisplay {
public:
    // `others`: further targets offered beside the text, by name, each typed as its target.
    explicit TextOwnerDisplay(const std::string &text,
                              const std::map<std::string, std::string> &others = {});
    ~TextOwnerDisplay();
    bool owns() const;
    int fd() const;
    // Answers the requests that have arrived: UTF8_STRING, the other targets and TARGETS.
    void answerRequests();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class FakeClipboardManager {
public:
    FakeClipboardManager();
    ~FakeClipboardManager();
    bool running() const;
    // Waits for a SAVE_TARGETS request; then fetches `target` from the clipboard's owner and
    // answers. `targets` gets the names the owner asked to save, space-separated.
    bool save(const std::string &target, std::string &targets, std::string &data,
              std::chrono::milliseconds patience);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A client that reads a large conversion of CLIPBOARD in INCR chunks at its own pace.
class IncrRequestor {
public:
    IncrRequestor();
    ~IncrRequestor();
    // Asks for the target; true when the owner answered with an INCR transfer.
    bool start(const std::string &target, std::chrono::milliseconds patience);
    // The next chunk (empty at the end); false when none came in time.
    bool readChunk(std::string &chunk, std::chrono::milliseconds patience);
    // Asks for the next chunk and goes away at once, window and connection.
    void vanish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Converts several targets of CLIPBOARD in one MULTIPLE request. For each target, `answers`
// gets the data or "<refused>" when the owner struck the target out.
bool convertMultiple(const std::vector<std::string> &targets, std::vector<std::string> &answers,
                     std::chrono::milliseconds patience);

} // namespace tw
