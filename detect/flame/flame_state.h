// What the flame family keeps in the detection state: the infrared parameters (settings that
// outlive the detector; the set-up dialog and `detect --set` edit them), the infrared detector of
// the current or last infrared selection, and the one-shot alarm sound's clock. The four-stage
// flame mode works on the smoke family's detector (SmokeState).
#pragma once

#include <cstdint>
#include <memory>

#include "detect/flame/infrared_detector.h"

namespace fw {

// Milliseconds of a steady clock.
int64_t SteadyMilliseconds();

struct FlameState {
  InfraredParams infrared;
  std::unique_ptr<InfraredDetector> infraredDetector;
  bool sizeReported = false;  // a changed frame size was reported for this detector
  // The shape-change method plays the alarm sound once more, at most every kOneShotInterval ms.
  bool oneShotPlayed = false;
  int64_t lastOneShot = 0;
  int64_t (*clock)() = SteadyMilliseconds;  // tests put a clock of their own here
};

}  // namespace fw
