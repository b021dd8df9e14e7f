// The small-buffer byte vector of one MIDI message.
#include "midifile/MidiFile.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace tw {

static_assert(sizeof(void *) <= 8, "a heap address must fit the inline store");
static_assert(sizeof(MidiEvent) == 16, "an event takes 16 bytes");

EventBytes::EventBytes(std::initializer_list<uint8_t> init) {
    append(init.begin(), init.size());
}

EventBytes::EventBytes(const uint8_t *first, std::size_t count) {
    append(first, count);
}

EventBytes::EventBytes(const EventBytes &other) {
    append(other.data(), other.size());
}

EventBytes &EventBytes::operator=(const EventBytes &other) {
    if (this != &other) {
        clear();
        append(other.data(), other.size());
    }
    return *this;
}

EventBytes &EventBytes::operator=(EventBytes &&other) noexcept {
    if (this != &other) {
        if (!isInline())
            releaseHeap();
        sizeAndFlag_ = other.sizeAndFlag_;
        std::memcpy(store_, other.store_, sizeof(store_));
        other.sizeAndFlag_ = 0;
    }
    return *this;
}

void EventBytes::releaseHeap() {
    std::free(heapBlock());
    sizeAndFlag_ = 0;
}

void EventBytes::grow(std::size_t needed) {
    std::size_t old = capacity();
    if (needed <= old)
        return;
    if (needed > sizeMask)
        throw std::length_error("EventBytes: message too long");
    std::size_t capacity = old * 2;
    if (capacity < needed)
        capacity = needed;
    if (capacity > sizeMask)
        capacity = sizeMask;
    auto *block = static_cast<uint8_t *>(std::malloc(heapHeader + capacity));
    if (!block)
        throw std::bad_alloc();
    std::memcpy(block, &capacity, sizeof(capacity));
    std::size_t n = size();
    if (n != 0)
        std::memcpy(block + heapHeader, data(), n);
    if (!isInline())
        std::free(heapBlock());
    std::memcpy(store_, &block, sizeof(block));
    sizeAndFlag_ = uint32_t(n) | heapFlag;
}

void EventBytes::appendSlow(const uint8_t *first, std::size_t count) {
    if (count == 0)
        return;
    // The source may lie inside this buffer, which growing moves.
    std::size_t n = size();
    const uint8_t *own = data();
    bool inside = first >= own && first < own + n;
    std::size_t offset = inside ? std::size_t(first - own) : 0;
    grow(n + count);
    std::memmove(data() + n, inside ? data() + offset : first, count);
    sizeAndFlag_ += uint32_t(count);
}

void EventBytes::resize(std::size_t count, uint8_t value) {
    std::size_t n = size();
    if (count > n) {
        grow(count);
        std::memset(data() + n, value, count - n);
    }
    sizeAndFlag_ = uint32_t(count) | (sizeAndFlag_ & heapFlag);
}

bool operator==(const EventBytes &a, const EventBytes &b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

} // namespace tw
