// The candidate features the cascade trainer chooses from, one pool per flavour:
//
// - Byte and Float (the window family): both pools of the family, on grey and on colour range:
//   the centred pool of the weak-classifier selection (patterns 2, 11, 12, 21, 22, 31, 41, 43
//   centred in the 24 x 24 window at every size, 6344 features) and the sliding pool (the same
//   patterns at sizes stepping by 2 and positions sliding by a third of the size, 27288).
// - BLBP (the code-count family, 48 x 48 luminance windows): the count of each of the 10 classes
//   in rectangles covering 8, 12, 16, 24 or 47 pixels a side at positions half a side apart
//   (529 rectangles), and, as pattern 41, the difference between a rectangle and its right or
//   lower neighbour of the same size.
// - PLTP: counts of every class of every level: level 0 (105 classes) in rectangles of 12, 16,
//   24 or 47 pixels a side, level 1 (46 classes, half size) of 6, 12 or 23 level pixels, level 2
//   (10 classes, quarter size) of 5 or 11 level pixels, positions half a side apart.
// - EOH (the texture family, 24 x 24): pattern 1 on every plane with a sum (orientation shares,
//   magnitude, intensity, LBP-bit shares, saturation, magnitude bins, LBP 1 bits), the variances
//   of intensity and saturation, the orientation spread, and patterns 11, 12, 21, 22 on magnitude,
//   intensity, saturation and LBP 1 bits, each in rectangles covering 6, 8, 12, 16 or 23 pixels a
//   side at positions half a side apart (196 rectangles); and the 213 moment features of the
//   orientation, magnitude, intensity, saturation and LBP 1-bit planes.
#pragma once

#include <vector>

#include "learn/compiled_cascade.h"
#include "learn/flavour.h"

namespace fw {

std::vector<FeatureChoice> TrainingPool(Flavour flavour);

}  // namespace fw
