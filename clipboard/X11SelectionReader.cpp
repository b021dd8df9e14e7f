#include "clipboard/X11SelectionReader.h"

#include "clipboard/ClipboardSystem.h"

#include <X11/Xatom.h>
#include <algorithm>
#include <poll.h>

namespace tw {

namespace {
constexpr long propertyChunkLongs = 1 << 20; // read properties 4 MB at a time

// The size announced by an INCR notice (one 32-bit item, packed little-endian).
size_t incrSize(const Bytes &notice) {
    return size_t(notice[0]) | size_t(notice[1]) << 8 | size_t(notice[2]) << 16 |
           size_t(notice[3]) << 24;
}
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

bool X11SelectionReader::takeProperty(Atom property, Fetched &out, size_t limit) {
    long offset = 0; // in 32-bit units, as X counts it
    out.type = None;
    out.format = 0;
    for (;;) {
        Atom actualType = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(display_, window_, property, offset, propertyChunkLongs, False,
                               AnyPropertyType, &actualType, &format, &items, &after,
                               &data) != Success)
            return false;
        out.type = actualType;
        out.format = format;
        if (actualType == None || (format != 8 && format != 16 && format != 32)) {
            if (data)
                XFree(data);
            break;
        }
        // Xlib hands 32-bit items out as longs and 16-bit items as shorts.
        size_t unit = size_t(format / 8);
        size_t stride = format == 32 ? sizeof(long) : format == 16 ? sizeof(short) : 1;
        Bytes &bytes = out.bytes;
        if (bytes.size() + items * unit > limit) {
            XFree(data);
            return false;
        }
        if (stride == unit) {
            bytes.insert(bytes.end(), data, data + items * unit);
        } else {
            for (unsigned long i = 0; i < items; ++i) {
                unsigned long value = format == 32 ? reinterpret_cast<unsigned long *>(data)[i]
                                                   : reinterpret_cast<unsigned short *>(data)[i];
                for (size_t b = 0; b < unit; ++b)
                    bytes.push_back(uint8_t(value >> (8 * b)));
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

FetchResult X11SelectionReader::readIncrementally(Atom property, Fetched &out,
                                                  std::chrono::milliseconds patience,
                                                  size_t limit) {
    auto deadline = Clock::now() + patience;
    for (;;) {
        XEvent event;
        bool arrived = waitFor(event, deadline, [&](const XEvent &e) {
            return e.type == PropertyNotify && e.xproperty.window == window_ &&
                   e.xproperty.atom == property && e.xproperty.state == PropertyNewValue;
        });
        if (!arrived)
            return FetchResult::timedOut;
        Fetched chunk;
        if (!takeProperty(property, chunk, maxTransfer))
            return FetchResult::unreadable;
        if (chunk.type == None || chunk.type == atoms_.incr)
            continue; // the notice of a property we have already taken
        // Every chunk carries the type of the whole; the last, empty one too.
        out.type = chunk.type;
        out.format = chunk.format;
        if (chunk.bytes.empty())
            return FetchResult::ok;
        if (out.bytes.size() + chunk.bytes.size() > limit)
            return limit < maxTransfer ? FetchResult::tooLarge : FetchResult::unreadable;
        out.bytes.insert(out.bytes.end(), chunk.bytes.begin(), chunk.bytes.end());
        deadline = Clock::now() + patience;
    }
}

FetchResult X11SelectionReader::fetch(Atom selection, Atom target, Fetched &out,
                                      std::chrono::milliseconds patience, size_t limit,
                                      Atom property) {
    XEvent event;
    while (XPending(display_)) // answers to earlier requests that came too late
        XNextEvent(display_, &event);
    if (property == None)
        property = atoms_.transferProperty;
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
    Fetched data;
    if (!takeProperty(property, data, maxTransfer))
        return FetchResult::unreadable;
    if (data.type == None)
        return FetchResult::refused;
    if (data.type == atoms_.incr) {
        // The notice holds a lower bound of the size. A transfer bound to be too large is left
        // at once: the owner puts its first chunk into the property and waits in vain until it
        // gives up, which the fetches into other properties never notice.
        if (data.bytes.size() >= 4 && incrSize(data.bytes) > limit)
            return FetchResult::tooLarge;
        data = Fetched();
        FetchResult result = readIncrementally(property, data, patience, limit);
        if (result != FetchResult::ok)
            return result;
    } else if (data.bytes.size() > limit) {
        return FetchResult::tooLarge;
    }
    out = std::move(data);
    return FetchResult::ok;
}

} // namespace tw
