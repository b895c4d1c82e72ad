// What the classifier modes keep in the detection state (its classifierModes member): the frame
// size they were built for, the frame history and colour-change map every mode uses, the
// rectangles of the frame, the block persistence of 7021-7024 and the detector of the mode
// selected last (one at a time: each selection builds a new state).
#pragma once

#include <variant>

#include "learn/modes/blbp_detector.h"
#include "learn/modes/block_persistence.h"
#include "learn/modes/detection_windows.h"
#include "learn/modes/frame_history.h"
#include "learn/modes/neural_lbp_detector.h"
#include "learn/modes/pldp_detector.h"
#include "learn/modes/pltp_detector.h"
#include "learn/modes/real_adaboost_detector.h"

namespace fw {

struct ClassifierModesState {
  FrameHistory history;
  WindowList windows;
  BlockPersistence persistence;
  std::variant<std::monostate, RealAdaBoostDetector, NeuralLbpDetector, BlbpDetector, PltpDetector,
               PldpDetector>
      detector;
  bool formatReported = false;  // a frame the mode cannot take was reported since selection
};

}  // namespace fw
