#include "clipboard/X11Platform.h"

#include "clipboard/ClipboardGuard.h"
#include "clipboard/X11Atoms.h"
#include "clipboard/X11SelectionReader.h"
#include "clipboard/X11SelectionServer.h"

#include <X11/Xatom.h>
#include <new>

namespace {
constexpr auto ownerPatience = std::chrono::milliseconds(1000); // then the owner counts as frozen
constexpr auto servePatience = std::chrono::milliseconds(2000);
constexpr auto handOverLimit = std::chrono::milliseconds(2000);
} // namespace

X11Platform &X11Platform::instance() {
    static X11Platform platform;
    return platform;
}

X11Platform::~X11Platform() {
    shutdown();
}

bool X11Platform::connectLocked() {
    if (display_)
        return true;
    if (shutDown_)
        return false;
    XInitThreads();
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    auto server = std::make_unique<X11SelectionServer>();
    if (!server->start()) {
        XCloseDisplay(display);
        return false;
    }
    display_ = display;
    server_ = std::move(server);
    atoms_ = std::make_unique<X11Atoms>(display_);
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display_, window_, PropertyChangeMask);
    reader_ = std::make_unique<X11SelectionReader>(display_, window_, *atoms_);
    return true;
}

bool X11Platform::acquire() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (holdDepth_ > 0 && holder_ != std::this_thread::get_id())
        return false;
    if (!connectLocked())
        return false;
    holder_ = std::this_thread::get_id();
    ++holdDepth_;
    return true;
}

void X11Platform::release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (holdDepth_ > 0 && holder_ == std::this_thread::get_id() && --holdDepth_ == 0)
        holder_ = std::thread::id();
}

int32_t X11Platform::registerFormat(const char *name) {
    if (name == nullptr || *name == '\0')
        return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connectLocked())
        return -1;
    Atom atom = XInternAtom(display_, name, False);
    if (atom == None || atom > Atom(INT32_MAX))
        return -1;
    registered_.insert(int32_t(atom));
    return int32_t(atom);
}

bool X11Platform::isRegistered(int32_t format) {
    std::lock_guard<std::mutex> lock(mutex_);
    return display_ && registered_.count(format) != 0;
}

std::shared_ptr<const Bytes> X11Platform::ownersText() {
    Bytes text;
    FetchResult result = reader_->fetch(atoms_->clipboard, atoms_->utf8String, text, ownerPatience);
    if (result == FetchResult::ok)
        return std::make_shared<const Bytes>(std::move(text));
    if (result == FetchResult::timedOut) // a frozen owner would only keep us waiting again
        return nullptr;
    text.clear();
    if (reader_->fetch(atoms_->clipboard, XA_STRING, text, ownerPatience) == FetchResult::ok)
        return std::make_shared<const Bytes>(latin1ToUtf8(text));
    return nullptr;
}

int X11Platform::getData(int32_t format, Bytes &out) {
    // A number the display never gave us names no format (and X would refuse it as an atom).
    if (!isRegistered(format))
        return clipErrNoData;
    Window owner = XGetSelectionOwner(display_, atoms_->clipboard);
    if (owner == None)
        return clipErrNoData;
    if (owner == server_->window())
        return server_->localData(Atom(format), out);
    Bytes data;
    switch (reader_->fetch(atoms_->clipboard, Atom(format), data, ownerPatience)) {
    case FetchResult::ok:
        out.reserve(out.size() + data.size());
        out.insert(out.end(), data.begin(), data.end());
        return 0;
    case FetchResult::unreadable:
        return clipErrLock;
    default:
        return clipErrNoData;
    }
}

int X11Platform::setData(int32_t format, const uint8_t *data, size_t length) {
    if (!isRegistered(format))
        return clipErrArgument;
    Blob block;
    try {
        block = std::make_shared<const Bytes>(data, data + length);
    } catch (const std::bad_alloc &) {
        return clipErrAlloc;
    }
    // X keeps one owner per selection: to leave the text of the current owner on the clipboard,
    // take it over before taking the clipboard.
    Window owner = XGetSelectionOwner(display_, atoms_->clipboard);
    Blob text;
    if (owner != None && owner != server_->window())
        text = ownersText();
    return server_->own(Atom(format), block, text, servePatience) ? 0 : clipErrOpen;
}

void X11Platform::shutdown() {
    std::lock_guard<std::mutex> lock(mutex_);
    shutDown_ = true;
    if (!display_)
        return;
    server_->stop(handOverLimit);
    server_.reset();
    reader_.reset();
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
    display_ = nullptr;
    atoms_.reset();
    registered_.clear();
}
