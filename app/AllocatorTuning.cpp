#include "AllocatorTuning.h"

#include <malloc.h>

bool tuneAllocatorForDrawing()
{
#if defined(__GLIBC__)
    // 32 MB is the largest mmap threshold glibc accepts on a 64-bit system.
    const bool mmapSet = mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024) == 1;
    const bool trimSet = mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024) == 1;
    return mmapSet && trimSet;
#else
    return false;
#endif
}
