// The simple background model (mode 7002) on median-filtered grey frames: a pixel is foreground
// where it changed against the previous frame and is brighter than the 8-bit background, which
// follows the frame where neither holds.
#pragma once

#include "detect/background/background_model.h"

namespace fw {

class SimpleBackgroundModel : public BackgroundModel {
 public:
  static constexpr BackgroundKind kKind = BackgroundKind::SimpleBackground;

  SimpleBackgroundModel(Dib& source, Dib& display);

  // current: the median-filtered grey frame; previous: the grey frame before it (both 8-bit).
  void Step(const Dib& current, const Dib& previous);
};

}  // namespace fw
