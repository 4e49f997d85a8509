#include "TickCatchUp.h"

#include <ctime>

std::uint32_t platformTickCount()
{
    // Milliseconds of the monotonic clock, cut to 32 bits: wraps like any such counter.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = std::uint64_t(now.tv_sec) * 1000u + std::uint64_t(now.tv_nsec) / 1000000u;
    return std::uint32_t(ms & 0xFFFFFFFFu);
}

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
