#include "ClipTestSupport.h"

// GoogleTest before Xlib: Xlib's macros (None, Bool) break GoogleTest's headers.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace tw {

using namespace std::chrono_literals;

unsigned long clipboardOwner() {
    static Display *display = XOpenDisplay(nullptr);
    if (!display)
        return None;
    return XGetSelectionOwner(display, XInternAtom(display, "CLIPBOARD", False));
}

XclipOwner::XclipOwner(const std::string &file, const std::string &target) {
    unsigned long before = clipboardOwner();
    std::vector<std::string> argv = {"xclip", "-selection", "clipboard", "-quiet", "-i", file};
    if (!target.empty()) {
        argv.push_back("-t");
        argv.push_back(target);
    }
    process_ = std::make_unique<ChildProcess>(argv);
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
        unsigned long owner = clipboardOwner();
        if (owner != None && owner != before) {
            ready_ = true;
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
}

std::string xclipOut(const std::string &target, int &status) {
    std::vector<std::string> argv = {"xclip", "-selection", "clipboard", "-o"};
    if (!target.empty()) {
        argv.push_back("-t");
        argv.push_back(target);
    }
    return runProgram(argv, status);
}

Peer::Peer(const std::vector<std::string> &unsetEnv, const std::vector<std::string> &setEnv)
    : process_({siblingProgram("clipboard_peer")}, unsetEnv, setEnv) {}

void Peer::quit() {
    process_.send("quit\n");
    process_.closeInput();
}

Peer::~Peer() {
    quit();
    // A sanitizer that found a fault in the peer ends it with a status other than 0.
    int status = process_.finish(5s);
    if (status != 0)
        ADD_FAILURE() << "clipboard_peer ended with status " << status;
}

std::string Peer::ask(const std::string &command) {
    std::string line;
    if (!process_.send(command + "\n") || !process_.readLine(line, 10s))
        return "";
    return line;
}

std::string Peer::nextLine() {
    std::string line;
    process_.readLine(line, 10s);
    return line;
}

std::string randomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char &c : bytes)
        c = char(random() & 0xFF);
    return bytes;
}

std::vector<TapeNote> sampleNotes() {
    return {tn(72, 0, 3, 0, 100, true), tn(48, 5, 1, 15, 1, false), tn(60, 5, 40, 2, 127, true)};
}

} // namespace tw
