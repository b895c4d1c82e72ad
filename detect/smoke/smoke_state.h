// What the smoke family keeps in the detection state: the detector of the current or last smoke
// mode, its parameters (they outlive the detector and are handed to each new one), the block the
// block mode plots, its grey display and the frame-flag ring of its alarm vote.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "core/dib.h"
#include "detect/smoke/smoke_flame_detector.h"

namespace fw {

struct SmokeState {
  std::unique_ptr<SmokeFlameDetector> detector;
  SmokeFlameParams params;
  int blockColumn = 0;        // block whose edge strengths the block mode plots, clicked in the
  int blockRow = 0;           // top-left pane (clamped to the block grid when used)
  Dib greyDisplay;            // the block mode's frame in grey, quantised to the degrade level
  bool sizeReported = false;  // a changed frame size was reported for this detector
  // One flag per frame for the block mode's alarm, and the slot written next.
  std::array<uint8_t, 125> frameFlags{};
  int frameFlagIndex = 0;
};

}  // namespace fw
