// Counts the heap allocations made through operator new between a start and a stop, so that a
// test can check that the per-frame steps allocate nothing. Linking fw_test_allocations replaces
// the global operator new of the test program.
#pragma once

namespace fw::test {

void StartCountingAllocations();
// The allocations since the start; counting stops.
long StopCountingAllocations();

}  // namespace fw::test
