// Counts the allocations of the calling thread between start and stop, and can make
// them fail on purpose.
#pragma once

namespace AllocationCounter {
void start();
// From the given allocation after start on (0: the first), every allocation of this
// thread fails until stop: throwing forms throw std::bad_alloc, the others answer null.
void failFrom(long allocation);
void stop();
long allocationCount();
long deallocationCount();
}  // namespace AllocationCounter
