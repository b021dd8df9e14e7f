// Where playback is: the tick being played as a function of the playback clock, and the rule
// by which the view follows it.
//
// Threads: the playback worker stores the clock reading at which its playout began into
// startMicros; everything else is read and written on the GUI thread only.
#pragma once

#include <atomic>
#include <cstdint>

namespace tw {

// The tick being played `elapsedSeconds` after the playout began at startTick, at
// secondsPerTick. Never before startTick; a non-positive secondsPerTick stays at startTick.
double playheadTick(unsigned startTick, double secondsPerTick, double elapsedSeconds);

// The first tick of the view while playback is followed: when the playhead has passed 90 % of
// the visible width (or lies left of the view) the view pages so that the playhead stands at
// 10 %; otherwise the view stays.
unsigned followFirstTick(unsigned firstTick, unsigned visibleTicks, double playTick);

// The playback position that the GUI thread reads while a playout runs.
struct PlayheadClock {
    static constexpr int64_t notStarted = -1;

    // Steady clock microseconds at which the worker began to play; notStarted before.
    std::atomic<int64_t> startMicros{notStarted};
    // Taken on the GUI thread when the playout is started.
    unsigned startTick = 0;
    double secondsPerTick = 0;
    double loopTicks = 0; // a loop from startTick: the playhead returns after so many ticks
    bool active = false;  // a playout runs and its playhead is shown
    // The tick that the playhead shows, taken at the last timer step.
    bool hasPosition = false;
    double position = 0;

    // Prepares for a playout: the worker fills startMicros when it begins.
    void arm(unsigned tick, double perTick, double loop = 0);
    // The tick at nowMicros, or false while the worker has not begun (or nothing plays).
    bool tickAt(int64_t nowMicros, double &tick) const;
};

} // namespace tw
