#include "tests/support/allocations.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
// Bytes held through operator new (as the allocator counts them), the most since the start of
// a measurement, and what was held at its start.
std::atomic<int64_t> gHeld{0};
std::atomic<int64_t> gPeak{0};
std::atomic<int64_t> gBaseline{0};
std::atomic<int64_t> gLargestAllowed{-1};  // -1: no limit

void* Allocate(std::size_t size, std::size_t alignment = 0) {
  if (size == 0) size = 1;
  const int64_t largest = gLargestAllowed.load(std::memory_order_relaxed);
  if (largest >= 0 && static_cast<int64_t>(size) > largest) return nullptr;
  // aligned_alloc wants a size that is a multiple of the alignment.
  void* p = alignment == 0
                ? std::malloc(size)
                : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
  if (p != nullptr) {
    const int64_t held = gHeld += static_cast<int64_t>(malloc_usable_size(p));
    int64_t peak = gPeak.load(std::memory_order_relaxed);
    while (held > peak && !gPeak.compare_exchange_weak(peak, held)) {
    }
  }
  return p;
}

void Free(void* p) {
  if (p == nullptr) return;
  gHeld -= static_cast<int64_t>(malloc_usable_size(p));
  std::free(p);
}
}  // namespace

// Out of line, so that the compiler does not pair the inlined malloc with a sized delete.
[[gnu::noinline]] void* operator new(std::size_t size) {
  if (gCounting) ++gAllocations;
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
// The standard library's temporary buffers (stable sort) take the nothrow form; it must free
// through the same malloc.
[[gnu::noinline]] void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (gCounting) ++gAllocations;
  return Allocate(size);
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
  Free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
  Free(p);
}
// Over-aligned types (the mixture's records) come through the aligned forms.
[[gnu::noinline]] void* operator new(std::size_t size, std::align_val_t alignment) {
  if (gCounting) ++gAllocations;
  if (void* p = Allocate(size, static_cast<std::size_t>(alignment))) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p, std::align_val_t) noexcept {
  Free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  Free(p);
}

namespace fw::test {

void StartCountingAllocations() {
  gAllocations = 0;
  gCounting = true;
}

long StopCountingAllocations() {
  gCounting = false;
  return gAllocations;
}

void StartMeasuringPeak() {
  gBaseline = gHeld.load();
  gPeak = gBaseline.load();
}

int64_t PeakGrowth() {
  return gPeak - gBaseline;
}

ScopedAllocationLimit::ScopedAllocationLimit(int64_t bytes) {
  gLargestAllowed = bytes;
}

ScopedAllocationLimit::~ScopedAllocationLimit() {
  gLargestAllowed = -1;
}

}  // namespace fw::test
