#include "clipboard/ClipboardGuard.h"

#include "clipboard/X11Platform.h"

namespace tw {

ClipboardGuard::~ClipboardGuard() {
    if (openCount_ != 0)
        X11Platform::instance().release();
}

bool ClipboardGuard::open() {
    if (openCount_ == 0 && !X11Platform::instance().acquire())
        return false;
    ++openCount_;
    return true;
}

void ClipboardGuard::close() {
    if (openCount_ <= 0)
        return;
    if (--openCount_ == 0)
        X11Platform::instance().release();
}

int32_t ClipboardGuard::registerFormat(const char *name) {
    return X11Platform::instance().registerFormat(name);
}

int ClipboardGuard::getData(int32_t format, std::vector<uint8_t> &out) {
    if (!open())
        return clipErrOpen;
    // The guard is closed on every path, also when appending to out throws.
    struct Closer {
        ClipboardGuard &guard;
        ~Closer() { guard.close(); }
    } closer{*this};
    return X11Platform::instance().getData(format, out);
}

int ClipboardGuard::setData(int32_t format, const void *data, int32_t length) {
    if (data == nullptr || length <= 0 || format < 0)
        return clipErrArgument;
    if (!open())
        return clipErrOpen;
    int result = X11Platform::instance().setData(format, static_cast<const uint8_t *>(data),
                                                 static_cast<size_t>(length));
    close();
    return result;
}

} // namespace tw
