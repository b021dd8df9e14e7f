// Owns CLIPBOARD for this process and answers other clients' requests, on a thread of its own
// with its own display connection and an unmapped window; a pipe wakes the thread for commands.
#pragma once

#include "clipboard/ClipStore.h"

#include <chrono>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace tw {

class X11SelectionServer {
public:
    X11SelectionServer() = default;
    ~X11SelectionServer() { stop(std::chrono::milliseconds(0)); }
    X11SelectionServer(const X11SelectionServer &) = delete;
    X11SelectionServer &operator=(const X11SelectionServer &) = delete;

    // Opens the connection and starts the thread. False when no display can be had.
    bool start();
    // Thread: any. The window that owns the clipboard when this process does.
    Window window() const { return window_; }

    // Thread: any. Takes the clipboard with a server timestamp and offers `data` under `format`.
    // While this process already owns the clipboard its other formats stay; otherwise the store
    // starts from `inherited` (the previous owner's text and other formats). False when the
    // clipboard could not be taken within `patience`.
    bool own(Atom format, Blob data, ClipStore inherited, std::chrono::milliseconds patience);

    // Thread: any. Appends what this process offers under `format`: 0 or clipErrNoData.
    int localData(Atom format, Bytes &out) const;

    // Thread: the one that started. Hands the data to a running clipboard manager (waiting at
    // most `handOver`), then ends the thread and closes the connection.
    void stop(std::chrono::milliseconds handOver);

private:
    using Clock = std::chrono::steady_clock;
    struct OwnRequest {
        Atom format;
        Blob data;
        ClipStore inherited;
        Clock::time_point deadline;
        std::promise<bool> done;
    };
    struct Transfer { // an INCR transfer to one requestor
        Window requestor;
        Atom property;
        Atom type;
        Blob data;
        size_t offset;
        Clock::time_point lastActivity;
    };

    void run();
    void wake();
    bool takeCommands(); // true when a stop was asked for
    void handle(const XEvent &event);
    void completeOwnership(Time time);
    void serveRequest(const XSelectionRequestEvent &request);
    bool serveTarget(const ClipStore &store, Window requestor, Atom target, Atom property);
    bool serveMultiple(const ClipStore &store, Window requestor, Atom property);
    void sendBlob(Window requestor, Atom property, Atom type, const Blob &data);
    void continueTransfer(const XPropertyEvent &event);
    void endTransfer(std::vector<Transfer>::iterator transfer);
    void expire(Clock::time_point now);
    bool beginHandOver();
    std::shared_ptr<const ClipStore> currentStore() const;

    Display *display_ = nullptr;
    Window window_ = None;
    std::unique_ptr<X11Atoms> atoms_;
    int wakeRead_ = -1, wakeWrite_ = -1;
    size_t incrThreshold_ = 256 * 1024;
    size_t chunkSize_ = 64 * 1024;
    std::thread thread_;

    mutable std::mutex mutex_; // guards the members down to the next comment
    std::deque<std::shared_ptr<OwnRequest>> commands_;
    bool stopRequested_ = false;
    std::chrono::milliseconds handOverLimit_{0};
    std::shared_ptr<const ClipStore> store_; // null while another client owns the clipboard

    // Serving thread only:
    std::deque<std::shared_ptr<OwnRequest>> awaitingTime_;
    std::vector<Transfer> transfers_;
    bool handOverDone_ = false;
};

} // namespace tw
