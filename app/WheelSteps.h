// Arithmetic of the mouse wheel: its direction, steps that never go below tick 0, and the
// throttle that drops wheel events arriving too close together.
#pragma once

#include <cstdint>

namespace tw {

// a + b, except that a step below 0 is refused as a whole and leaves a unchanged.
inline unsigned clampedStep(unsigned a, int b) {
    if (b < 0 && static_cast<unsigned>(-static_cast<int64_t>(b)) > a)
        return a;
    return a + static_cast<unsigned>(b);
}

// Which way a wheel event scrolls: +1 towards later ticks (the wheel turned down, or a sideways
// motion to the right), -1 towards earlier ticks (up, or to the left), 0 for no motion. A
// vertical motion counts before a sideways one.
inline int wheelDirection(int dx, int dy) {
    const int d = dy != 0 ? dy : dx;
    return (d > 0) - (d < 0);
}

// Microseconds on a monotonic clock; only differences of two readings are used.
uint64_t wheelClockMicros();

// Events that follow the last accepted one within this many microseconds are not acted on.
constexpr uint64_t wheelThrottleMicros = 2000;

// True when a wheel event at `now` is acted on (and records it); false when it is too close to
// the last accepted one.
inline bool acceptWheelEvent(uint64_t &lastAccepted, uint64_t now) {
    if (now - lastAccepted <= wheelThrottleMicros)
        return false;
    lastAccepted = now;
    return true;
}

} // namespace tw
