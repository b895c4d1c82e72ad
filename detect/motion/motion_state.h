// What the motion family keeps in the detection state besides its masks (those live in the
// background model, whose post step paints them): the moment plot of 7005, the accumulation of
// 7007 with its persistence counter, the motion energy the control panel shows as "Energy", and
// the region analysis of 7006's selection.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/regions.h"
#include "detect/motion/moment_plot.h"
#include "detect/motion/motion_accumulator.h"

namespace fw {

struct MotionState {
  MomentPlot plot;
  // Built at 7007's selection, kept until the next one.
  std::unique_ptr<MotionAccumulator> accumulator;
  float energy = 0.0f;
  int featureCount = 0;  // motion pixels of the last frame
  RegionSet regions;
  std::vector<uint8_t> regionPlane;
};

}  // namespace fw
