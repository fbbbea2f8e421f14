// Counts the allocations of the calling thread between start and stop.
#pragma once

namespace AllocationCounter {
void start();
void stop();
long allocationCount();
long deallocationCount();
}  // namespace AllocationCounter
