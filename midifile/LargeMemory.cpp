// Huge-page hints and large byte blocks.
#include "midifile/LargeMemory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace tw {

namespace midifile {

namespace {
constexpr std::size_t hugePage = std::size_t(2) << 20;
constexpr std::size_t mapAbove = std::size_t(4) << 20;
} // namespace

void adviseHugePages(void *p, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    if (bytes < mapAbove)
        return;
    uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + hugePage - 1) & ~uintptr_t(hugePage - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~uintptr_t(hugePage - 1);
    if (end > begin)
        (void)::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

ByteBlock::ByteBlock(std::size_t size) : size_(size) {
    if (size == 0)
        return;
    if (size >= mapAbove) {
        void *p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p != MAP_FAILED) {
            data_ = static_cast<uint8_t *>(p);
            mapped_ = true;
            adviseHugePages(p, size);
            return;
        }
    }
    data_ = static_cast<uint8_t *>(std::malloc(size));
}

bool ByteBlock::resize(std::size_t size) {
    if (size == size_)
        return true;
    if (mapped_) {
        if (size == 0) {
            ::munmap(data_, size_);
            data_ = nullptr;
            size_ = 0;
            mapped_ = false;
            return true;
        }
        void *p = ::mremap(data_, size_, size, MREMAP_MAYMOVE);
        if (p == MAP_FAILED)
            return false;
        data_ = static_cast<uint8_t *>(p);
        size_ = size;
        adviseHugePages(p, size);
        return true;
    }
    if (size >= mapAbove) { // moves from the heap into a mapping of its own
        ByteBlock bigger(size);
        if (!bigger.valid())
            return false;
        if (size_ != 0)
            std::memcpy(bigger.data_, data_, size_);
        std::swap(data_, bigger.data_);
        std::swap(size_, bigger.size_);
        std::swap(mapped_, bigger.mapped_);
        return true;
    }
    if (size == 0) {
        std::free(data_);
        data_ = nullptr;
        size_ = 0;
        return true;
    }
    void *p = std::realloc(data_, size);
    if (!p)
        return false;
    data_ = static_cast<uint8_t *>(p);
    size_ = size;
    return true;
}

void ByteBlock::discard(std::size_t from, std::size_t to) {
    const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
    if (!mapped_ || page == 0)
        return;
    const std::size_t begin = from / page * page, end = std::min(to, size_) / page * page;
    if (end > begin)
        (void)::madvise(data_ + begin, end - begin, MADV_DONTNEED);
}

ByteBlock::~ByteBlock() {
    if (mapped_)
        ::munmap(data_, size_);
    else
        std::free(data_);
}

} // namespace midifile

} // namespace tw
