// The accumulation of mode 7007: the motion masks of the last 255 frames are summed per pixel
// into an accumulation picture (a motion-energy image), and the alarm rises when a bright
// accumulated area persists.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/dib.h"
#include "core/regions.h"

namespace fw {

class MotionAccumulator {
 public:
  static constexpr int kRingLength = 255;        // frames summed
  static constexpr uint8_t kBrightLevel = 76;    // an accumulated pixel is bright from here
  static constexpr int kBrightRegion = 25;       // pixels of a bright area that counts
  static constexpr int kPersistenceLimit = 200;  // the persistence counter stays within 0..200
  static constexpr int kAlarmAbove = 159;        // the alarm is on while the counter exceeds it
  static constexpr int kEnergyMinimum = 16;      // non-zero pixels the motion energy needs

  // The ring of 255 masks of width x height (zeroed), the counters at 0.
  void Initialise(int width, int height);

  // One frame: the accumulation picture (8-bit, width x height; anything else is left alone and
  // nothing is stored) gains 1 where the mask is set; once the ring holds 255 masks, the mask of
  // 255 frames ago is taken off again. The mask is stored in the ring. From the second frame on,
  // the motion energy is the mean of the picture's non-zero values when at least 16 are non-zero,
  // else 0.
  void Accumulate(std::span<const uint8_t> mask, Dib& accumulation);
  // The persistence counter rises (to at most 200) when the accumulation picture holds a
  // 4-connected area of at least 25 pixels at 76 or more, else falls (to at least 0); the
  // picture is thresholded into `work` (width x height bytes) for the search. Returns 1 while the
  // counter is above 159, else 0.
  uint8_t Alarm(const Dib& accumulation, std::span<uint8_t> work);

  int Frames() const { return frames_; }  // accumulation steps since Initialise
  float Energy() const { return energy_; }
  int Persistence() const { return persistence_; }

 private:
  bool Fits(const Dib& image) const;

  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> ring_;  // kRingLength masks of width x height
  int frames_ = 0;
  float energy_ = 0.0f;
  int persistence_ = 0;
  FloodWorkspace workspace_;
};

}  // namespace fw
