#include "app/EndSignals.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace tw {

namespace {

int wakeFds[2] = {-1, -1};
std::thread::id guiThread;
// How long another thread whose X connection is lost waits for the GUI thread to end the
// process, in tenths of a second.
constexpr int lostDisplayWaitTenths = 300;
std::function<void()> &stateWriter() {
    static std::function<void()> writer;
    return writer;
}

// Async-signal-safe: only a byte into the pipe; the GUI thread does the rest.
void onEndSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!::write(wakeFds[1], &byte, 1);
    errno = saved;
}

// On the GUI thread: every window closes, Fl::run returns and the editor ends as after a
// close of its window (writing the state and the settings).
void onWake(FL_SOCKET fd, void *) {
    char buffer[16];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
    while (Fl_Window *window = Fl::first_window())
        window->hide();
}

// Xlib ends the process when this returns: the state is written first. Every X connection of
// the process ends here, the clipboard's too, on threads of their own: only the GUI thread may
// touch the melody, so another thread waits for the GUI thread (which loses its connection at
// the same moment) to write and end the process, and ends it alone only when that never comes.
int onLostDisplay(Display *) {
    static const char lost[] = "tapeworks2: the connection to the X server was lost\n";
    if (std::this_thread::get_id() != guiThread) {
        for (int i = 0; i < lostDisplayWaitTenths; ++i)
            ::usleep(100000);
        std::fputs(lost, stderr);
        ::_exit(1);
    }
    static bool writing = false; // a write that fails and tells the user ends up here again
    if (!writing) {
        writing = true;
        std::fputs(lost, stderr);
        if (stateWriter())
            stateWriter()();
    }
    ::_exit(1);
}

} // namespace

void installEndHandlers(std::function<void()> writeState) {
    stateWriter() = std::move(writeState);
    guiThread = std::this_thread::get_id();
    if (wakeFds[0] < 0 && ::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) == 0)
        Fl::add_fd(wakeFds[0], FL_READ, onWake);
    if (wakeFds[0] >= 0) {
        struct sigaction action {};
        action.sa_handler = onEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGHUP, &action, nullptr);
    }
    XSetIOErrorHandler(onLostDisplay);
}

} // namespace tw
