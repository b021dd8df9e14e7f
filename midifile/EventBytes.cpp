// The small-buffer byte vector of one MIDI message.
#include "midifile/MidiFile.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

EventBytes::EventBytes(std::initializer_list<uint8_t> init) {
    append(init.begin(), init.size());
}

EventBytes::EventBytes(const uint8_t *first, std::size_t count) {
    append(first, count);
}

EventBytes::EventBytes(const EventBytes &other) {
    append(other.data(), other.size());
}

EventBytes::EventBytes(EventBytes &&other) noexcept
    : size_(other.size_), capacity_(other.capacity_) {
    if (other.isInline()) {
        std::memcpy(inline_, other.inline_, sizeof(inline_));
    } else {
        heap_ = other.heap_;
        other.capacity_ = 0;
    }
    other.size_ = 0;
}

EventBytes &EventBytes::operator=(const EventBytes &other) {
    if (this != &other) {
        size_ = 0;
        append(other.data(), other.size());
    }
    return *this;
}

EventBytes &EventBytes::operator=(EventBytes &&other) noexcept {
    if (this != &other) {
        if (!isInline())
            std::free(heap_);
        size_ = other.size_;
        capacity_ = other.capacity_;
        if (other.isInline()) {
            std::memcpy(inline_, other.inline_, sizeof(inline_));
        } else {
            heap_ = other.heap_;
            other.capacity_ = 0;
        }
        other.size_ = 0;
    }
    return *this;
}

EventBytes::~EventBytes() {
    if (!isInline())
        std::free(heap_);
}

void EventBytes::grow(std::size_t needed) {
    if (needed <= capacity())
        return;
    if (needed > std::numeric_limits<uint32_t>::max())
        throw std::length_error("EventBytes: message too long");
    std::size_t cap = capacity() * 2;
    if (cap < needed)
        cap = needed;
    if (cap > std::numeric_limits<uint32_t>::max())
        cap = std::numeric_limits<uint32_t>::max();
    auto *block = static_cast<uint8_t *>(std::malloc(cap));
    if (!block)
        throw std::bad_alloc();
    if (size_ != 0)
        std::memcpy(block, data(), size_);
    if (!isInline())
        std::free(heap_);
    heap_ = block;
    capacity_ = uint32_t(cap);
}

void EventBytes::appendSlow(const uint8_t *first, std::size_t count) {
    if (count == 0)
        return;
    // The source may lie inside this buffer, which growing moves.
    const uint8_t *own = data();
    bool inside = first >= own && first < own + size_;
    std::size_t offset = inside ? std::size_t(first - own) : 0;
    grow(std::size_t(size_) + count);
    std::memmove(data() + size_, inside ? data() + offset : first, count);
    size_ += uint32_t(count);
}

void EventBytes::resize(std::size_t count, uint8_t value) {
    if (count > size_) {
        grow(count);
        std::memset(data() + size_, value, count - size_);
    }
    size_ = uint32_t(count);
}

bool operator==(const EventBytes &a, const EventBytes &b) {
    return a.size() == b.size() &&
           (a.size() == 0 || std::memcmp(a.data(), b.data(), a.size()) == 0);
}
