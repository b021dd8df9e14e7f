// A bounded queue for exactly one producer thread and one consumer thread, without locks: the
// producer never waits for the consumer (a full queue refuses the item), so a real-time thread
// may push into it.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace tw {

template <class T, std::size_t Capacity> class SpscQueue {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0,
                  "the capacity is a power of two");

public:
    // Producer thread only. False when the queue is full (the item is not taken).
    bool push(const T &item) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) == Capacity)
            return false;
        slots_[tail & (Capacity - 1)] = item;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer thread only. False when the queue is empty.
    bool pop(T &item) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire))
            return false;
        item = slots_[head & (Capacity - 1)];
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

private:
    std::array<T, Capacity> slots_{};
    alignas(64) std::atomic<std::size_t> head_{0}; // next slot to read; written by the consumer
    alignas(64) std::atomic<std::size_t> tail_{0}; // next slot to write; written by the producer
};

} // namespace tw
