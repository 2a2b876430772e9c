// While a CGuardedHeap lives, every allocation of this test program gets
// pages of its own that become inaccessible when it is freed and are never
// used again, so any use after free faults at once. Outside one, allocations
// come from the ordinary heap.
#pragma once

class CGuardedHeap {
public:
    CGuardedHeap();
    ~CGuardedHeap();
    CGuardedHeap(const CGuardedHeap&) = delete;
    CGuardedHeap& operator=(const CGuardedHeap&) = delete;
};
