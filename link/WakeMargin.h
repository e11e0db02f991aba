#pragma once

#include <QtGlobal>

#include <algorithm>

namespace panelix {

// How early the link thread asks to wake before a drained moment.
//
// A sleeping thread wakes some microseconds after the moment it asked for: a few
// on a bare machine, forty and more in a virtual machine, where the host has to
// run the halted processor again. Asking for the drained moment itself would put
// that whole delay between the drained queue and the next write. So the thread
// asks to wake `margin()` early and waits out the rest on the clock.
//
// The margin follows the 10th percentile of the observed lateness: nine wake-ups
// in ten still come after the asked moment and need no waiting on the clock, the
// tenth waits a few microseconds. It never exceeds Cap, so a burst of slow
// wake-ups (a loaded machine) cannot make the thread spin for long.
class WakeMargin {
public:
    static constexpr qint64 CapNs = 100000;
    static constexpr qint64 StepNs = 100;

    qint64 margin() const { return marginNs_; }

    // latenessNs: how long after the asked moment the thread woke (may be < 0).
    void observe(qint64 latenessNs) {
        // A step up for each wake-up later than the estimate, nine down for each
        // earlier one: the estimate settles where one in ten is earlier.
        if (latenessNs > marginNs_)
            marginNs_ += StepNs;
        else
            marginNs_ -= 9 * StepNs;
        marginNs_ = std::clamp<qint64>(marginNs_, 0, CapNs);
    }

private:
    qint64 marginNs_ = 0;
};

} // namespace panelix
