// What the block-motion engine family keeps in the detection state: the smoke engine of the last
// selection of 7012, 7014, 7015 or 7016 (one object at a time: each such selection replaces it,
// and what it allocated, by a new one of the kind the mode needs), the losing-frames engine of
// 7013, and the block click point of the top-left pane.
#pragma once

#include <memory>
#include <variant>

#include "detect/engines/fuzzy_mat_engine.h"
#include "detect/engines/losing_frames_engine.h"
#include "detect/engines/smoke_engine.h"
#include "detect/engines/spring_mouth_engine.h"

namespace fw {

struct EnginesState {
  std::variant<std::monostate, engines::FuzzyMatEngine, engines::SmokeEngine,
               engines::SpringMouthEngine>
      smokeEngine;
  std::unique_ptr<engines::LosingFramesEngine> losingFrames;
  // The last block click on the top-left pane (picture point, y up from the bottom row); the
  // block under it is outlined in yellow.
  int blockClickX = 0;
  int blockClickY = 0;
  bool formatReported = false;  // a frame the engine cannot take was reported since selection
};

}  // namespace fw
