#include "mididevice/SpscQueue.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tw;

TEST(SpscQueue, KeepsOrderRefusesWhenFullAndWrapsAround) {
    SpscQueue<int, 4> queue;
    int value = -1;
    EXPECT_FALSE(queue.pop(value));
    for (int round = 0; round < 3; ++round) { // the indexes run past the capacity
        SCOPED_TRACE(round);
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(queue.push(round * 10 + i));
        EXPECT_FALSE(queue.push(99)) << "a fifth item in a queue of four";
        for (int i = 0; i < 4; ++i) {
            ASSERT_TRUE(queue.pop(value));
            EXPECT_EQ(value, round * 10 + i);
        }
        EXPECT_FALSE(queue.pop(value));
    }
}

// One producer, one consumer: every item arrives once and in order, whatever the timing.
TEST(SpscQueue, OneProducerOneConsumerLoseNothing) {
    SpscQueue<uint32_t, 64> queue;
    constexpr uint32_t count = 200000;
    std::thread producer([&] {
        for (uint32_t i = 0; i < count;)
            if (queue.push(i))
                ++i;
            else
                std::this_thread::yield();
    });
    uint32_t expected = 0, value = 0;
    while (expected < count) {
        if (!queue.pop(value)) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(value, expected);
        ++expected;
    }
    producer.join();
    EXPECT_FALSE(queue.pop(value));
}
