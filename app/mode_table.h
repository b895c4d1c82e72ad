// The one table of detection modes. Its rows name the entry points of every layer below (the
// families of detect/, and the learning and analysis layers as they come), which is why it lives
// here. The menu, the control bar's buttons, `fumewatch-cli modes` and `--mode` all read it.
// Adding a mode is one row in mode_table.cpp (see docs/layout.md).
#pragma once

#include <span>

#include "detect/mode_info.h"

namespace fw {

std::span<const ModeInfo> Modes();
// The mode with this identifier or number, or null.
const ModeInfo* FindMode(ModeId id);
const ModeInfo* FindMode(int number);
// The label a menu shows for a mode: the row's, or for a menu mode not built yet its menu label;
// null for a number no menu knows.
const char* ModeLabel(ModeId id);

}  // namespace fw
