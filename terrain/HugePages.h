#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Asks the kernel to back the 2 MiB-aligned part of [data, data + bytes) with huge pages where
// it offers them on request (transparent huge pages in "madvise" mode). A lattice of 4096 x 4096
// vertices holds over half a gigabyte of arrays; faulting that in 4 KiB pages costs about as
// much time as filling it. The advice changes neither the contents (fresh anonymous memory
// stays zero) nor any value later written; where it is refused or unknown nothing happens.
inline void adviseHugePages(void* data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
    if (!data || bytes < 2 * kHugePage)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
    if (last > first)
        madvise(static_cast<char*>(data) + (first - begin), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}
