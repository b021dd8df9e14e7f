// The clipboard of the X display: one connection per process for reading and registering, plus
// the serving thread. Format numbers are atoms, the same for every client of the display; the
// connection stays open for the whole run so that the numbers handed out stay valid.
#pragma once

#include "clipboard/ClipStore.h"
#include "clipboard/TextEncoding.h"

#include <X11/Xlib.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace tw {

struct X11Atoms;
class X11SelectionReader;
class X11SelectionServer;

class X11Platform {
public:
    static X11Platform &instance();
    ~X11Platform();

    // Thread: any. Holds the clipboard for the calling thread (nested holds count). False when
    // no display connection can be had or another thread holds the clipboard.
    bool acquire();
    void release();

    // Thread: any. The atom of the name, or -1 without a display.
    int32_t registerFormat(const char *name);

    // Thread: the one holding the clipboard.
    int getData(int32_t format, Bytes &out);
    int setData(int32_t format, const uint8_t *data, size_t length);

    // Thread: any, once clipboard use has ended. Hands over to a clipboard manager, then closes.
    void shutdown();

private:
    X11Platform() = default;
    bool connectLocked();
    bool isRegistered(int32_t format);
    using Clock = std::chrono::steady_clock;
    // What this process keeps offering of the current (foreign) owner's data when it takes the
    // clipboard to offer `replaced`.
    ClipStore ownersData(Atom replaced);
    // The owner's text under UTF8_STRING or STRING, as UTF-8; null when it has none in time.
    Blob ownersText(Atom target, Clock::time_point deadline);
    bool inheritable(Atom target, Atom replaced) const;

    std::mutex mutex_; // guards every member
    Display *display_ = nullptr;
    Window window_ = None;
    std::unique_ptr<X11Atoms> atoms_;
    std::unique_ptr<X11SelectionReader> reader_;
    std::unique_ptr<X11SelectionServer> server_;
    std::set<int32_t> registered_;
    std::thread::id holder_;
    int holdDepth_ = 0;
    bool shutDown_ = false;
};

} // namespace tw
