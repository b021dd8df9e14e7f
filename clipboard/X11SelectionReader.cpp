#include "clipboard/X11SelectionReader.h"

#include "clipboard/ClipboardSystem.h"

#include <X11/Xatom.h>
#include <algorithm>
#include <poll.h>

namespace {
constexpr size_t maxTransfer = size_t(1) << 30; // a sender that never ends is cut off here
constexpr long propertyChunkLongs = 1 << 20;    // read properties 4 MB at a time
} // namespace

template <class Match>
bool X11SelectionReader::waitFor(XEvent &event, Clock::time_point deadline, Match match) {
    ClipboardWaitHook hook = clipboardWaitHook();
    for (;;) {
        // Only our own window gets events on this connection: whatever does not match is stale.
        while (XPending(display_)) {
            XNextEvent(display_, &event);
            if (match(event))
                return true;
        }
        auto now = Clock::now();
        if (now >= deadline)
            return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {hook.fd, POLLIN, 0}};
        poll(fds, hook.fd >= 0 ? 2 : 1, int(std::min<long long>(left + 1, 10)));
        if (hook.pump)
            hook.pump();
    }
}

bool X11SelectionReader::takeProperty(Atom property, Atom &type, Bytes &out) {
    long offset = 0; // in 32-bit units, as X counts it
    type = None;
    for (;;) {
        Atom actualType = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(display_, window_, property, offset, propertyChunkLongs, False,
                               AnyPropertyType, &actualType, &format, &items, &after,
                               &data) != Success)
            return false;
        type = actualType;
        if (actualType == None || (format != 8 && format != 16 && format != 32)) {
            if (data)
                XFree(data);
            break;
        }
        // Xlib hands 32-bit items out as longs and 16-bit items as shorts.
        size_t unit = size_t(format / 8);
        size_t stride = format == 32 ? sizeof(long) : format == 16 ? sizeof(short) : 1;
        if (out.size() + items * unit > maxTransfer) {
            XFree(data);
            return false;
        }
        if (stride == unit) {
            out.insert(out.end(), data, data + items * unit);
        } else {
            for (unsigned long i = 0; i < items; ++i) {
                unsigned long value = format == 32 ? reinterpret_cast<unsigned long *>(data)[i]
                                                   : reinterpret_cast<unsigned short *>(data)[i];
                for (size_t b = 0; b < unit; ++b)
                    out.push_back(uint8_t(value >> (8 * b)));
            }
        }
        XFree(data);
        offset += long(items * unit / 4);
        if (after == 0)
            break;
    }
    XDeleteProperty(display_, window_, property);
    XFlush(display_);
    return true;
}

FetchResult X11SelectionReader::readIncrementally(Atom property, Bytes &out,
                                                  std::chrono::milliseconds patience) {
    auto deadline = Clock::now() + patience;
    for (;;) {
        XEvent event;
        bool arrived = waitFor(event, deadline, [&](const XEvent &e) {
            return e.type == PropertyNotify && e.xproperty.window == window_ &&
                   e.xproperty.atom == property && e.xproperty.state == PropertyNewValue;
        });
        if (!arrived)
            return FetchResult::timedOut;
        Atom type = None;
        Bytes chunk;
        if (!takeProperty(property, type, chunk))
            return FetchResult::unreadable;
        if (type == None || type == atoms_.incr)
            continue; // the notice of a property we have already taken
        if (chunk.empty())
            return FetchResult::ok;
        if (out.size() + chunk.size() > maxTransfer)
            return FetchResult::unreadable;
        out.insert(out.end(), chunk.begin(), chunk.end());
        deadline = Clock::now() + patience;
    }
}

FetchResult X11SelectionReader::fetch(Atom selection, Atom target, Bytes &out,
                                      std::chrono::milliseconds patience) {
    XEvent event;
    while (XPending(display_)) // answers to earlier requests that came too late
        XNextEvent(display_, &event);
    Atom property = atoms_.transferProperty;
    XDeleteProperty(display_, window_, property);
    XConvertSelection(display_, selection, target, property, window_, CurrentTime);
    XFlush(display_);
    bool answered = waitFor(event, Clock::now() + patience, [&](const XEvent &e) {
        return e.type == SelectionNotify && e.xselection.requestor == window_ &&
               e.xselection.selection == selection && e.xselection.target == target;
    });
    if (!answered)
        return FetchResult::timedOut;
    if (event.xselection.property == None)
        return FetchResult::refused;
    property = event.xselection.property;
    Atom type = None;
    Bytes data;
    if (!takeProperty(property, type, data))
        return FetchResult::unreadable;
    if (type == None)
        return FetchResult::refused;
    if (type == atoms_.incr) {
        data.clear();
        FetchResult result = readIncrementally(property, data, patience);
        if (result != FetchResult::ok)
            return result;
    }
    out.swap(data);
    return FetchResult::ok;
}
