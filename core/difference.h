// Differences of two (or three) images into a destination: byte-wise absolute differences and the
// masks of the frame-difference and background-difference tests. A 24-bit difference is the
// hundredths-weighted sum 59 x |dG| + 30 x |dR| + 11 x |dB| compared with 100 x threshold.
// Masks hold 0 and 255 in every byte of a destination pixel, so the destination may be 8-bit or
// 24-bit; it must have the sources' width and height. Sources of an unhandled depth, or of
// unequal formats, leave the destination unchanged.
#pragma once

#include <cstdint>

#include "core/dib.h"

namespace fw {

// destination[i] = |a[i] - b[i]| for every byte of the destination's pixel buffer (row padding
// included); the sources must hold at least as many bytes.
void AbsDifference(Dib& destination, const Dib& a, const Dib& b);

// threshold 0: AbsDifference. Otherwise, by a's depth: 8-bit pixels are marked where
// |a - b| >= threshold; 24-bit pixels where the weighted difference >= 100 x threshold.
// A negative threshold counts as 0.
void DifferenceMask(Dib& destination, const Dib& a, const Dib& b, int threshold);

// 24-bit a, b, c: marked where the weighted difference of a and b, or of b and c, reaches
// 100 x threshold.
void DoubleDifferenceMask(Dib& destination, const Dib& a, const Dib& b, const Dib& c,
                          int threshold);

// 24-bit a and b: d = ((aB + aG + aR) - (bB + bG + bR)) / 3 (toward zero); marked where
// |d| >= threshold.
void ChannelSumDifferenceMask(Dib& destination, const Dib& a, const Dib& b, int threshold);

// 24-bit a and b into an 8-bit destination: min((|dB| + |dG| + |dR|) / (3 x scale), cap), integer
// division, scale taken as a byte. A scale of 0 counts as 1; cap is limited to 0..255.
void ScaledDifference(Dib& destination, const Dib& a, const Dib& b, int scale, int cap);

}  // namespace fw
