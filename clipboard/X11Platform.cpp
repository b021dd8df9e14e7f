#include "clipboard/X11Platform.h"

#include "clipboard/ClipboardGuard.h"
#include "clipboard/X11Atoms.h"
#include "clipboard/X11SelectionReader.h"
#include "clipboard/X11SelectionServer.h"

#include <X11/Xatom.h>
#include <algorithm>
#include <new>

namespace tw {

namespace {
constexpr auto ownerPatience = std::chrono::milliseconds(1000); // then the owner counts as frozen
constexpr auto servePatience = std::chrono::milliseconds(2000);
constexpr auto handOverLimit = std::chrono::milliseconds(2000);
// Taking the previous owner's data along: all of it within this time, each target up to the
// first size and all of them together up to the second.
constexpr auto inheritPatience = std::chrono::milliseconds(2000);
constexpr size_t inheritLimit = size_t(8) << 20;
constexpr size_t inheritTotalLimit = size_t(32) << 20;

std::chrono::milliseconds patienceLeft(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return std::min(ownerPatience, std::max(left, std::chrono::milliseconds(0)));
}
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

Blob X11Platform::ownersText(Atom target, Clock::time_point deadline) {
    Fetched text;
    if (reader_->fetch(atoms_->clipboard, target, text, patienceLeft(deadline)) !=
            FetchResult::ok ||
        text.type != target)
        return nullptr;
    if (target == XA_STRING)
        return std::make_shared<const Bytes>(latin1ToUtf8(text.bytes));
    return std::make_shared<const Bytes>(std::move(text.bytes));
}

bool X11Platform::inheritable(Atom target, Atom replaced) const {
    // Not the protocol's own targets (DELETE would even clear the owner's data), not the text
    // targets that the store derives from the text, not the format that is being replaced.
    for (Atom skipped :
         {atoms_->targets, atoms_->timestamp, atoms_->multiple, atoms_->saveTargets,
          atoms_->deleteTarget, atoms_->insertSelection, atoms_->insertProperty, atoms_->text,
          atoms_->textPlainUtf8, atoms_->utf8String, Atom(XA_STRING), replaced})
        if (target == skipped)
            return false;
    return target != None;
}

ClipStore X11Platform::ownersData(Atom replaced) {
    ClipStore kept;
    const Clock::time_point deadline = Clock::now() + inheritPatience;
    Fetched list;
    FetchResult listed = reader_->fetch(atoms_->clipboard, atoms_->targets, list, ownerPatience);
    if (listed == FetchResult::timedOut) // a frozen owner would only keep us waiting again
        return kept;
    if (listed != FetchResult::ok || list.type != XA_ATOM || list.format != 32) {
        // An owner that cannot list its targets may still have text.
        kept.text = ownersText(atoms_->utf8String, deadline);
        if (!kept.text)
            kept.text = ownersText(XA_STRING, deadline);
        return kept;
    }
    std::vector<Atom> targets;
    for (size_t at = 0; at + 4 <= list.bytes.size(); at += 4) {
        const uint8_t *item = list.bytes.data() + at;
        targets.push_back(Atom(uint32_t(item[0]) | uint32_t(item[1]) << 8 |
                               uint32_t(item[2]) << 16 | uint32_t(item[3]) << 24));
    }
    const auto offers = [&](Atom target) {
        return std::find(targets.begin(), targets.end(), target) != targets.end();
    };
    if (offers(atoms_->utf8String))
        kept.text = ownersText(atoms_->utf8String, deadline);
    if (!kept.text && offers(XA_STRING))
        kept.text = ownersText(XA_STRING, deadline);
    size_t total = 0;
    for (Atom target : targets) {
        if (!inheritable(target, replaced) || kept.inherited.count(target) != 0)
            continue;
        if (Clock::now() >= deadline || total >= inheritTotalLimit)
            break;
        // Each target into a property of its own: a transfer given up as too large cannot
        // spill into the next one.
        Fetched data;
        FetchResult result =
            reader_->fetch(atoms_->clipboard, target, data, patienceLeft(deadline),
                           std::min(inheritLimit, inheritTotalLimit - total), target);
        if (result == FetchResult::timedOut)
            break;
        // Kept only as it came: bytes of the type asked for, which we can serve alike.
        if (result == FetchResult::ok && data.type == target && data.format == 8) {
            total += data.bytes.size();
            kept.inherited[target] = std::make_shared<const Bytes>(std::move(data.bytes));
        }
    }
    return kept;
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
    Fetched data;
    switch (reader_->fetch(atoms_->clipboard, Atom(format), data, ownerPatience)) {
    case FetchResult::ok:
        // Some owners answer any request with their text: only an answer of the type asked
        // for is data in that format.
        if (data.type != Atom(format))
            return clipErrNoData;
        out.reserve(out.size() + data.bytes.size());
        out.insert(out.end(), data.bytes.begin(), data.bytes.end());
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
    // X keeps one owner per selection: to leave the current owner's data on the clipboard, take
    // it over before taking the clipboard.
    Window owner = XGetSelectionOwner(display_, atoms_->clipboard);
    ClipStore inherited;
    if (owner != None && owner != server_->window())
        inherited = ownersData(Atom(format));
    return server_->own(Atom(format), block, std::move(inherited), servePatience) ? 0 : clipErrOpen;
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

} // namespace tw
