// Mode selection by number for tests of the detection layer, through the mode table.
#pragma once

#include "app/mode_table.h"
#include "detect/dispatch.h"

namespace fw::test {

// Selects the mode with this number as its command does; false when the table lacks it.
inline bool SelectMode(DetectionState& state, ModeId id) {
  const ModeInfo* info = FindMode(id);
  if (info == nullptr) return false;
  fw::SelectMode(state, *info);
  return true;
}
inline bool SelectMode(DetectionState& state, int number) {
  return SelectMode(state, static_cast<ModeId>(number));
}

}  // namespace fw::test
