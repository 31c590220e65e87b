// The bookkeeping of operator new and delete inside BrawlhueCounted.dll, a test build of the
// module that differs from Brawlhue.dll only by its counting allocator and one more export.
#pragma once

namespace brawlhue::hardening {

struct AllocationProbe {
    long live_blocks = 0;                // blocks from operator new not yet deleted
    unsigned long allocations = 0;       // every block handed out
    unsigned long refuse_countdown = 0;  // 0: refuse none; n: the n-th next request throws
    unsigned long refused = 0;           // requests refused so far
};

using AllocationProbeGetter = AllocationProbe* (*)();
inline constexpr char kAllocationProbeExport[] = "BrawlhueAllocationProbe";

}  // namespace brawlhue::hardening
