#include "app/WheelSteps.h"

#include <chrono>

namespace tw {

uint64_t wheelClockMicros() {
    using namespace std::chrono;
    return uint64_t(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace tw
