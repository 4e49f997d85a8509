#pragma once

#include <cstdint>

// The ticks of a periodic timer that fell due since the last delivery, read from a wrapping
// 32-bit millisecond counter. A timer whose handler waits behind a long frame fires once for
// several intervals; this counts the intervals that passed, so each can be delivered.
//
// At most maxTicks are delivered at once: after a longer gap (a suspended machine, a modal box)
// the excess is dropped and counting goes on from the delivery.
class TickCatchUp {
public:
    TickCatchUp(std::uint32_t intervalMs, std::uint32_t maxTicks) : intervalMs_(intervalMs), maxTicks_(maxTicks) {}

    // Counting starts at nowMs: no tick is due yet.
    void start(std::uint32_t nowMs) { dueMarkMs_ = nowMs; }

    // Ticks due at nowMs since the last call (or start), 0 to maxTicks. The remainder of an
    // interval carries to the next call, so the long-run rate is one tick per interval.
    std::uint32_t dueTicks(std::uint32_t nowMs);

private:
    std::uint32_t intervalMs_;
    std::uint32_t maxTicks_;
    std::uint32_t dueMarkMs_ = 0; // when the last delivered tick fell due
};

// The millisecond tick counter of the platform: milliseconds since an arbitrary origin,
// unsigned 32 bits, wrapping after about 49.7 days.
std::uint32_t platformTickCount();
