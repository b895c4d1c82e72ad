// The accurate time background model (mode 7004): the squared frame and background distances of
// the denoised frame, each smoothed by three passes of a 3 x 3 box mean; a pixel is foreground
// where both exceed their limits.
#pragma once

#include <cstdint>
#include <vector>

#include "detect/background/background_model.h"

namespace fw {

class AccurateBackgroundModel : public BackgroundModel {
 public:
  static constexpr BackgroundKind kKind = BackgroundKind::AccurateBackground;

  AccurateBackgroundModel(Dib& source, Dib& display);

  // previous: the denoised frame before the (denoised) frame pane.
  void Step(const Dib& previous, const BackgroundParams& params);

 protected:
  bool PaintsEveryFrame() const override { return true; }
  void AfterPaint() override { WriteBackgroundImage(); }

 private:
  std::vector<uint8_t> frameDifference_;
  std::vector<uint8_t> backgroundDifference_;
  std::vector<uint8_t> filterWork_;
};

}  // namespace fw
