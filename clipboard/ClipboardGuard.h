// Scoped access to the system clipboard: named formats, whole data blocks in and out.
// One guard per copy or paste; a guard is neither copied nor shared between threads.
#pragma once

#include <cstdint>
#include <vector>

namespace tw {

constexpr int clipErrArgument = -8949; // no data, a length of 0 or less, or a negative format
constexpr int clipErrOpen = -8948;     // the clipboard cannot be opened (no X display, or busy)
constexpr int clipErrNoData = -8947;   // nothing is stored in the requested format
constexpr int clipErrLock = -8946;     // the data block cannot be read
constexpr int clipErrAlloc = -8945;    // no block of the needed size can be allocated

class ClipboardGuard {
public:
    ClipboardGuard() = default;
    ~ClipboardGuard();
    ClipboardGuard(const ClipboardGuard &) = delete;
    ClipboardGuard &operator=(const ClipboardGuard &) = delete;

    // Holds the clipboard for this thread; nested opens only count. False when no display
    // connection can be had or another thread of this process holds the clipboard.
    bool open();
    // Undoes one open; the last one releases the clipboard. Does nothing when not open.
    void close();
    int32_t openCount() const { return openCount_; }

    // The format number of a name, the same for every client of the display, or -1.
    int32_t registerFormat(const char *name);
    // Appends every byte stored under the format to out. 0 or an error code.
    int getData(int32_t format, std::vector<uint8_t> &out);
    // Stores length bytes under the format; data of other formats stays. 0 or an error code.
    int setData(int32_t format, const void *data, int32_t length);

private:
    int32_t openCount_ = 0;
};

} // namespace tw
