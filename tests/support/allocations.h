// Counts the heap allocations made through operator new between a start and a stop, so that a
// test can check that the per-frame steps allocate nothing, and follows the bytes held, so that
// a test can compare what a mode builds with its memory estimate. Linking fw_test_allocations
// replaces the global operator new of the test program.
#pragma once

#include <cstdint>

namespace fw::test {

void StartCountingAllocations();
// The allocations since the start; counting stops.
long StopCountingAllocations();

// Starts following the most bytes held at once through operator new, from now.
void StartMeasuringPeak();
// The most bytes held at once since the start, beyond those held at the start.
int64_t PeakGrowth();

// While the object lives, operator new throws std::bad_alloc for every request above `bytes`, as
// it would on a machine without the memory (tests of the out-of-memory paths).
class ScopedAllocationLimit {
 public:
  explicit ScopedAllocationLimit(int64_t bytes);
  ~ScopedAllocationLimit();
  ScopedAllocationLimit(const ScopedAllocationLimit&) = delete;
  ScopedAllocationLimit& operator=(const ScopedAllocationLimit&) = delete;
};

}  // namespace fw::test
