#pragma once

// Keeps the C library's heap from handing freed memory back to the kernel while frames are
// drawn. The software rasteriser records every draw call into its frame in 64 KB blocks that
// it allocates, and frees again once the frame is rasterised: some 550 blocks (35 MB) for the
// literal path's 4,500 draw calls, about 20 for the batched path's 80. With the default
// settings glibc trims the freed top of the heap, and the next frame faults those pages in
// again: about 5,000 page faults per literal frame. Fixing both thresholds (which also ends
// their dynamic adjustment) keeps the memory: blocks up to 32 MB come from the heap, and the
// heap is trimmed only beyond 256 MB free. Call it once, first thing in main. Returns false
// if the C library refused a setting (glibc accepts both; elsewhere it does nothing).
bool tuneAllocatorForDrawing();
