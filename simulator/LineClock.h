#pragma once

#include <QtGlobal>

#include <cerrno>
#include <time.h>

// Monotonic nanoseconds and sleeps for the module stand-ins that model line time.
namespace panelix::lineclock {

inline qint64 nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

inline void sleepUntilNs(qint64 ns) {
    timespec ts{time_t(ns / 1000000000), long(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

inline void sleepNs(qint64 ns) {
    sleepUntilNs(nowNs() + ns);
}

} // namespace panelix::lineclock
