// The time-and-background model (mode 7001): a pixel is foreground once it has stayed far from
// the fixed background (the float copy of the top-right pane at selection) for four frames; the
// frame and background differences are kept as maps.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "detect/background/background_model.h"

namespace fw {

class TimeBackgroundModel : public BackgroundModel {
 public:
  static constexpr BackgroundKind kKind = BackgroundKind::TimeBackground;

  TimeBackgroundModel(Dib& source, Dib& display);

  // previous: the frame before the frame pane.
  void Step(const Dib& previous, const BackgroundParams& params);

  std::span<const uint8_t> FrameDifferenceMap() const { return frameDifference_; }
  std::span<const uint8_t> BackgroundDifferenceMap() const { return backgroundDifference_; }
  std::span<const uint8_t> PersistenceCounters() const { return persistence_; }

 protected:
  bool PaintsEveryFrame() const override { return true; }
  void AfterPaint() override { WriteBackgroundImage(); }

 private:
  std::vector<uint8_t> frameDifference_;
  std::vector<uint8_t> backgroundDifference_;
  std::vector<uint8_t> persistence_;
};

}  // namespace fw
