// Large blocks of memory for the reader: the file's bytes and the event list of a long track.
// Fresh memory costs a page fault per 4 kB page when first touched; blocks of several MB are
// asked to be backed by huge pages, which cuts the faults of reading a large file by far.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace tw {

namespace midifile {

// Asks the kernel to back the whole 2 MB pages inside [p, p + bytes) by huge pages. Only a
// hint: nothing changes where the kernel does not offer them.
void adviseHugePages(void *p, std::size_t bytes);

// An uninitialised byte block, mapped on its own when large. It grows on request, keeping its
// content; the address may change then.
class ByteBlock {
public:
    ByteBlock() = default;
    explicit ByteBlock(std::size_t size);
    ~ByteBlock();
    ByteBlock(const ByteBlock &) = delete;
    ByteBlock &operator=(const ByteBlock &) = delete;
    // A block moved from is empty.
    ByteBlock(ByteBlock &&other) noexcept { swap(other); }
    ByteBlock &operator=(ByteBlock &&other) noexcept {
        ByteBlock gone(std::move(*this));
        swap(other);
        return *this;
    }
    void swap(ByteBlock &other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(mapped_, other.mapped_);
    }

    // Changes the size, keeping the first min(old, new) bytes; false (block unchanged) when the
    // memory is not there.
    bool resize(std::size_t size);

    // The bytes before `to` are needed no more: gives the pages that hold only such bytes back
    // to the system, from the page that holds `from` on, when the block is mapped on its own
    // (a small block keeps them). Their bytes read as zeros afterwards.
    void discard(std::size_t from, std::size_t to);

    uint8_t *data() const { return data_; }
    std::size_t size() const { return size_; }
    bool valid() const { return data_ != nullptr || size_ == 0; }

private:
    uint8_t *data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;
};

} // namespace midifile

} // namespace tw
