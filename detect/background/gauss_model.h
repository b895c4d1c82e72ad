// The single Gaussian (mode 258): 60 frames learn a mean and a variance per pixel and channel;
// then a pixel is foreground where its normalised squared distance exceeds the Gauss threshold,
// and the background pixels move their Gaussians towards the frame in the post step.
#pragma once

#include <array>
#include <vector>

#include "detect/background/background_model.h"

namespace fw {

class GaussModel : public BackgroundModel {
 public:
  static constexpr BackgroundKind kKind = BackgroundKind::Gauss;

  GaussModel(Dib& source, Dib& display);

  void Step();
  // Frames learned; it passes 60 once the first frame has been tested.
  int GaussLearningCount() const { return gaussCount_; }

 protected:
  // Updates the Gaussians of the background pixels once the learning is over.
  void BeforePaint() override;

 private:
  void Learn();
  void Test();

  int gaussCount_ = 0;
  // Structure of arrays, one plane per channel (blue, green, red). While learning, the means hold
  // sums and the variances sums of squares.
  std::array<std::vector<float>, 3> mean_;
  std::array<std::vector<float>, 3> distance_;  // (value - mean)^2 of the last test
  std::array<std::vector<float>, 3> variance_;
  // The frame row's blue, green and red as floats, for the row kernels.
  std::vector<float> rowFloats_;
};

}  // namespace fw
