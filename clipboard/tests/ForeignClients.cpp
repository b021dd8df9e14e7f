#include "ForeignClients.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

namespace tw {

namespace {
using Clock = std::chrono::steady_clock;

// The next event of the display, or false when none came before the deadline.
bool nextEvent(Display *display, XEvent &event, Clock::time_point deadline) {
    while (!XPending(display)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fd = {ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, int(left.count()) + 1);
    }
    XNextEvent(display, &event);
    return true;
}

void reply(Display *display, const XSelectionRequestEvent &request, Atom property) {
    XSelectionEvent notice = {};
    notice.type = SelectionNotify;
    notice.requestor = request.requestor;
    notice.selection = request.selection;
    notice.target = request.target;
    notice.property = property;
    notice.time = request.time;
    XSendEvent(display, request.requestor, False, NoEventMask, reinterpret_cast<XEvent *>(&notice));
    XFlush(display);
}

std::string readProperty(Display *display, Window window, Atom property, Atom *typeOut = nullptr) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    std::string content;
    if (XGetWindowProperty(display, window, property, 0, 1 << 24, True, AnyPropertyType, &type,
                           &format, &items, &after, &data) == Success &&
        data) {
        if (format == 32) { // Xlib hands 32-bit items out as longs
            for (unsigned long i = 0; i < items; ++i) {
                unsigned long value = reinterpret_cast<unsigned long *>(data)[i];
                for (int b = 0; b < 4; ++b)
                    content.push_back(char(value >> (8 * b)));
            }
        } else {
            content.assign(reinterpret_cast<char *>(data), items * size_t(format / 8));
        }
        XFree(data);
    }
    if (typeOut)
        *typeOut = type;
    return content;
}

struct Client {
    Display *display = XOpenDisplay(nullptr);
    Window window =
        display ? XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0)
                : None;
    ~Client() {
        if (display)
            XCloseDisplay(display);
    }
    Atom atom(const char *name) const { return XInternAtom(display, name, False); }
    bool take(const char *selection) const {
        if (!display)
            return false;
        XSetSelectionOwner(display, atom(selection), window, CurrentTime);
        return XGetSelectionOwner(display, atom(selection)) == window;
    }
};

// Asks the owner of CLIPBOARD for the target into a property of the client's window; true when
// it answered with the property set.
bool convertClipboard(const Client &client, Atom target, Atom property,
                      Clock::time_point deadline) {
    XConvertSelection(client.display, client.atom("CLIPBOARD"), target, property, client.window,
                      CurrentTime);
    XFlush(client.display);
    XEvent event;
    do {
        if (!nextEvent(client.display, event, deadline))
            return false;
    } while (event.type != SelectionNotify);
    return event.xselection.property != None;
}
} // namespace

struct TextOwnerDisplay::Impl : Client {
    std::map<Atom, std::string> offers; // the text under UTF8_STRING, and the others
    bool owns = false;
};

TextOwnerDisplay::TextOwnerDisplay(const std::string &text,
                                   const std::map<std::string, std::string> &others)
    : impl_(std::make_unique<Impl>()) {
    if (!impl_->display)
        return;
    impl_->offers[impl_->atom("UTF8_STRING")] = text;
    for (const auto &other : others)
        impl_->offers[impl_->atom(other.first.c_str())] = other.second;
    impl_->owns = impl_->take("CLIPBOARD");
}

TextOwnerDisplay::~TextOwnerDisplay() = default;
bool TextOwnerDisplay::owns() const {
    return impl_->owns;
}
int TextOwnerDisplay::fd() const {
    return impl_->display ? ConnectionNumber(impl_->display) : -1;
}

void TextOwnerDisplay::answerRequests() {
    Display *display = impl_->display;
    XEvent event;
    while (display && XCheckTypedEvent(display, SelectionRequest, &event)) {
        const XSelectionRequestEvent &request = event.xselectionrequest;
        Atom property = None;
        auto offer = impl_->offers.find(request.target);
        if (offer != impl_->offers.end()) {
            XChangeProperty(display, request.requestor, request.property, offer->first, 8,
                            PropModeReplace,
                            reinterpret_cast<const unsigned char *>(offer->second.data()),
                            int(offer->second.size()));
            property = request.property;
        } else if (request.target == impl_->atom("TARGETS")) {
            std::vector<long> targets = {long(impl_->atom("TARGETS"))};
            for (const auto &o : impl_->offers)
                targets.push_back(long(o.first));
            XChangeProperty(display, request.requestor, request.property, XA_ATOM, 32,
                            PropModeReplace, reinterpret_cast<unsigned char *>(targets.data()),
                            int(targets.size()));
            property = request.property;
        }
        reply(display, request, property);
    }
}

struct FakeClipboardManager::Impl : Client {
    bool running = false;
};

FakeClipboardManager::FakeClipboardManager() : impl_(std::make_unique<Impl>()) {
    impl_->running = impl_->take("CLIPBOARD_MANAGER");
}

FakeClipboardManager::~FakeClipboardManager() = default;
bool FakeClipboardManager::running() const {
    return impl_->running;
}

bool FakeClipboardManager::save(const std::string &target, std::string &targets, std::string &data,
                                std::chrono::milliseconds patience) {
    Display *display = impl_->display;
    auto deadline = Clock::now() + patience;
    XEvent event;
    do {
        if (!nextEvent(display, event, deadline))
            return false;
    } while (event.type != SelectionRequest ||
             event.xselectionrequest.target != impl_->atom("SAVE_TARGETS"));
    XSelectionRequestEvent request = event.xselectionrequest;
    std::string list = readProperty(display, request.requestor, request.property);
    for (size_t at = 0; at + 4 <= list.size(); at += 4) {
        Atom atom =
            Atom(uint32_t(uint8_t(list[at])) | uint32_t(uint8_t(list[at + 1])) << 8 |
                 uint32_t(uint8_t(list[at + 2])) << 16 | uint32_t(uint8_t(list[at + 3])) << 24);
        char *name = XGetAtomName(display, atom);
        targets += std::string(targets.empty() ? "" : " ") + (name ? name : "?");
        if (name)
            XFree(name);
    }
    Atom into = impl_->atom("TW_MANAGER_COPY");
    bool got = convertClipboard(*impl_, impl_->atom(target.c_str()), into, deadline);
    if (got)
        data = readProperty(display, impl_->window, into);
    reply(display, request, request.property);
    return got;
}

struct IncrRequestor::Impl : Client {
    Atom property = None;
};

IncrRequestor::IncrRequestor() : impl_(std::make_unique<Impl>()) {
    if (impl_->display)
        XSelectInput(impl_->display, impl_->window, PropertyChangeMask);
    impl_->property = impl_->display ? impl_->atom("TW_INCR_TEST") : None;
}

IncrRequestor::~IncrRequestor() = default;

bool IncrRequestor::start(const std::string &target, std::chrono::milliseconds patience) {
    Display *display = impl_->display;
    if (!display)
        return false;
    if (!convertClipboard(*impl_, impl_->atom(target.c_str()), impl_->property,
                          Clock::now() + patience))
        return false;
    Atom type = None;
    readProperty(display, impl_->window, impl_->property, &type); // deleting it asks for more
    XFlush(display);
    return type == impl_->atom("INCR");
}

bool IncrRequestor::readChunk(std::string &chunk, std::chrono::milliseconds patience) {
    Display *display = impl_->display;
    auto deadline = Clock::now() + patience;
    for (;;) {
        XEvent event;
        if (!nextEvent(display, event, deadline))
            return false;
        if (event.type != PropertyNotify || event.xproperty.state != PropertyNewValue)
            continue;
        Atom type = None;
        chunk = readProperty(display, impl_->window, impl_->property, &type);
        XFlush(display);
        if (type != None && type != impl_->atom("INCR"))
            return true;
    }
}

void IncrRequestor::vanish() {
    if (!impl_->display)
        return;
    // Once the next chunk is there, delete it and destroy the window in one go: the owner learns
    // of the deletion only after the window has gone.
    Display *display = impl_->display;
    auto deadline = Clock::now() + std::chrono::seconds(5);
    XEvent event;
    do {
        if (!nextEvent(display, event, deadline))
            break;
    } while (event.type != PropertyNotify || event.xproperty.state != PropertyNewValue);
    XDeleteProperty(display, impl_->window, impl_->property);
    XDestroyWindow(display, impl_->window);
    XCloseDisplay(display);
    impl_->display = nullptr;
}

bool convertMultiple(const std::vector<std::string> &targets, std::vector<std::string> &answers,
                     std::chrono::milliseconds patience) {
    Client client;
    Display *display = client.display;
    if (!display)
        return false;
    std::vector<long> pairs;
    for (size_t i = 0; i < targets.size(); ++i) {
        pairs.push_back(long(client.atom(targets[i].c_str())));
        pairs.push_back(long(client.atom(("TW_MULTIPLE_" + std::to_string(i)).c_str())));
    }
    Atom list = client.atom("TW_MULTIPLE_LIST");
    XChangeProperty(display, client.window, list, client.atom("ATOM_PAIR"), 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(pairs.data()), int(pairs.size()));
    if (!convertClipboard(client, client.atom("MULTIPLE"), list, Clock::now() + patience))
        return false;
    std::string written = readProperty(display, client.window, list);
    answers.clear();
    for (size_t i = 0; i < targets.size(); ++i) {
        size_t at = (2 * i + 1) * 4;
        bool struck = at + 4 > written.size() ||
                      (written[at] | written[at + 1] | written[at + 2] | written[at + 3]) == 0;
        answers.push_back(struck ? "<refused>"
                                 : readProperty(display, client.window, Atom(pairs[2 * i + 1])));
    }
    return true;
}

} // namespace tw
