// Thinning of a mask to its skeleton, pruning of open branches, and two 3 x 3 filters for packed
// byte planes (width x height bytes, no row padding).
#pragma once

#include <cstdint>

namespace fw {

// Thins a plane of 0 and 1 to a one-pixel-wide skeleton: border pixels of the mask whose 3 x 3
// neighbourhood, in any of four rotations, matches one of five deletion patterns are removed,
// pass after pass, until a pass removes nothing. Then runs PruneEndPoints.
void ThinMask(uint8_t* plane, int width, int height);

// Removes 1-pixels with exactly one non-zero 8-neighbour, or exactly two that touch each other,
// pass after pass until a pass removes nothing; removals take effect at once within a pass.
// Closed loops survive, open branches are eaten from their ends.
void PruneEndPoints(uint8_t* plane, int width, int height);

// Interior pixels get the median of their 3 x 3 neighbourhood; border rows and columns get 0.
// Source and destination must not overlap.
void MedianFilter3(const uint8_t* source, uint8_t* destination, int width, int height);

// Interior pixels get v = (1 2 1 / 2 4 2 / 1 2 1 weighted sum) >> 4; with a non-zero threshold
// the destination holds 1 where v >= threshold and 0 elsewhere and the count of 1s is returned;
// with threshold 0 it holds v and width x height is returned. Border rows and columns get 0.
// Source and destination must not overlap.
int SmoothFilter3(const uint8_t* source, uint8_t* destination, int width, int height,
                  int threshold);

}  // namespace fw
