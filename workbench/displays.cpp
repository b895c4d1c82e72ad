#include "workbench/displays.h"

#include <cstring>

namespace fw {

void EnsureDisplay(Dib& display, int width, int headerHeight, int bitCount) {
  const int height = headerHeight < 0 ? -headerHeight : headerHeight;
  if (!display.SameFormat(width, height, bitCount) || display.HeaderHeight() != headerHeight) {
    display.CreateSigned(width, headerHeight, bitCount, false);
  }
}

bool CopyAsColour(const Dib& source, Dib& display) {
  const int bits = source.GetBitCount();
  if (bits != 8 && bits != 24) return false;
  const int w = source.Width();
  const int h = source.Height();
  EnsureDisplay(display, w, source.HeaderHeight(), 24);
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = source.Row(y);
    uint8_t* dst = display.Row(y);
    if (bits == 24) {
      std::memcpy(dst, src, size_t(w) * 3);
    } else {
      for (int x = 0; x < w; ++x) dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = src[x];
    }
  }
  return true;
}

}  // namespace fw
