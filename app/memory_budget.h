// The memory budget: how much the session's images and a mode's buffers may take, so that a
// frame size that would exhaust the machine is refused at selection with a message naming the
// size and the limit, instead of ending in an allocation failure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/result.h"
#include "detect/mode_info.h"

namespace fw {

struct DetectionState;

// The machine's physical memory in bytes (0 when unknown).
uint64_t PhysicalMemory();
// The default budget: half of the physical memory, and at most half of an address-space limit
// (ulimit -v) when one is set.
uint64_t DefaultMemoryBudget();

// "512M", "2G", "64K" or a plain number of megabytes ("1500"); at least 1 MB. The message
// says what is accepted.
Result ParseMemorySize(std::string_view text, uint64_t& bytes);
// "1.5 GB", "350 MB", "12 KB".
std::string MemoryText(uint64_t bytes);

// What the session keeps for frames of this size whatever the mode: the four panes, the display
// picture and the history images at 24 bits, the reader's converted picture and decoder frames,
// and the desktop's two snapshots.
uint64_t SessionMemory(int width, int height);

// Success when the mode's estimate for width x height frames, with the session's images, fits
// the budget; otherwise the refusal, naming the mode, the size, what it needs and the budget.
Result CheckModeMemory(const ModeInfo& mode, const DetectionState& state, int width, int height,
                       uint64_t budget);

}  // namespace fw
