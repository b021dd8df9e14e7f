#include "scoretape/Playhead.h"

#include <cmath>

namespace tw {

double playheadTick(unsigned startTick, double secondsPerTick, double elapsedSeconds) {
    if (!(secondsPerTick > 0) || !(elapsedSeconds > 0))
        return startTick;
    return startTick + elapsedSeconds / secondsPerTick;
}

unsigned followFirstTick(unsigned firstTick, unsigned visibleTicks, double playTick) {
    if (visibleTicks == 0 || !(playTick >= 0))
        return firstTick;
    const double offset = playTick - firstTick;
    if (offset >= 0 && offset <= 0.9 * visibleTicks)
        return firstTick;
    const double first = std::floor(playTick - 0.1 * visibleTicks);
    if (first <= 0)
        return 0;
    return first >= 4294967295.0 ? 4294967295u : unsigned(first);
}

void PlayheadClock::arm(unsigned tick, double perTick, double loop) {
    startMicros.store(notStarted);
    startTick = tick;
    secondsPerTick = perTick;
    loopTicks = loop;
    active = true;
    hasPosition = false;
}

bool PlayheadClock::tickAt(int64_t nowMicros, double &tick) const {
    const int64_t start = startMicros.load();
    if (!active || start == notStarted)
        return false;
    tick = playheadTick(startTick, secondsPerTick, double(nowMicros - start) * 1e-6);
    if (loopTicks > 0)
        tick = startTick + std::fmod(tick - startTick, loopTicks);
    return true;
}

} // namespace tw
