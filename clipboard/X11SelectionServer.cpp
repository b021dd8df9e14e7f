#include "clipboard/X11SelectionServer.h"

#include "clipboard/ClipboardGuard.h"
#include "clipboard/X11Errors.h"

#include <X11/Xatom.h>
#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tw {

namespace {
constexpr auto transferIdleLimit = std::chrono::seconds(5);
constexpr auto pendingPoll = std::chrono::milliseconds(100);
} // namespace

bool X11SelectionServer::start() {
    display_ = XOpenDisplay(nullptr);
    if (!display_)
        return false;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        XCloseDisplay(display_);
        display_ = nullptr;
        return false;
    }
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
    ignoreRequestorErrorsOn(display_);
    atoms_ = std::make_unique<X11Atoms>(display_);
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display_, window_, PropertyChangeMask);
    // One property write must fit into one request; larger blocks go in INCR chunks.
    long maxRequest = XExtendedMaxRequestSize(display_);
    if (maxRequest == 0)
        maxRequest = XMaxRequestSize(display_);
    size_t requestBytes = size_t(maxRequest) * 4 - 1024;
    incrThreshold_ = std::min(incrThreshold_, requestBytes);
    chunkSize_ = std::min(chunkSize_, incrThreshold_);
    XFlush(display_);
    thread_ = std::thread([this] { run(); });
    return true;
}

void X11SelectionServer::stop(std::chrono::milliseconds handOver) {
    if (!thread_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopRequested_ = true;
        handOverLimit_ = handOver;
    }
    wake();
    thread_.join();
    stopIgnoringErrorsOn(display_);
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
    display_ = nullptr;
    close(wakeRead_);
    close(wakeWrite_);
}

void X11SelectionServer::wake() {
    char byte = 1;
    ssize_t written = write(wakeWrite_, &byte, 1); // a full pipe already wakes the thread
    (void)written;
}

bool X11SelectionServer::own(Atom format, Blob data, ClipStore inherited,
                             std::chrono::milliseconds patience) {
    auto request = std::make_shared<OwnRequest>();
    request->format = format;
    request->data = std::move(data);
    request->inherited = std::move(inherited);
    request->deadline = Clock::now() + patience;
    std::future<bool> done = request->done.get_future();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopRequested_ || !thread_.joinable())
            return false;
        commands_.push_back(request);
    }
    wake();
    if (done.wait_for(patience + pendingPoll * 2) != std::future_status::ready)
        return false;
    return done.get();
}

std::shared_ptr<const ClipStore> X11SelectionServer::currentStore() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return store_;
}

int X11SelectionServer::localData(Atom format, Bytes &out) const {
    std::shared_ptr<const ClipStore> store = currentStore();
    Atom type = None;
    Blob data = store ? convertStored(*store, *atoms_, format, type) : nullptr;
    if (!data)
        return clipErrNoData;
    out.reserve(out.size() + data->size());
    out.insert(out.end(), data->begin(), data->end());
    return 0;
}

bool X11SelectionServer::takeCommands() {
    std::deque<std::shared_ptr<OwnRequest>> commands;
    bool stop;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands.swap(commands_);
        stop = stopRequested_;
    }
    for (auto &request : commands) {
        // Appending nothing to a property of our window gets a PropertyNotify carrying the
        // server's time, which the clipboard is then taken with.
        XChangeProperty(display_, window_, atoms_->timestampProperty, XA_INTEGER, 32,
                        PropModeAppend, nullptr, 0);
        awaitingTime_.push_back(request);
    }
    return stop;
}

void X11SelectionServer::completeOwnership(Time time) {
    if (awaitingTime_.empty())
        return;
    std::shared_ptr<OwnRequest> request = awaitingTime_.front();
    awaitingTime_.pop_front();
    auto next = std::make_shared<ClipStore>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        *next = store_ ? *store_ : request->inherited;
    }
    next->formats[request->format] = request->data;
    next->inherited.erase(request->format); // ours replaces the previous owner's
    next->time = time;
    XSetSelectionOwner(display_, atoms_->clipboard, window_, time);
    bool owned = XGetSelectionOwner(display_, atoms_->clipboard) == window_;
    if (owned) {
        std::lock_guard<std::mutex> lock(mutex_);
        store_ = next;
    }
    request->done.set_value(owned);
}

void X11SelectionServer::handle(const XEvent &event) {
    switch (event.type) {
    case SelectionRequest:
        serveRequest(event.xselectionrequest);
        break;
    case SelectionClear:
        // A clear that was sent before we took the clipboard again is stale.
        if (event.xselectionclear.selection == atoms_->clipboard &&
            XGetSelectionOwner(display_, atoms_->clipboard) != window_) {
            std::lock_guard<std::mutex> lock(mutex_);
            store_.reset();
        }
        break;
    case PropertyNotify:
        if (event.xproperty.window == window_) {
            if (event.xproperty.atom == atoms_->timestampProperty &&
                event.xproperty.state == PropertyNewValue)
                completeOwnership(event.xproperty.time);
        } else {
            continueTransfer(event.xproperty);
        }
        break;
    case SelectionNotify:
        if (event.xselection.selection == atoms_->clipboardManager)
            handOverDone_ = true;
        break;
    default:
        break;
    }
}

void X11SelectionServer::serveRequest(const XSelectionRequestEvent &request) {
    XSelectionEvent reply = {};
    reply.type = SelectionNotify;
    reply.display = display_;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = None;
    // Clients from before ICCCM 2 leave the property out and mean the target's name.
    Atom property = request.property == None ? request.target : request.property;
    std::shared_ptr<const ClipStore> store = currentStore();
    bool current = store && request.selection == atoms_->clipboard &&
                   (request.time == CurrentTime || request.time >= store->time);
    if (current) {
        bool served =
            request.target == atoms_->multiple
                ? request.property != None && serveMultiple(*store, request.requestor, property)
                : serveTarget(*store, request.requestor, request.target, property);
        if (served)
            reply.property = property;
    }
    XSendEvent(display_, request.requestor, False, NoEventMask, reinterpret_cast<XEvent *>(&reply));
}

bool X11SelectionServer::serveTarget(const ClipStore &store, Window requestor, Atom target,
                                     Atom property) {
    if (target == atoms_->targets) {
        std::vector<long> targets = storedTargets(store, *atoms_, true);
        XChangeProperty(display_, requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char *>(targets.data()), int(targets.size()));
        return true;
    }
    if (target == atoms_->timestamp) {
        long time = long(store.time);
        XChangeProperty(display_, requestor, property, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<unsigned char *>(&time), 1);
        return true;
    }
    Atom type = None;
    Blob data = convertStored(store, *atoms_, target, type);
    if (!data)
        return false;
    sendBlob(requestor, property, type, data);
    return true;
}

bool X11SelectionServer::serveMultiple(const ClipStore &store, Window requestor, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display_, requestor, property, 0, 1 << 16, False, AnyPropertyType, &type,
                           &format, &items, &after, &data) != Success)
        return false;
    if (!data)
        return false;
    std::vector<long> pairs;
    if (format == 32) {
        auto values = reinterpret_cast<unsigned long *>(data);
        pairs.assign(values, values + (items & ~1UL));
    }
    XFree(data);
    if (pairs.empty())
        return false;
    for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
        Atom target = Atom(pairs[i]), into = Atom(pairs[i + 1]);
        bool served = target != atoms_->multiple && into != None &&
                      serveTarget(store, requestor, target, into);
        if (!served)
            pairs[i + 1] = None;
    }
    XChangeProperty(display_, requestor, property, atoms_->atomPair, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(pairs.data()), int(pairs.size()));
    return true;
}

void X11SelectionServer::sendBlob(Window requestor, Atom property, Atom type, const Blob &data) {
    if (data->size() <= incrThreshold_) {
        XChangeProperty(display_, requestor, property, type, 8, PropModeReplace, data->data(),
                        int(data->size()));
        return;
    }
    // A new request into the same property replaces a transfer that was still going on.
    auto same = std::find_if(transfers_.begin(), transfers_.end(), [&](const Transfer &t) {
        return t.requestor == requestor && t.property == property;
    });
    if (same != transfers_.end())
        transfers_.erase(same);
    XSelectInput(display_, requestor, PropertyChangeMask);
    long size = long(std::min<size_t>(data->size(), LONG_MAX));
    XChangeProperty(display_, requestor, property, atoms_->incr, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(&size), 1);
    transfers_.push_back({requestor, property, type, data, 0, Clock::now()});
}

void X11SelectionServer::continueTransfer(const XPropertyEvent &event) {
    if (event.state != PropertyDelete)
        return;
    auto transfer = std::find_if(transfers_.begin(), transfers_.end(), [&](const Transfer &t) {
        return t.requestor == event.window && t.property == event.atom;
    });
    if (transfer == transfers_.end())
        return;
    size_t count = std::min(chunkSize_, transfer->data->size() - transfer->offset);
    XChangeProperty(display_, transfer->requestor, transfer->property, transfer->type, 8,
                    PropModeReplace, transfer->data->data() + transfer->offset, int(count));
    transfer->offset += count;
    transfer->lastActivity = Clock::now();
    if (count == 0) // the empty chunk that ends the transfer has gone out
        endTransfer(transfer);
}

void X11SelectionServer::endTransfer(std::vector<Transfer>::iterator transfer) {
    Window requestor = transfer->requestor;
    transfers_.erase(transfer);
    bool more = std::any_of(transfers_.begin(), transfers_.end(),
                            [&](const Transfer &t) { return t.requestor == requestor; });
    if (!more)
        XSelectInput(display_, requestor, NoEventMask);
}

void X11SelectionServer::expire(Clock::time_point now) {
    for (auto t = transfers_.begin(); t != transfers_.end();) {
        if (now - t->lastActivity > transferIdleLimit) {
            endTransfer(t);
            t = transfers_.begin();
        } else {
            ++t;
        }
    }
    while (!awaitingTime_.empty() && now > awaitingTime_.front()->deadline) {
        awaitingTime_.front()->done.set_value(false);
        awaitingTime_.pop_front();
    }
}

bool X11SelectionServer::beginHandOver() {
    std::shared_ptr<const ClipStore> store = currentStore();
    if (!store || XGetSelectionOwner(display_, atoms_->clipboard) != window_ ||
        XGetSelectionOwner(display_, atoms_->clipboardManager) == None)
        return false;
    std::vector<long> targets = storedTargets(*store, *atoms_, false);
    XChangeProperty(display_, window_, atoms_->transferProperty, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(targets.data()), int(targets.size()));
    XConvertSelection(display_, atoms_->clipboardManager, atoms_->saveTargets,
                      atoms_->transferProperty, window_, store->time);
    return true;
}

void X11SelectionServer::run() {
    bool handingOver = false;
    Clock::time_point handOverDeadline;
    for (;;) {
        if (takeCommands() && !handingOver) {
            handingOver = true;
            handOverDeadline = Clock::now() + handOverLimit_;
            if (handOverLimit_.count() <= 0 || !beginHandOver())
                break;
        }
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
            handle(event);
        }
        auto now = Clock::now();
        if (handingOver && (handOverDone_ || now >= handOverDeadline))
            break;
        expire(now);
        XFlush(display_);
        if (XEventsQueued(display_, QueuedAlready) > 0)
            continue;
        bool timed = handingOver || !transfers_.empty() || !awaitingTime_.empty();
        pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        poll(fds, 2, timed ? int(pendingPoll.count()) : -1);
        if (fds[1].revents & POLLIN) {
            char buffer[64];
            while (read(wakeRead_, buffer, sizeof buffer) > 0) {
            }
        }
    }
    for (auto &request : awaitingTime_)
        request->done.set_value(false);
    awaitingTime_.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto &request : commands_)
        request->done.set_value(false);
    commands_.clear();
}

} // namespace tw
