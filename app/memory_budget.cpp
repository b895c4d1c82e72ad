#include "app/memory_budget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "core/dib.h"

namespace fw {

namespace {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = kKiB * 1024;
constexpr uint64_t kGiB = kMiB * 1024;
// Images the session keeps per frame size, counted at 24 bits: four panes, the display picture,
// two history images, the reader's picture, four decoder frames (reference pictures and the
// one being made) and two snapshots of five pictures each.
constexpr uint64_t kSessionImages = 4 + 1 + 2 + 1 + 4 + 10;

}  // namespace

uint64_t PhysicalMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

uint64_t DefaultMemoryBudget() {
  uint64_t budget = PhysicalMemory() / 2;
  if (budget == 0) budget = 2 * kGiB;
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    budget = std::min<uint64_t>(budget, limit.rlim_cur / 2);
  }
  return budget;
}

Result ParseMemorySize(std::string_view text, uint64_t& bytes) {
  const Result refused =
      Result::Error("memory size must be a whole number of megabytes or end in K, M or G (got \"" +
                    std::string(text) + "\")");
  if (text.empty()) return refused;
  uint64_t unit = kMiB;
  const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
  if (last == 'K' || last == 'M' || last == 'G') {
    unit = last == 'K' ? kKiB : last == 'M' ? kMiB : kGiB;
    text.remove_suffix(1);
  }
  uint64_t count = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || count == 0 ||
      count > UINT64_MAX / unit) {
    return refused;
  }
  if (count * unit < kMiB) return Result::Error("memory size must be at least 1 MB");
  bytes = count * unit;
  return Result::Ok();
}

std::string MemoryText(uint64_t bytes) {
  char text[32];
  if (bytes >= kGiB) {
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / kGiB);
  } else if (bytes >= kMiB) {
    std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / kMiB);
  } else {
    std::snprintf(text, sizeof text, "%.0f KB", static_cast<double>(bytes) / kKiB);
  }
  return text;
}

uint64_t SessionMemory(int width, int height) {
  return kSessionImages * static_cast<uint64_t>(DibStride(width, 24)) *
         static_cast<uint64_t>(height);
}

Result CheckModeMemory(const ModeInfo& mode, const DetectionState& state, int width, int height,
                       uint64_t budget) {
  if (mode.id == ModeId::None) return Result::Ok();  // switching off always works
  const uint64_t modeBytes = mode.memoryEstimate ? mode.memoryEstimate(state, width, height) : 0;
  const uint64_t needed = modeBytes + SessionMemory(width, height);
  if (needed <= budget) return Result::Ok();
  return Result::Error("mode " + std::to_string(mode.number()) + " (" + mode.label +
                       ") needs about " + MemoryText(needed) + " for " + std::to_string(width) +
                       " x " + std::to_string(height) + " frames, more than the memory budget of " +
                       MemoryText(budget));
}

}  // namespace fw
