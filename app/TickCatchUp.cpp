#include "TickCatchUp.h"

std::uint32_t TickCatchUp::dueTicks(std::uint32_t nowMs)
{
    // Unsigned 32-bit subtraction stays right across a wrap of the counter.
    const std::uint32_t elapsedMs = nowMs - dueMarkMs_;
    const std::uint32_t due = elapsedMs / intervalMs_;
    if (due > maxTicks_) {
        // Keep the phase of the interval, drop the whole intervals beyond the cap.
        dueMarkMs_ = nowMs - elapsedMs % intervalMs_;
        return maxTicks_;
    }
    dueMarkMs_ += due * intervalMs_;
    return due;
}
