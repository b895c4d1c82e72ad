#include "core/histogram.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/colour.h"

namespace fw {

namespace {

inline uint32_t GreyOf(const uint8_t* pixel) {
  return DivideBy100(30u * pixel[2] + 59u * pixel[1] + 11u * pixel[0]);
}

void DrawBars(const std::span<const int32_t, 256> counts, Dib& chart, bool logScale) {
  const int bits = chart.GetBitCount();
  if (bits != 8 && bits != 24) return;
  chart.Clear();
  const int32_t largest = *std::max_element(counts.begin(), counts.end());
  if (largest <= 0 || (logScale && largest <= 1)) return;
  const int height = chart.Height();
  const int bins = std::min(256, chart.Width());
  const double logScaleFactor = logScale ? height / std::log(static_cast<double>(largest)) : 0.0;
  for (int i = 0; i < bins; ++i) {
    int64_t bar = 0;
    if (!logScale) {
      bar = static_cast<int64_t>(height) * counts[i] / largest;
    } else if (counts[i] > 1) {
      bar = static_cast<int64_t>(logScaleFactor * std::log(static_cast<double>(counts[i])));
    }
    bar = std::min<int64_t>(bar, height);
    for (int y = 0; y < bar; ++y) {
      uint8_t* row = chart.Row(y);
      if (bits == 8) {
        row[i] = 255;
      } else {
        row[3 * i + 1] = 255;
        row[3 * i + 2] = 255;
      }
    }
  }
}

}  // namespace

void DegradeLevels(const Dib& source, Dib& destination, int levels, bool indexOnly) {
  if (source.GetBitCount() != 24) return;
  const int w = source.Width();
  const int h = source.Height();
  if (!destination.SameFormat(w, h, 8)) destination.Create(w, -h, 8, true);
  const bool unchanged = levels < 2 || levels >= 256;
  const int d = unchanged ? 1 : 256 / levels;
  const int lastIndex = unchanged ? 255 : levels - 1;
  // The output of every grey value, so that no pixel divides.
  std::array<uint8_t, 256> out{};
  for (int g = 0; g < 256; ++g) {
    const int v = g / d;
    out[g] = static_cast<uint8_t>(indexOnly ? std::min(v, lastIndex) : v * d);
  }
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = source.Row(y);
    uint8_t* dst = destination.Row(y);
    for (int x = 0; x < w; ++x) dst[x] = out[GreyOf(src + 3 * x)];
  }
}

std::span<const int32_t, 256> Histogram(Dib& source, std::array<int32_t, 256>* counts, Dib* chart,
                                        bool logScale) {
  int32_t* bins = nullptr;
  if (counts != nullptr) {
    bins = counts->data();
  } else {
    std::vector<int32_t>& own = source.HistogramBuffer();
    if (own.size() != 256) own.assign(256, 0);
    bins = own.data();
  }
  std::fill(bins, bins + 256, 0);
  const int w = source.Width();
  if (source.GetBitCount() == 8) {
    for (int y = 0; y < source.Height(); ++y) {
      const uint8_t* row = source.Row(y);
      for (int x = 0; x < w; ++x) ++bins[row[x]];
    }
  } else if (source.GetBitCount() == 24) {
    for (int y = 0; y < source.Height(); ++y) {
      const uint8_t* row = source.Row(y);
      for (int x = 0; x < w; ++x) ++bins[GreyOf(row + 3 * x)];
    }
  }
  const std::span<const int32_t, 256> result(bins, 256);
  if (chart != nullptr) DrawBars(result, *chart, logScale);
  return result;
}

}  // namespace fw
