// The masks of the motion-feature modes (7005, 7006, 7007) as a background model: the frame
// difference becomes a cleaned motion mask (the model's mask, which the post step paints into the
// bottom-left pane like any model's), with the grey plane and the median plane of the difference
// as its work planes; a moment of the masked difference measures the motion.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "detect/background/background_model.h"

namespace fw {

class MotionFeatureModel : public BackgroundModel {
 public:
  static constexpr BackgroundKind kKind = BackgroundKind::MotionFeatures;

  // May throw std::bad_alloc for a frame too large for memory.
  MotionFeatureModel(Dib& source, Dib& display);

  // The difference image's interior grey (24-bit (59 G + 11 B + 30 R) / 100, 8-bit the byte) is
  // median filtered (3 x 3) into the median plane, smoothed (1 2 1 / 2 4 2 / 1 2 1, / 16) and
  // thresholded into the mask: 1 where the smoothed value reaches `threshold` (with threshold 0
  // the smoothed value itself); border rows and columns 0. Returns the number of 1s (width x
  // height for threshold 0). A difference image of another size, or of a depth other than 8 or
  // 24, changes nothing and returns 0.
  int CountMotionFeatures(const Dib& difference, uint8_t threshold);
  // Second-order moment of the masked difference: with intensity I (24-bit 0.59 G + 0.11 B +
  // 0.3 R, 8-bit the byte) and the intensity-weighted centroid of the mask's pixels, the sum of
  // I^2 x (distance to the centroid) over them, divided by width x height; 0 when their total
  // intensity is below 0.001 or the image does not fit.
  float ComputeMoment(const Dib& difference) const;

  std::span<const uint8_t> GreyPlane() const { return grey_; }
  std::span<uint8_t> MedianPlane() { return median_; }
  std::span<const uint8_t> MedianPlane() const { return median_; }

 private:
  bool Fits(const Dib& image) const;

  std::vector<uint8_t> grey_;    // border stays 0
  std::vector<uint8_t> median_;  // also the accumulation alarm's work plane
};

}  // namespace fw
