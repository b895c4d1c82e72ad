// What the Haar detector's modes keep in the detection state: the detector built by the last
// selection of "Detecting" (7017) or "Adaboost+Motion" (7019), with the reading of its file that
// the mode takes. "Adaboost+Motion" also builds the smoke engine, which lives with the engines.
#pragma once

#include "learn/haar/haar_detector.h"

namespace fw {

struct HaarState {
  HaarDetector detector;
  bool formatReported = false;  // a frame the detector cannot take was reported since selection
};

}  // namespace fw
