#include "tests/support/allocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
}  // namespace

// Out of line, so that the compiler does not pair the inlined malloc with a sized delete.
[[gnu::noinline]] void* operator new(std::size_t size) {
  if (gCounting) ++gAllocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// The standard library's temporary buffers (stable sort) take the nothrow form; it must free
// through the same malloc.
[[gnu::noinline]] void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (gCounting) ++gAllocations;
  return std::malloc(size == 0 ? 1 : size);
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
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

}  // namespace fw::test
