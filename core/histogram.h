// Grey-level reduction and the 256-bin histogram with its bar chart.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "core/dib.h"

namespace fw {

// Quantises the grey (hundredths) of a 24-bit source: d = 256 / levels (1 when levels < 2 or
// levels >= 256), v = grey / d, times d unless indexOnly. With indexOnly the index is limited to
// levels - 1, so that it always names one of the levels. The destination is re-created as an 8-bit
// image of the source's size when its format differs. Other depths leave it unchanged.
void DegradeLevels(const Dib& source, Dib& destination, int levels, bool indexOnly);

// Counts every pixel's value (8-bit) or grey (24-bit) into 256 bins: into `counts` when given,
// otherwise into the source's own histogram buffer. Other depths give all-zero counts. With a
// chart (8-bit or 24-bit), the chart is cleared and bin i (i < chart width) is drawn as a bar of
// chart height x count / largest count pixels (linear) or (chart height / ln largest) x ln count
// pixels for counts above 1 (log) in column i from memory row 0 up; bars are 255 in an 8-bit
// chart and yellow (green and red 255) in a 24-bit one. Returns the 256 counts filled.
std::span<const int32_t, 256> Histogram(Dib& source, std::array<int32_t, 256>* counts, Dib* chart,
                                        bool logScale);

}  // namespace fw
